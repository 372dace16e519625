// Setups into one Plugins folder take turns. The lock is a file in that
// folder, held without sharing: only those who may write the folder anyway
// can make it, and only SYSTEM and administrators (and, for a setup that runs
// without elevation, its own user) can open it, so nobody else can hold it or
// make a setup wait. Setups into other folders wait for each other only at
// the installation record, which takes the same lock in its own folder.
#pragma once

#include <windows.h>

#include "base/scoped.h"
#include "fs/target_folder.h"
#include "install/install_observer.h"

constexpr wchar_t kLockFileName[] = L"PX32_setup.lock";
// How long a setup waits for another one to finish before it gives up: two
// minutes (install_wait.cpp, alone in its object file so that the tests'
// short-wait setup can link a wait of its own instead).
extern const unsigned long kInstallWaitMilliseconds;

// The lock file's security descriptor, made for a new lock file: full access
// for SYSTEM and Administrators, and for the user the setup runs as when it
// runs without elevation (an elevated setup's user would otherwise let that
// user's unelevated programs hold the lock); its owner may only read it.
// False when it cannot be made.
bool MakeLockSecurity(bool elevated, ScopedLocalMemory* security);

enum class LockOutcome { kTaken, kUnavailable, kTimedOut };

// Holds the lock until it goes out of scope; closing its handle deletes the
// lock file.
class SetupLock {
 public:
  SetupLock() = default;
  SetupLock(const SetupLock&) = delete;
  SetupLock& operator=(const SetupLock&) = delete;

  // Takes the lock in `plugins`, waiting up to kInstallWaitMilliseconds while
  // another setup holds it; `observer` (may be null) hears once that it waits.
  // kUnavailable when the lock file cannot be made or opened, or is anything
  // but a plain file in the folder.
  LockOutcome Take(const TargetFolder& plugins, InstallObserver* observer);

 private:
  ScopedFileHandle file_;
};
