// The wizard's one page: the package texts, the proposed folder, the folder
// picker, and the check and installation on Next.
#pragma once

#include <windows.h>

#include "framework/propsheet.h"
#include "wizard/install_worker.h"
#include "wizard/page_text.h"
#include "wizard/taskbar_progress.h"

class CWizPropertySheet;

class CWizPropertyPage : public CPropertyPage {
  DECLARE_DYNAMIC(CWizPropertyPage)
 public:
  explicit CWizPropertyPage(UINT templateId) : CPropertyPage(templateId) {}

  int FirstActivation = 1;  // the texts are prepared on the first activation only
  int PageEnabled = 1;      // whether GetPageIndex may stop on this page
  CWizPropertySheet* Sheet = nullptr;  // set by CWizPropertySheet::AddPage

  BOOL OnSetActive() override;
  // Returns -1: the page stays while it installs, and closes the wizard after.
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;
  // FALSE while installing and reporting: the installation cannot be left halfway.
  BOOL OnQueryCancel() override;
  // The template id of the nearest enabled page in that direction, or -1.
  virtual LRESULT GetPageIndex(BOOL forward);

 protected:
  void OnBrowse();
  // The installation's news (kMsgInstall...) besides the framework's messages.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()

 private:
  void ShowMessage(unsigned id, UINT icon) const;
  // Locks the wizard, shows the progress bar and installs into `folder`.
  void BeginInstalling(const wchar_t* folder);
  void MakeProgressBar();
  void ShowWaiting();
  void ShowProgress(int parts);
  // Reports the outcome as a message box and closes the wizard.
  void EndInstalling();

  InstallWorker installation_;
  TaskbarProgress taskbar_;
  HWND progress_bar_ = nullptr;  // children of the page: they go with it
  HWND status_line_ = nullptr;
  bool marquee_ = false;
};

// The folder picker, opened on `path`. Returns 1 when a folder was chosen: `path`
// then holds it, with a trailing backslash when there is room for one. Returns 0
// when the picker was cancelled or the choice has no file-system path (`path` is
// then not to be used).
int BrowseForInstallFolder(HWND owner, wchar_t path[kPageFolderChars + 1]);

// The picker's callback: on BFFM_INITIALIZED selects the folder `data` names. Returns 0.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);
