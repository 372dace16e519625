#include "wizard/wizard_page.h"

#include <shlobj.h>

#include "framework/winapp.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "res/setup_identity.h"
#include "text/text.h"
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
    if (IsViewerRunning()) ShowMessage(kMsgViewerRunning, MB_ICONEXCLAMATION);
    FirstActivation = 0;
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CWizPropertyPage::OnWizardNext() {
  if (IsViewerRunning()) {
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
  // InstallPlugins reports success or failure itself; the wizard ends either way.
  Sheet->Outcome = InstallPlugins(folder, Sheet->SheetCaption);
  (void)Sheet->DestroyWindow();
  return GetPageIndex(TRUE);
}

LRESULT CWizPropertyPage::OnWizardBack() { return GetPageIndex(FALSE); }

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
