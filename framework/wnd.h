// Windows and message maps: the stand-in for the framework's CCmdTarget and CWnd,
// covering what the wizard uses. A CWnd is attached to its window by subclassing
// it; messages reach the class through WindowProc and the class's message map.
#pragma once

#include <windows.h>

#include "framework/object.h"

class CCmdTarget;
class CWnd;
using AFX_PMSG = void (CCmdTarget::*)();
using AFX_PMSGW_SYS = void (CWnd::*)(UINT, LPARAM);

enum AfxSig : unsigned char {
  AfxSig_end,  // the end of a map
  AfxSig_vv,   // void handler()
  AfxSig_vwl,  // void handler(UINT, LPARAM)
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_COMMAND or WM_SYSCOMMAND
  UINT nCode;     // the notification code of a WM_COMMAND
  UINT nID;       // the control id of a WM_COMMAND
  AfxSig nSig;
  AFX_PMSG pfn;            // the handler of AfxSig_vv
  AFX_PMSGW_SYS pfnSys;    // the handler of AfxSig_vwl
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* pBaseMap;
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                  \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                             \
    using ThisClass [[maybe_unused]] = theClass;                                \
    using TheBaseClass = baseClass;                                             \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                  \
  {0, 0, 0, AfxSig_end, nullptr, nullptr}};                                \
  static const AFX_MSGMAP map = {TheBaseClass::GetThisMessageMap(), entries}; \
  return &map;                                                             \
  }

#define ON_BN_CLICKED(id, memberFxn)                                  \
  {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), AfxSig_vv,          \
   static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::memberFxn)), nullptr},
#define ON_WM_SYSCOMMAND()                                            \
  {WM_SYSCOMMAND, 0, 0, AfxSig_vwl, nullptr,                          \
   static_cast<AFX_PMSGW_SYS>(&ThisClass::OnSysCommand)},

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  // The map entry for the message, searching the base classes' maps too, or null.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;  // null before the window exists and after it is destroyed

  HWND GetDlgItem(int id) const;
  void SetWindowText(const wchar_t* text);
  void SetDlgItemText(int id, const wchar_t* text);
  // Copies at most capacity - 1 characters; returns the number copied.
  int GetDlgItemText(int id, wchar_t* buffer, int capacity) const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // A modal message box owned by this window; returns the button pressed.
  int MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) const;
  BOOL DestroyWindow();

 protected:
  // Takes over `hwnd`: its messages come to WindowProc from now on, until it is destroyed.
  bool SubclassWindow(HWND hwnd);
  // Every message of the window. Returns the message's result.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // A WM_COMMAND. Returns TRUE when the command was handled here (by default: when
  // the message map has an entry for it), FALSE to leave it to the default processing.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // The default processing of WM_SYSCOMMAND (the window's original procedure).
  void OnSysCommand(UINT nID, LPARAM lParam);
  // Passes the message being handled to the window's original procedure.
  LRESULT Default();

  DECLARE_MESSAGE_MAP()

 private:
  static LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Calls the message map's handler, if there is one; true when it did.
  bool DispatchMapped(UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC m_pfnSuper = nullptr;
  MSG m_current = {};  // the message WindowProc is handling, for Default
};
