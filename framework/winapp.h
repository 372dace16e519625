// The application object: a stand-in for the framework's CWinApp, covering what
// this program uses. One global instance derives from it; the entry point calls
// its InitInstance.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
 public:
  explicit CWinApp(const wchar_t* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returns TRUE to go on into the message loop (Run), FALSE to end the process
  // at once with the exit code of ExitInstance.
  virtual BOOL InitInstance();
  // Runs the message loop until WM_QUIT; returns the process exit code.
  virtual int Run();
  // Returns the process exit code.
  virtual int ExitInstance();

  const wchar_t* m_pszAppName;
  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;  // the window that stands for the application
  int m_exitCode = 0;
};

// The one application object, or null before it is constructed.
CWinApp* AfxGetApp();
// The module whose resources the program uses: its own executable unless
// AfxSetResourceHandle named another.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
