#include "fs/call_watch.h"

CallWatch::~CallWatch() {
  if (thread_) {
    // Set before the wait: the thread ends at its next tick at the latest.
    (void)SetEvent(stop_.Get());
    (void)WaitForSingleObject(thread_.Get(), INFINITE);
  }
  for (Slot& slot : slots_) {
    if (slot.thread != nullptr) (void)CloseHandle(slot.thread);
  }
}

bool CallWatch::Exhausted() {
  AcquireSRWLockShared(&lock_);
  const bool exhausted = waited_ >= run_ms_;
  ReleaseSRWLockShared(&lock_);
  return exhausted;
}

bool CallWatch::StartThread() {
  if (thread_ || failed_) return !failed_;
  stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (stop_) thread_.Reset(CreateThread(nullptr, 64 * 1024, &Watch, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  failed_ = !thread_;
  return !failed_;
}

size_t CallWatch::Begin(WaitsFor waits) {
  HANDLE thread = nullptr;
  // CancelSynchronousIo needs THREAD_TERMINATE on the thread whose call it cancels.
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                       THREAD_TERMINATE, FALSE, 0)) {
    return kSlots;
  }
  AcquireSRWLockExclusive(&lock_);
  size_t slot = 0;
  while (slot < kSlots && slots_[slot].deadline != 0) ++slot;
  if (slot < kSlots && StartThread()) {
    const ULONGLONG now = GetTickCount64();
    slots_[slot] = {thread, now, now + call_ms_, waits, false};
    thread = nullptr;
  } else {
    slot = kSlots;
  }
  ReleaseSRWLockExclusive(&lock_);
  if (thread != nullptr) (void)CloseHandle(thread);
  return slot;
}

void CallWatch::End(size_t slot) {
  if (slot >= kSlots) return;
  const DWORD error = GetLastError();  // the watched call's, for its caller
  // Under the lock: once this returns, the watch cancels nothing more of this thread's.
  AcquireSRWLockExclusive(&lock_);
  Slot& ended = slots_[slot];
  if (ended.cancelled || ended.waits == WaitsFor::kOtherPrograms) waited_ += GetTickCount64() - ended.began;
  HANDLE thread = ended.thread;
  ended = Slot();
  ReleaseSRWLockExclusive(&lock_);
  (void)CloseHandle(thread);
  SetLastError(error);
}

DWORD WINAPI CallWatch::Watch(void* self) {
  auto* watch = static_cast<CallWatch*>(self);
  while (WaitForSingleObject(watch->stop_.Get(), kTickMilliseconds) == WAIT_TIMEOUT) {
    AcquireSRWLockExclusive(&watch->lock_);
    const ULONGLONG now = GetTickCount64();
    for (Slot& slot : watch->slots_) {
      if (slot.deadline == 0 || now < slot.deadline) continue;
      // Again at every tick: the call may have begun another wait. Nothing
      // pending (ERROR_NOT_FOUND) is no failure: the thread is busy, not waiting.
      if (CancelSynchronousIo(slot.thread)) slot.cancelled = true;
    }
    ReleaseSRWLockExclusive(&watch->lock_);
  }
  return 0;
}
