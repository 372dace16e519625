#include "framework/wnd.h"

namespace {
// The window property that leads from a subclassed window to its CWnd.
constexpr wchar_t kWndProperty[] = L"Pixelmoor.CWnd";
}  // namespace

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, nullptr, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->pBaseMap) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
      if (e->nMessage != message) continue;
      if (message == WM_COMMAND && (e->nCode != code || e->nID != id)) continue;
      return e;
    }
  }
  return nullptr;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
  // The object may go first (a static at process end): the window must not keep
  // a pointer to it.
  if (m_hWnd != nullptr) {
    (void)RemovePropW(m_hWnd, kWndProperty);
    (void)SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  }
}

HWND CWnd::GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

void CWnd::SetWindowText(const wchar_t* text) { (void)::SetWindowTextW(m_hWnd, text); }

void CWnd::SetDlgItemText(int id, const wchar_t* text) { (void)::SetDlgItemTextW(m_hWnd, id, text); }

int CWnd::GetDlgItemText(int id, wchar_t* buffer, int capacity) const {
  buffer[0] = 0;
  return static_cast<int>(::GetDlgItemTextW(m_hWnd, id, buffer, capacity));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) const {
  return ::MessageBoxW(m_hWnd, text, caption, type);
}

BOOL CWnd::DestroyWindow() {
  // WM_NCDESTROY clears m_hWnd (AfxWndProc).
  return m_hWnd != nullptr && ::DestroyWindow(m_hWnd);
}

bool CWnd::SubclassWindow(HWND hwnd) {
  if (!SetPropW(hwnd, kWndProperty, this)) return false;
  m_hWnd = hwnd;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
  return true;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = static_cast<CWnd*>(GetPropW(hwnd, kWndProperty));
  if (wnd == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);

  const MSG outer = wnd->m_current;  // messages nest: a handler may send more
  wnd->m_current = MSG{hwnd, message, wParam, lParam, 0, {0, 0}};
  LRESULT result;
  if (message == WM_NCDESTROY) {
    result = wnd->Default();
    (void)RemovePropW(hwnd, kWndProperty);
    wnd->m_hWnd = nullptr;
    wnd->m_pfnSuper = nullptr;
  } else {
    result = wnd->WindowProc(message, wParam, lParam);
  }
  wnd->m_current = outer;
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) return OnCommand(wParam, lParam) ? 0 : Default();
  if (DispatchMapped(message, wParam, lParam)) return 0;
  return Default();
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  return DispatchMapped(WM_COMMAND, wParam, lParam) ? TRUE : FALSE;
}

void CWnd::OnSysCommand(UINT, LPARAM) { (void)Default(); }

LRESULT CWnd::Default() {
  if (m_pfnSuper == nullptr) return 0;
  return CallWindowProcW(m_pfnSuper, m_current.hwnd, m_current.message, m_current.wParam,
                         m_current.lParam);
}

bool CWnd::DispatchMapped(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COMMAND && message != WM_SYSCOMMAND) return false;
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, HIWORD(wParam), LOWORD(wParam));
  if (entry == nullptr) return false;
  switch (entry->nSig) {
    case AfxSig_vv:
      (this->*entry->pfn)();
      return true;
    case AfxSig_vwl:
      (this->*entry->pfnSys)(static_cast<UINT>(wParam), lParam);
      return true;
    case AfxSig_end:
      break;
  }
  return false;
}
