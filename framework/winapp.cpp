#include "framework/winapp.h"

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resources = nullptr;  // null: the executable
}

CWinApp::CWinApp(const wchar_t* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  MSG msg = {};
  // GetMessageW returns 0 for WM_QUIT and -1 on failure: both end the loop.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  m_exitCode = static_cast<int>(msg.wParam);
  return ExitInstance();
}

int CWinApp::ExitInstance() { return m_exitCode; }

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetResourceHandle() {
  return g_resources != nullptr ? g_resources : GetModuleHandleW(nullptr);
}

void AfxSetResourceHandle(HINSTANCE resources) { g_resources = resources; }
