#include "wizard/wizard_sheet.h"

#include "base/text.h"
#include "framework/scoped_ui.h"
#include "framework/winapp.h"
#include "report/messages.h"
#include "res/setup_identity.h"
#include "wizard/wizard_page.h"

CWizPropertySheet theWizard(L"Pixelmoor Setup", nullptr, 0);

IMPLEMENT_DYNAMIC(CWizPropertySheet, CPropertySheet)

BEGIN_MESSAGE_MAP(CWizPropertySheet, CPropertySheet)
  ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

CWizPropertySheet::CWizPropertySheet(const wchar_t* caption, CWnd* parent, UINT selectPage)
    : CPropertySheet(caption, parent, selectPage) {
  m_psh.dwFlags |= PSH_WIZARD;
}

void CWizPropertySheet::AddPage(CWizPropertyPage* page) {
  CPropertySheet::AddPage(page);
  page->Sheet = this;
}

bool CWizPropertySheet::ConfirmLeave() const {
  if (InstallFolder[0] == 0) return true;
  wchar_t question[kMessageChars];
  LoadMessage(kMsgExitSetup, question, kMessageChars);
  return MessageBox(question, SheetCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDNO;
}

BOOL CWizPropertySheet::OnInitDialog() {
  InstallFolder[0] = 0;
  CopyText(SheetCaption, kFolderChars, kSetupCaption);
  // The page's first activation runs in here, and may already use the caption.
  const BOOL result = CPropertySheet::OnInitDialog();
  wchar_t exit_text[kMessageChars];
  LoadMessage(kMsgExit, exit_text, kMessageChars);
  SetDlgItemText(IDCANCEL, exit_text);
  SetWindowText(SheetCaption);
  return result;
}

BOOL CWizPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  // The installation cannot be left halfway, nor started twice.
  if (Installing && (id == IDCANCEL || id == kWizardNextButton || id == kWizardBackButton)) {
    return TRUE;
  }
  // Every IDCANCEL, from the button or the keyboard, is confirmed.
  if (id == IDCANCEL && !ConfirmLeave()) return TRUE;
  return CPropertySheet::OnCommand(wParam, lParam);
}

void CWizPropertySheet::OnSysCommand(UINT nID, LPARAM lParam) {
  if (nID == SC_CLOSE && (Installing || !ConfirmLeave())) return;
  CPropertySheet::OnSysCommand(nID, lParam);
}

bool IsModernShellPlatform() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&version)) return false;
#pragma GCC diagnostic pop
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 4;
}

void FillHeaderLogFont(LOGFONTW* font, int dpi, bool modernShell) {
  *font = LOGFONTW{};
  font->lfHeight = MulDiv(18, dpi, 96);
  font->lfWeight = 600;
  font->lfQuality = ANTIALIASED_QUALITY;
  if (modernShell) {
    font->lfWeight = FW_BOLD;
    CopyText(font->lfFaceName, LF_FACESIZE, L"Arial");
  } else {
    CopyText(font->lfFaceName, LF_FACESIZE, L"MS Sans Serif");
  }
}

int RunWizard(LOGFONTW* headerLogFont) {
  // Only the runs that show the wizard load the common controls.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  (void)InitCommonControlsEx(&controls);  // the wizard fails visibly without them
  // The folder picker (SHBrowseForFolderW) needs COM on this thread. A COM
  // that cannot start leaves the picker to fail; OLE32 that cannot be loaded
  // ends the run (the delay-load hook).
  ScopedComApartment com;
  int dpi = 96;  // when the screen cannot be asked
  {
    ScopedScreenDc screen(GetDC(nullptr));
    if (screen) dpi = GetDeviceCaps(screen.Get(), LOGPIXELSX);
  }
  FillHeaderLogFont(headerLogFont, dpi, IsModernShellPlatform());
  // A font that cannot be made leaves the header in the system font.
  theWizard.HeaderFont.Attach(CreateFontIndirectW(headerLogFont));

  CWizPropertyPage page(IDD_DESTINATION);
  theWizard.AddPage(&page);
  CWinApp* app = AfxGetApp();
  if (app != nullptr) app->m_pMainWnd = &theWizard;
  theWizard.Outcome = kExitWizardLeft;
  theWizard.Installing = false;
  const INT_PTR shown = theWizard.DoModal();  // the page reports the outcome itself
  if (app != nullptr) app->m_pMainWnd = nullptr;
  return shown == -1 ? kExitWizardNotShown : theWizard.Outcome;
}
