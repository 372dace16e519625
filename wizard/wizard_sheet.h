// The wizard window: its caption, its Exit button, and the question asked before
// the setup is left while a folder is known.
#pragma once

#include <windows.h>

#include "framework/font.h"
#include "framework/propsheet.h"
#include "report/exit_code.h"
#include "viewer/folder_text.h"

class CWizPropertyPage;

class CWizPropertySheet : public CPropertySheet {
  DECLARE_DYNAMIC(CWizPropertySheet)
 public:
  CWizPropertySheet(const wchar_t* caption, CWnd* parent, UINT selectPage);

  // The framework's AddPage; the page also learns its sheet.
  void AddPage(CWizPropertyPage* page);

  CFont HeaderFont;
  // The registered folder the page proposed, or the trimmed text that Next
  // last checked, refused or not; empty while neither is known. Leaving the
  // wizard asks first while it is not empty.
  wchar_t InstallFolder[kFolderChars] = {};
  // The window's title and the caption of every message box of the wizard.
  wchar_t SheetCaption[kFolderChars] = {};
  // The run's exit code once the page has installed (SetupExitCode).
  int Outcome = kExitWizardLeft;
  // True while the page installs: the buttons, Esc and the close box do
  // nothing then.
  bool Installing = false;

 protected:
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT nID, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  // Whether leaving may go ahead: asks "Exit setup?" while a folder is known.
  bool ConfirmLeave() const;
};

// The one wizard of the program.
extern CWizPropertySheet theWizard;

// The interactive run: header font (its record filled into `headerLogFont`,
// which outlives the run), page, modal sheet. Returns the process exit code
// (SetupExitCode) when the wizard has closed.
int RunWizard(LOGFONTW* headerLogFont);

// True on an NT-family system above version 4; false when the version is unknown.
bool IsModernShellPlatform();

// The header font record for a screen of `dpi`: 18 pixels at 96 dpi, anti-aliased,
// "Arial" bold on a modern shell, else "MS Sans Serif" at weight 600.
void FillHeaderLogFont(LOGFONTW* font, int dpi, bool modernShell);
