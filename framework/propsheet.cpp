#include "framework/propsheet.h"

#include "framework/winapp.h"

#include <wchar.h>

IMPLEMENT_DYNAMIC(CPropertyPage, CWnd)
IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

namespace {
// The sheet whose window PropertySheetW is about to create (one thread, one sheet).
CPropertySheet* g_sheetInCreation = nullptr;
HHOOK g_creationHook = nullptr;
}  // namespace

// ---- pages ----

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : m_psp() {
  m_psp.dwSize = sizeof m_psp;
  m_psp.dwFlags = PSP_DEFAULT;
  m_psp.hInstance = AfxGetResourceHandle();
  m_psp.pszTemplate = MAKEINTRESOURCEW(templateId);
  if (captionId != 0) {
    m_psp.dwFlags |= PSP_USETITLE;
    m_psp.pszTitle = MAKEINTRESOURCEW(captionId);
  }
  m_psp.pfnDlgProc = &CPropertyPage::PageDialogProc;
  m_psp.lParam = reinterpret_cast<LPARAM>(this);
}

UINT CPropertyPage::GetTemplateId() const {
  return static_cast<UINT>(reinterpret_cast<ULONG_PTR>(m_psp.pszTemplate));
}

BOOL CPropertyPage::OnSetActive() { return TRUE; }
LRESULT CPropertyPage::OnWizardNext() { return 0; }
LRESULT CPropertyPage::OnWizardBack() { return 0; }
BOOL CPropertyPage::OnInitDialog() { return TRUE; }
BOOL CPropertyPage::OnQueryCancel() { return TRUE; }

INT_PTR CALLBACK CPropertyPage::PageDialogProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  // lParam is the control's copy of the page record; its lParam is the page object.
  auto* page = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
  if (page == nullptr || !page->SubclassWindow(hwnd)) return TRUE;
  return page->OnInitDialog();
}

LRESULT CPropertyPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    // Answered here directly, not through DWLP_MSGRESULT: a handler may destroy
    // the sheet, and with it this window, before the answer is read.
    switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
      case PSN_SETACTIVE:
        return OnSetActive() ? 0 : -1;
      case PSN_WIZNEXT:
        return OnWizardNext();
      case PSN_WIZBACK:
        return OnWizardBack();
      case PSN_QUERYCANCEL:
        return OnQueryCancel() ? FALSE : TRUE;  // TRUE keeps the sheet
      default:
        break;
    }
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

// ---- the sheet ----

CPropertySheet::CPropertySheet(const wchar_t* caption, CWnd* parent, UINT selectPage) : m_psh() {
  m_psh.dwSize = sizeof m_psh;
  m_psh.dwFlags = PSH_PROPSHEETPAGE;
  m_psh.hwndParent = parent != nullptr ? parent->m_hWnd : nullptr;
  m_psh.pszCaption = caption;
  m_psh.nStartPage = selectPage;
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  if (m_pageCount == kMaxPages) return;
  m_pages[m_pageCount++] = page;
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  return (index >= 0 && index < m_pageCount) ? m_pages[index] : nullptr;
}

int CPropertySheet::GetActiveIndex() const {
  if (m_hWnd == nullptr) return static_cast<int>(m_psh.nStartPage);
  // The hidden tab control follows the active page, also in wizard mode.
  HWND tabs = PropSheet_GetTabControl(m_hWnd);
  return static_cast<int>(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
}

int CPropertySheet::GetPageCount() const {
  if (m_hWnd == nullptr) return m_pageCount;
  HWND tabs = PropSheet_GetTabControl(m_hWnd);
  return static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
}

namespace {

// The sheet is a top-level window of the dialog class. Other top-level windows
// can be created on this thread inside PropertySheetW, before it: Windows gives
// every thread that makes a window a default input-method window ("IME" class,
// class style CS_IME) on the same creation path.
bool IsSheetWindow(HWND window, const CREATESTRUCTW& cs) {
  if (cs.style & WS_CHILD) return false;  // the pages
  if (GetClassLongPtrW(window, GCL_STYLE) & CS_IME) return false;
  wchar_t class_name[8];
  return GetClassNameW(window, class_name, 8) == 6 && wcscmp(class_name, L"#32770") == 0;
}

}  // namespace

LRESULT CALLBACK CPropertySheet::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_sheetInCreation != nullptr) {
    const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    if (IsSheetWindow(reinterpret_cast<HWND>(wParam), *cs)) {
      CPropertySheet* sheet = g_sheetInCreation;
      g_sheetInCreation = nullptr;
      (void)sheet->SubclassWindow(reinterpret_cast<HWND>(wParam));  // checked after PropertySheetW
    }
  }
  return CallNextHookEx(g_creationHook, code, wParam, lParam);
}

INT_PTR CPropertySheet::DoModal() {
  if (m_hWnd != nullptr || m_pageCount == 0) return -1;
  for (int i = 0; i < m_pageCount; ++i) m_pageRecords[i] = m_pages[i]->m_psp;
  m_psh.dwFlags |= PSH_PROPSHEETPAGE | PSH_MODELESS;
  m_psh.hInstance = AfxGetResourceHandle();
  m_psh.nPages = static_cast<UINT>(m_pageCount);
  m_psh.ppsp = m_pageRecords;

  g_creationHook = SetWindowsHookExW(WH_CBT, &CPropertySheet::CreationHook, nullptr,
                                     GetCurrentThreadId());
  if (g_creationHook == nullptr) return -1;
  g_sheetInCreation = this;
  const INT_PTR created = PropertySheetW(&m_psh);
  g_sheetInCreation = nullptr;
  (void)UnhookWindowsHookEx(g_creationHook);  // nothing is left to do if it fails
  g_creationHook = nullptr;
  if (created <= 0 || m_hWnd != reinterpret_cast<HWND>(created)) {
    if (created > 0) (void)::DestroyWindow(reinterpret_cast<HWND>(created));
    return -1;
  }

  HWND owner = m_psh.hwndParent;
  const bool owner_was_enabled = owner != nullptr && !EnableWindow(owner, FALSE);
  // A modeless sheet that was cancelled has no current page; one that a page
  // destroyed has no window.
  MSG msg;
  while (m_hWnd != nullptr && PropSheet_GetCurrentPageHwnd(m_hWnd) != nullptr) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the caller's loop
      break;
    }
    if (got == -1) break;
    if (!PropSheet_IsDialogMessage(m_hWnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  const INT_PTR result = m_hWnd != nullptr ? IDCANCEL : IDOK;
  if (owner_was_enabled) (void)EnableWindow(owner, TRUE);
  if (m_hWnd != nullptr) (void)::DestroyWindow(m_hWnd);
  return result;
}

BOOL CPropertySheet::OnInitDialog() { return static_cast<BOOL>(Default()); }

LRESULT CPropertySheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  return CWnd::WindowProc(message, wParam, lParam);
}
