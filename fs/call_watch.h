// Bounds on the calls that wait for another program. Renaming or deleting a
// file whose holder keeps an oplock waits until that holder acknowledges its
// break, and a holder may never do so; a flush or a call on a share may wait
// on the other end. A run holds the setup lock meanwhile, so every other
// setup would end with 1618. A call watched here that waits longer than its
// limit is cancelled (CancelSynchronousIo) and fails with
// ERROR_OPERATION_ABORTED, which its caller counts as the file being in use.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "base/scoped.h"

// A call waits at most this long for another program.
constexpr DWORD kWatchedCallMilliseconds = 10000;
// Once cancelled calls have waited this long in all, a run tries no more
// calls that may wait: it never holds the setup lock for another program's
// sake longer than another setup waits for that lock (two minutes).
constexpr DWORD kWatchedRunMilliseconds = 60000;

// Watches the calls of one run, on any of its threads, from a thread of its
// own that starts with the first call. Without that thread (it cannot be
// made), calls run unwatched.
class CallWatch {
 public:
  explicit CallWatch(DWORD callMilliseconds = kWatchedCallMilliseconds,
                     DWORD runMilliseconds = kWatchedRunMilliseconds)
      : call_ms_(callMilliseconds), run_ms_(runMilliseconds) {}
  ~CallWatch();
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

  // True once cancelled calls have waited runMilliseconds in all: the run
  // should attempt no more of them.
  bool Exhausted();

 private:
  friend class WatchedCall;
  static constexpr size_t kSlots = 8;  // the run's thread and its flushes in flight, and to spare
  static constexpr DWORD kTickMilliseconds = 50;

  struct Slot {
    HANDLE thread = nullptr;  // for cancelling: opened for THREAD_TERMINATE
    ULONGLONG began = 0, deadline = 0;  // 0: free
    bool cancelled = false;
  };

  // The slot of a call that begins on this thread now; kSlots when the call
  // goes unwatched.
  size_t Begin();
  void End(size_t slot);
  bool StartThread();  // with the lock held
  static DWORD WINAPI Watch(void* self);

  const DWORD call_ms_, run_ms_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  Slot slots_[kSlots];
  ULONGLONG waited_ = 0;  // by cancelled calls, in all
  bool failed_ = false;   // the thread could not be started
  ScopedKernelHandle stop_, thread_;
};

// One watched call (or a few that together must not wait longer), for as long
// as it is in scope. With a null watch, nothing is watched.
class WatchedCall {
 public:
  explicit WatchedCall(CallWatch* watch) : watch_(watch), slot_(watch ? watch->Begin() : 0) {}
  ~WatchedCall() {
    if (watch_ != nullptr) watch_->End(slot_);
  }
  WatchedCall(const WatchedCall&) = delete;
  WatchedCall& operator=(const WatchedCall&) = delete;

 private:
  CallWatch* watch_;
  size_t slot_;
};
