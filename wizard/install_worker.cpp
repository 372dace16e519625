#include "wizard/install_worker.h"

#include <process.h>

int ProgressParts(uint64_t done, uint64_t total) {
  if (total == 0 || done >= total) return kProgressParts;
  // Whole parts, without overflowing for any total.
  const uint64_t part = total / kProgressParts;
  if (part == 0) return static_cast<int>(done * kProgressParts / total);
  const uint64_t parts = done / part;
  return parts < kProgressParts ? static_cast<int>(parts) : kProgressParts;
}

InstallWorker::~InstallWorker() {
  // Nothing is left to do with the result when the window went first.
  if (thread_) (void)WaitForSingleObject(thread_.Get(), INFINITE);
}

void InstallWorker::Start(HWND window, const wchar_t* folder) {
  if (busy_) return;
  busy_ = true;
  window_ = window;
  InstallResult failure;
  if (!prepared_.Prepare(folder, this, &failure)) {
    OnDone(failure);
    return;
  }
  // _beginthreadex rather than CreateThread: the engine uses the C runtime.
  const uintptr_t thread = _beginthreadex(nullptr, 0, &InstallWorker::Run, this, 0, nullptr);
  if (thread != 0) {
    thread_.Reset(reinterpret_cast<HANDLE>(thread));
  } else {
    (void)Run(this);  // no thread to be had: installing matters more than repainting
  }
}

unsigned __stdcall InstallWorker::Run(void* worker) {
  auto* self = static_cast<InstallWorker*>(worker);
  // The result comes through OnDone, which the engine always calls.
  (void)InstallPayload(self->prepared_.Request());
  return 0;
}

InstallResult InstallWorker::Finish() {
  if (thread_) (void)WaitForSingleObject(thread_.Get(), INFINITE);  // it has posted its last
  thread_.Reset();
  busy_ = false;
  (void)InterlockedExchange(&done_, 0);
  return result_;
}

void InstallWorker::Post(UINT message, WPARAM wParam) {
  // A window that is gone needs no news; the destructor still waits.
  (void)PostMessageW(window_, message, wParam, 0);
}

void InstallWorker::OnWaiting() { Post(kMsgInstallWaiting); }

void InstallWorker::OnStarted(uint64_t entries, uint64_t totalBytes) {
  entries_ = entries;
  total_bytes_ = totalBytes;
  OnProgress(0, 0);
}

void InstallWorker::OnProgress(uint64_t entriesDone, uint64_t bytesDone) {
  // By bytes; by entries when there are none (folders and empty files only).
  const int parts = total_bytes_ != 0 ? ProgressParts(bytesDone, total_bytes_)
                                      : (entries_ != 0 ? ProgressParts(entriesDone, entries_) : 0);
  if (parts == parts_posted_) return;  // one message per visible step
  parts_posted_ = parts;
  Post(kMsgInstallProgress, static_cast<WPARAM>(parts));
}

void InstallWorker::OnDone(const InstallResult& result) {
  result_ = result;
  (void)InterlockedExchange(&done_, 1);
  Post(kMsgInstallDone);
}
