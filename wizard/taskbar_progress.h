// The same progress on the window's taskbar button, where Windows offers it
// (ITaskbarList3, Windows 7 and later). Where it does not, nothing shows and
// nothing fails.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include "framework/scoped_ui.h"

class TaskbarProgress {
 public:
  // For the taskbar button of `window`; needs COM on this thread. False when
  // there is no such taskbar: the calls below then do nothing.
  bool Open(HWND window);
  // Waiting for another setup: a progress of unknown length.
  void ShowWaiting();
  // `done` of `total` parts.
  void Show(int done, int total);
  // No progress any more.
  void Clear();

 private:
  ScopedComInterface<ITaskbarList3> taskbar_;
  HWND window_ = nullptr;
};
