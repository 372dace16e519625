// Removing what an installation of the payload put in a viewer folder's
// Plugins folder: each file that still has its entry's size and bytes, then
// the payload's folders that are empty afterwards. Files that changed, and
// every file the payload does not name, stay. Shows nothing, keeps no
// process-wide state and never uses the current directory.
#pragma once

#include <stddef.h>

#include "install/install_observer.h"

enum class UninstallStatus : int {
  kRemoved,            // every unchanged file of ours is gone, or there was nothing to remove
                       // (an emptied folder another program uses stays: OnKeptInUse)
  kSomeNotRemoved,     // a file or folder of ours could not be removed: in use, denied, behind a link
  kPayloadUnreadable,  // the payload is no archive that an installation would unpack
  kLockUnavailable,    // the lock that keeps setups apart could not be made or opened
  kLockTimedOut,       // another setup held it for longer than kInstallWaitMilliseconds
  kFilesInUse,         // a file of ours is in use (OnInUse told which): nothing was removed
};

// Hears of each file in use (before anything is removed), and then of each
// file or folder kept.
class UninstallObserver : public InUseObserver {
 public:
  // `name` is the entry's name, as the payload gives it: a file kept because
  // it differs from its entry.
  virtual void OnKeptChanged(const wchar_t* name) = 0;
  // A file or folder of ours (`name`, a folder's without its final separator)
  // that could not be removed, for the Windows error `error`.
  virtual void OnNotRemoved(const wchar_t* name, unsigned long error) { (void)name, (void)error; }
  // A folder of ours (`name`, without its final separator) emptied of our
  // files, which another program keeps from being deleted (its current
  // directory, say): it stays, and the run still counts as removed.
  virtual void OnKeptInUse(const wchar_t* name) { (void)name; }
};

struct UninstallRequest {
  const void* payload;  // the ZIP archive's bytes
  size_t payloadBytes;
  const wchar_t* folder;  // the viewer's folder: a full path
  UninstallObserver* observer;  // may be null
};

// Removes the payload's files and folders from folder\Plugins\ while no
// other setup works there, by the rules installing keeps: every name looked
// up in the folder held above it, nothing removed through a link. A missing
// Plugins folder has nothing to remove; the Plugins folder itself stays.
// When a file of ours is in use (CountFilesInUse), nothing is removed.
UninstallStatus UninstallPayload(const UninstallRequest& request);
