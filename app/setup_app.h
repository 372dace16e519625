// The setup's application object: every run happens inside its InitInstance,
// which chooses the face: the silent run or the wizard.
#pragma once

#include <windows.h>

#include "framework/winapp.h"
#include "silent/command_line.h"

class TheApp : public CWinApp {
 public:
  TheApp() : CWinApp(nullptr) {}
  // Decides and does the whole run, leaves its outcome in m_exitCode and
  // returns FALSE so that the process ends with it.
  BOOL InitInstance() override;

  LOGFONTW HeaderLogFont = {};  // the wizard's header font record, filled by the wizard
};

// What decides whether the setup may show windows.
struct WindowFacts {
  bool system;          // the process runs as LocalSystem
  bool sessionKnown;
  DWORD session;        // its Terminal Services session
  bool stationKnown;
  bool stationVisible;  // its window station has WSF_VISIBLE
};

// True when someone can see and answer windows, and it is safe that they
// do: never as SYSTEM or in session 0; elsewhere when the window station is
// visible or cannot tell. A run that may not show them ends with
// kExitWizardNotShown (RefuseWindows).
bool WindowsCanBeAnswered(const WindowFacts& facts);

// The run on Windows without SetDefaultDllDirectories (Vista and 7 without
// KB3063858 or KB2533623), where no DLL may be looked for by name: tells which
// update is missing (logged by a silent run, or where no one could answer a
// message box; /verify only with "/log="; shown otherwise) and returns the
// exit code, kExitInstallFailed. Only USER32 and ADVAPI32 (for the token)
// are loaded, by their full paths.
int RefuseUnrestrictedDllSearch(const SetupOptions& options);
