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
