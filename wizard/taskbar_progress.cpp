#include "wizard/taskbar_progress.h"

// The taskbar's answers change nothing for the installation: each is ignored.

bool TaskbarProgress::Open(HWND window) {
  taskbar_.Reset();
  window_ = window;
  ITaskbarList3* taskbar = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&taskbar))) ||
      taskbar == nullptr) {
    return false;
  }
  taskbar_.Reset(taskbar);
  if (FAILED(taskbar_.Get()->HrInit())) {
    taskbar_.Reset();
    return false;
  }
  return true;
}

void TaskbarProgress::ShowWaiting() {
  if (taskbar_) (void)taskbar_.Get()->SetProgressState(window_, TBPF_INDETERMINATE);
}

void TaskbarProgress::Show(int done, int total) {
  if (!taskbar_) return;
  (void)taskbar_.Get()->SetProgressState(window_, TBPF_NORMAL);
  (void)taskbar_.Get()->SetProgressValue(window_, static_cast<ULONGLONG>(done),
                                         static_cast<ULONGLONG>(total));
}

void TaskbarProgress::Clear() {
  if (taskbar_) (void)taskbar_.Get()->SetProgressState(window_, TBPF_NOPROGRESS);
}
