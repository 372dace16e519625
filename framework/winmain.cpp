// The program's entry point: hands control to the global application object.
#include "framework/winapp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  app->m_hInstance = instance;
  return app->InitInstance() ? app->Run() : app->ExitInstance();
}
