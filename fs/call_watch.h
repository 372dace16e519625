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
// Once watched calls have waited this long in all, a run tries no more calls
// that may wait, so that it never holds the setup lock for other programs'
// sake much longer than another setup waits for that lock (two minutes).
constexpr DWORD kWatchedRunMilliseconds = 60000;

// What a watched call waits for, and so what of its time counts toward the
// run's.
enum class WaitsFor {
  kOtherPrograms,  // a rename or delete, which takes milliseconds unless a holder's
                   // oplock breaks: all of its time counts
  kTheDisk,        // a flush, which may take long on a slow disk: only a cancelled one's counts
};

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

  // True once watched calls have waited runMilliseconds in all (as
  // WaitsFor says what counts): the run should attempt no more of them.
  bool Exhausted();

 private:
  friend class WatchedCall;
  static constexpr size_t kSlots = 8;  // the run's thread and its flushes in flight, and to spare
  static constexpr DWORD kTickMilliseconds = 50;

  struct Slot {
    HANDLE thread = nullptr;  // for cancelling: opened for THREAD_TERMINATE
    ULONGLONG began = 0, deadline = 0;  // 0: free
    WaitsFor waits = WaitsFor::kOtherPrograms;
    bool cancelled = false;  // a pending I/O of it was cancelled
  };

  // The slot of a call that begins on this thread now; kSlots when the call
  // goes unwatched (no slot free, or no thread to watch it).
  size_t Begin(WaitsFor waits);
  void End(size_t slot);
  bool StartThread();  // with the lock held
  static DWORD WINAPI Watch(void* self);

  const DWORD call_ms_, run_ms_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  Slot slots_[kSlots];
  ULONGLONG waited_ = 0;  // what counts of the watched calls' time, in all
  bool failed_ = false;   // the thread could not be started
  ScopedKernelHandle stop_, thread_;
};

// One watched call, for as long as it is in scope; it leaves the last error
// as the call set it. With a null watch, nothing is watched.
class WatchedCall {
 public:
  explicit WatchedCall(CallWatch* watch, WaitsFor waits = WaitsFor::kOtherPrograms)
      : watch_(watch), slot_(watch ? watch->Begin(waits) : 0) {}
  ~WatchedCall() {
    if (watch_ != nullptr) watch_->End(slot_);
  }
  WatchedCall(const WatchedCall&) = delete;
  WatchedCall& operator=(const WatchedCall&) = delete;

 private:
  CallWatch* watch_;
  size_t slot_;
};
