// Takes a picture of the wizard for `scripts/run --wizard` when there is no
// display to show it on: waits for the window titled CAPTION, saves the screen
// under it as OUT.png, then leaves the wizard (Exit, and Yes if it asks).
//   wizard_snapshot CAPTION OUT.png
#include <windows.h>

#include <stdio.h>

#include <string>

#include "screenshot.h"

namespace {

HWND WaitForWindow(const wchar_t* caption, int tenths) {
  for (int i = 0; i < tenths; ++i) {
    HWND w = FindWindowW(L"#32770", caption);
    if (w != nullptr && IsWindowVisible(w) && IsWindowEnabled(w)) return w;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: wizard_snapshot CAPTION OUT.png\n");
    return 2;
  }
  HWND sheet = WaitForWindow(argv[1], 300);
  if (sheet == nullptr) {
    fprintf(stderr, "wizard_snapshot: no window \"%ls\"\n", argv[1]);
    return 1;
  }
  Sleep(500);  // the first paint
  RECT area;
  const bool saved = GetWindowRect(sheet, &area) && SaveScreenArea(area, argv[2]);
  if (!saved) fprintf(stderr, "wizard_snapshot: cannot save %ls\n", argv[2]);

  PostMessageW(GetDlgItem(sheet, IDCANCEL), BM_CLICK, 0, 0);
  for (int i = 0; i < 50 && IsWindow(sheet); ++i) {
    // The exit question, when a folder is known, has the same caption.
    HWND question = FindWindowW(L"#32770", argv[1]);
    if (question != nullptr && question != sheet && GetDlgItem(question, IDYES) != nullptr) {
      PostMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    }
    Sleep(100);
  }
  return saved ? 0 : 1;
}
