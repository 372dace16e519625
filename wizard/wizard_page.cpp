#include "wizard/wizard_page.h"

#include <commctrl.h>
#include <shlobj.h>

#include "base/text.h"
#include "framework/winapp.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/run_record.h"
#include "res/setup_identity.h"
#include "viewer/viewer_folder.h"
#include "wizard/wizard_sheet.h"

namespace {

constexpr size_t kPageTextChars = 512;
constexpr size_t kButtonCaptionChars = 64;  // 63 characters and the terminator
constexpr size_t kPickerTitleChars = 50;

}  // namespace

IMPLEMENT_DYNAMIC(CWizPropertyPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CWizPropertyPage, CPropertyPage)
  ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
END_MESSAGE_MAP()

void CWizPropertyPage::ShowMessage(unsigned id, UINT icon) const {
  wchar_t text[kMessageChars];
  LoadMessage(static_cast<MessageId>(id), text, kMessageChars);
  MessageBox(text, Sheet->SheetCaption, icon);
}

BOOL CWizPropertyPage::OnSetActive() {
  if (Sheet->GetActiveIndex() == 0) {
    (void)EnableWindow(Sheet->GetDlgItem(kWizardBackButton), FALSE);  // Back never applies
    HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_SETUP));
    Sheet->SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    if (FirstActivation) {
      ::SendMessageW(GetDlgItem(IDC_WELCOME), WM_SETFONT,
                     reinterpret_cast<WPARAM>(Sheet->HeaderFont.GetSafeHandle()), TRUE);

      wchar_t version[16] = {};  // "%d.%d" of the major and minor version
      (void)AppendDecimal(version, 16, kVersionMajor, 1);
      (void)AppendText(version, 16, L".");
      (void)AppendDecimal(version, 16, kVersionMinor, 1);
      wchar_t pattern[kPageTextChars];
      wchar_t text[kPageTextChars];
      const wchar_t* package_args[] = {version, kBitness, kBitness};
      GetDlgItemText(IDC_PACKAGE_TEXT, pattern, kPageTextChars);
      if (FillPlaceholders(pattern, package_args, 3, text, kPageTextChars)) {
        SetDlgItemText(IDC_PACKAGE_TEXT, text);
      }
      const wchar_t* hint_args[] = {kBitness};
      GetDlgItemText(IDC_REGISTRY_HINT, pattern, kPageTextChars);
      if (FillPlaceholders(pattern, hint_args, 1, text, kPageTextChars)) {
        SetDlgItemText(IDC_REGISTRY_HINT, text);
      }
      SetDlgItemText(IDC_WARNING, L"(Do NOT install these PlugIns to Pixelmoor 64-bit folder/version)");

      Sheet->InstallFolder[0] = 0;
      if (FindViewerFolder(Sheet->InstallFolder)) SetDlgItemText(IDC_FOLDER_EDIT, Sheet->InstallFolder);

      // The sentence below the edit box names the button as the system labels it.
      wchar_t caption[kButtonCaptionChars];
      Sheet->GetDlgItemText(kWizardNextButton, caption, kButtonCaptionChars);
      wchar_t label[kButtonCaptionChars + 2];
      NextButtonLabel(caption, label, kButtonCaptionChars + 2);
      if (label[0] != 0) SetDlgItemText(IDC_NEXT_NAME, label);
    }
    if (IsViewerRunning(Sheet->InstallFolder)) ShowMessage(kMsgViewerRunning, MB_ICONEXCLAMATION);
    FirstActivation = 0;
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CWizPropertyPage::OnWizardNext() {
  // Until the outcome has been shown: one installation per wizard.
  if (Sheet->Installing) return -1;
  if (IsViewerRunning(nullptr)) {
    ShowMessage(kMsgViewerRunning, MB_ICONEXCLAMATION);
    return -1;
  }
  wchar_t* folder = Sheet->InstallFolder;
  folder[0] = 0;
  // A longer text would be cut into another folder: it is refused whole.
  const int typed = GetWindowTextLengthW(GetDlgItem(IDC_FOLDER_EDIT));
  GetDlgItemText(IDC_FOLDER_EDIT, folder, kPageFolderChars + 1);
  TrimBlanks(folder);
  if (typed > static_cast<int>(kPageFolderChars) || !IsAcceptableInstallFolder(folder)) {
    ShowMessage(kMsgInvalidFolder, MB_ICONEXCLAMATION);
    return -1;
  }
  // The viewer may run from this folder in another session, with no window here.
  if (IsViewerRunning(folder)) {
    ShowMessage(kMsgViewerRunning, MB_ICONEXCLAMATION);
    return -1;
  }
  RecordFolder(folder);
  BeginInstalling(folder);
  return -1;  // EndInstalling closes the wizard
}

LRESULT CWizPropertyPage::OnWizardBack() {
  return Sheet->Installing ? -1 : GetPageIndex(FALSE);
}

BOOL CWizPropertyPage::OnQueryCancel() { return Sheet->Installing ? FALSE : TRUE; }

LRESULT CWizPropertyPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // Posted by the installing thread; anything else posted with these numbers
  // while nothing installs is not news.
  if (installation_.Busy()) {
    switch (message) {
      case kMsgInstallWaiting:
        ShowWaiting();
        return 0;
      case kMsgInstallProgress:
        ShowProgress(static_cast<int>(wParam));
        return 0;
      case kMsgInstallDone:
        if (installation_.Done()) EndInstalling();
        return 0;
      default:
        break;
    }
  }
  return CPropertyPage::WindowProc(message, wParam, lParam);
}

void CWizPropertyPage::BeginInstalling(const wchar_t* folder) {
  Sheet->Installing = true;
  // Nothing to press or type until the outcome is shown. Each call only
  // greys out what the sheet's own checks refuse anyway.
  (void)PostMessageW(Sheet->m_hWnd, PSM_SETWIZBUTTONS, 0, 0);
  (void)EnableWindow(Sheet->GetDlgItem(IDCANCEL), FALSE);
  (void)EnableWindow(GetDlgItem(IDC_FOLDER_EDIT), FALSE);
  (void)EnableWindow(GetDlgItem(IDC_BROWSE), FALSE);
  (void)EnableMenuItem(GetSystemMenu(Sheet->m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  MakeProgressBar();
  (void)taskbar_.Open(Sheet->m_hWnd);  // none: the page's bar alone shows the progress
  installation_.Start(m_hWnd, folder);
}

namespace {

// A child's rectangle in its parent's client coordinates.
bool ChildRect(HWND child, RECT* rect) {
  if (child == nullptr || !GetWindowRect(child, rect)) return false;
  SetLastError(ERROR_SUCCESS);  // MapWindowPoints returns 0 for no move as for failure
  return MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(rect), 2) != 0 ||
         GetLastError() == ERROR_SUCCESS;
}

}  // namespace

void CWizPropertyPage::MakeProgressBar() {
  // The sentence under the folder box (every control in the row of "Press
  // the") names the button that was just pressed: the bar takes its place,
  // and the line for a wait goes right above it.
  RECT row;
  if (progress_bar_ != nullptr || !ChildRect(GetDlgItem(IDC_PRESS_THE), &row)) return;
  RECT sentence = row;
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT part;
    if (!ChildRect(child, &part) || part.top >= row.bottom || part.bottom <= row.top) continue;
    (void)UnionRect(&sentence, &sentence, &part);
    (void)ShowWindow(child, SW_HIDE);  // returns the earlier visibility, not an error
  }
  const int width = sentence.right - sentence.left, height = sentence.bottom - sentence.top;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  progress_bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, sentence.left,
                                  sentence.top, width, height, m_hWnd,
                                  reinterpret_cast<HMENU>(IDC_INSTALL_PROGRESS), instance, nullptr);
  status_line_ = CreateWindowExW(0, L"Static", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, sentence.left,
                                 sentence.top - height, width, height, m_hWnd,
                                 reinterpret_cast<HMENU>(IDC_INSTALL_STATUS), instance, nullptr);
  // Without them the installation still runs and reports at its end.
  if (progress_bar_ != nullptr) {
    (void)::SendMessageW(progress_bar_, PBM_SETRANGE32, 0, kProgressParts);
  }
  if (status_line_ != nullptr) {
    (void)::SendMessageW(status_line_, WM_SETFONT, SendMessage(WM_GETFONT), FALSE);
  }
}

void CWizPropertyPage::ShowWaiting() {
  wchar_t text[kMessageChars];
  LoadMessage(kMsgWaitingForSetup, text, kMessageChars);
  if (status_line_ != nullptr) {
    (void)::SetWindowTextW(status_line_, text);  // a line missing harms nothing
    (void)ShowWindow(status_line_, SW_SHOW);
  }
  if (progress_bar_ != nullptr && !marquee_) {
    (void)SetWindowLongPtrW(progress_bar_, GWL_STYLE,
                            GetWindowLongPtrW(progress_bar_, GWL_STYLE) | PBS_MARQUEE);
    (void)::SendMessageW(progress_bar_, PBM_SETMARQUEE, TRUE, 0);
    marquee_ = true;
  }
  taskbar_.ShowWaiting();
}

void CWizPropertyPage::ShowProgress(int parts) {
  if (progress_bar_ != nullptr) {
    if (marquee_) {
      (void)::SendMessageW(progress_bar_, PBM_SETMARQUEE, FALSE, 0);
      (void)SetWindowLongPtrW(progress_bar_, GWL_STYLE,
                              GetWindowLongPtrW(progress_bar_, GWL_STYLE) & ~PBS_MARQUEE);
      (void)::SendMessageW(progress_bar_, PBM_SETRANGE32, 0, kProgressParts);
      marquee_ = false;
    }
    (void)::SendMessageW(progress_bar_, PBM_SETPOS, static_cast<WPARAM>(parts), 0);
  }
  if (status_line_ != nullptr) (void)ShowWindow(status_line_, SW_HIDE);
  taskbar_.Show(parts, kProgressParts);
}

void CWizPropertyPage::EndInstalling() {
  const InstallResult result = installation_.Finish();
  taskbar_.Clear();
  // The outcome's message box, then the wizard closes, whatever the outcome.
  Sheet->Outcome = ReportInstall(result, Sheet->SheetCaption);
  Sheet->Installing = false;
  (void)Sheet->DestroyWindow();
}

LRESULT CWizPropertyPage::GetPageIndex(BOOL forward) {
  const int step = forward ? 1 : -1;
  const int count = Sheet->GetPageCount();
  for (int i = Sheet->GetActiveIndex() + step; i >= 0 && i < count; i += step) {
    CPropertyPage* page = Sheet->GetPage(i);
    if (page == nullptr) break;
    // Only the wizard's own pages can be disabled.
    if (page->IsKindOf(RUNTIME_CLASS(CWizPropertyPage)) &&
        !static_cast<CWizPropertyPage*>(page)->PageEnabled) {
      continue;
    }
    return page->GetTemplateId();
  }
  return -1;
}

void CWizPropertyPage::OnBrowse() {
  wchar_t path[kPageFolderChars + 1];
  GetDlgItemText(IDC_FOLDER_EDIT, path, kPageFolderChars + 1);
  if (BrowseForInstallFolder(GetActiveWindow(), path)) {
    (void)AppendBackslashIfMissing(path, kPageFolderChars + 1);  // no room: Next refuses it
    SetDlgItemText(IDC_FOLDER_EDIT, path);
  }
}

int BrowseForInstallFolder(HWND owner, wchar_t path[kPageFolderChars + 1]) {
  wchar_t title[kPickerTitleChars];
  LoadMessage(kMsgFolderPickerTitle, title, kPickerTitleChars);
  wchar_t display_name[MAX_PATH];
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = display_name;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = &BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(path);

  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (chosen == nullptr) return 0;
  const BOOL has_path = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!has_path) return 0;
  (void)AppendBackslashIfMissing(path, kPageFolderChars + 1);  // a 259-character folder has no room
  return 1;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED) return 0;
  wchar_t start[kPageFolderChars + 1];
  PickerStartFolder(reinterpret_cast<const wchar_t*>(data), start);
  (void)SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start));
  return 0;
}
