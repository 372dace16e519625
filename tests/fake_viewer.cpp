// Plays the running viewer: a top-level window of class "Pixelmoor" that stays
// until it is closed or the optional number of seconds has passed. With
// "hidden" first, no window: a viewer running in another session.
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

namespace {
LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR args, int) {
  if (wcsncmp(args, L"hidden ", 7) == 0) {
    Sleep(_wtoi(args + 7) * 1000);
    return 0;
  }
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"Pixelmoor";
  if (!RegisterClassW(&wc)) return 2;
  HWND window = CreateWindowW(L"Pixelmoor", L"Pixelmoor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              320, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 3;
  const int seconds = _wtoi(args);
  SetTimer(window, 1, (seconds > 0 ? seconds : 120) * 1000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) DestroyWindow(window);
    DispatchMessageW(&msg);
  }
  return 0;
}
