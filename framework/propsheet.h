// Property sheets in wizard mode: the stand-in for the framework's CPropertySheet
// and CPropertyPage over the system's property-sheet control.
//
// The sheet runs modeless under a modal loop of its own, so that a page may end it
// by destroying the sheet window. The sheet window is subclassed as it is created
// (a WH_CBT hook on this thread around PropertySheetW, taking the first top-level
// dialog-class window that is not an input-method window), so that the sheet
// class sees the real WM_INITDIALOG: the first page is created and activated
// inside it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "framework/wnd.h"

class CPropertySheet;

// The control ids of the wizard's Back and Next buttons in the system's
// property sheet.
constexpr int kWizardBackButton = 0x3023;
constexpr int kWizardNextButton = 0x3024;

class CPropertyPage : public CWnd {
  DECLARE_DYNAMIC(CPropertyPage)
 public:
  // The page made from dialog template `templateId`; a caption id of 0 keeps the template's.
  explicit CPropertyPage(UINT templateId, UINT captionId = 0);

  PROPSHEETPAGEW m_psp;
  UINT GetTemplateId() const;

  // PSN_SETACTIVE. Returns TRUE to accept the activation, FALSE to refuse it.
  virtual BOOL OnSetActive();
  // PSN_WIZNEXT. Returns 0 to go to the next page, -1 to stay, or the dialog-template
  // id of the page to go to.
  virtual LRESULT OnWizardNext();
  // PSN_WIZBACK. Returns 0 to go to the previous page, -1 to stay, or a template id.
  virtual LRESULT OnWizardBack();
  // WM_INITDIALOG of the page. Returns TRUE to let the system set the focus.
  virtual BOOL OnInitDialog();
  // PSN_QUERYCANCEL: the sheet is about to be cancelled. Returns TRUE to let
  // it, FALSE to keep it open.
  virtual BOOL OnQueryCancel();

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  static INT_PTR CALLBACK PageDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

class CPropertySheet : public CWnd {
  DECLARE_DYNAMIC(CPropertySheet)
 public:
  static constexpr int kMaxPages = 8;

  explicit CPropertySheet(const wchar_t* caption, CWnd* parent = nullptr, UINT selectPage = 0);

  PROPSHEETHEADERW m_psh;

  // Adds a page before the sheet runs; pages beyond kMaxPages are ignored.
  void AddPage(CPropertyPage* page);
  // Shows the sheet and returns when its window is gone: IDCANCEL when the user left
  // it (cancel or the close box), IDOK when it was ended otherwise (a page destroyed
  // it), -1 when it could not be created.
  INT_PTR DoModal();

  // The index of the active page; the start page when the window does not exist.
  int GetActiveIndex() const;
  // The number of pages: of the control while the window exists, else those added.
  int GetPageCount() const;
  CPropertyPage* GetPage(int index) const;

 protected:
  // WM_INITDIALOG: the control's own initialisation, which creates and activates the
  // start page. Returns its result (FALSE: a wizard sets its own focus).
  virtual BOOL OnInitDialog();
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);

  CPropertyPage* m_pages[kMaxPages] = {};
  PROPSHEETPAGEW m_pageRecords[kMaxPages] = {};
  int m_pageCount = 0;
};
