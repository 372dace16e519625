// The setup's application object: every run happens inside its InitInstance,
// which chooses the face: the silent run or the wizard.
#pragma once

#include <windows.h>

#include "framework/winapp.h"

class TheApp : public CWinApp {
 public:
  TheApp() : CWinApp(nullptr) {}
  // Decides and does the whole run, leaves its outcome in m_exitCode and
  // returns FALSE so that the process ends with it.
  BOOL InitInstance() override;

  LOGFONTW HeaderLogFont = {};  // the wizard's header font record, filled by the wizard
};

// The run on Windows without SetDefaultDllDirectories (Vista and 7 without
// KB3063858 or KB2533623), where no DLL may be looked for by name: tells which
// update is missing (logged by a silent run, or where no one could answer a
// message box; /verify only with "/log="; shown otherwise) and returns the
// exit code, kExitInstallFailed. Only USER32 is loaded, by its full path.
int RefuseUnrestrictedDllSearch(const wchar_t* commandLine);
