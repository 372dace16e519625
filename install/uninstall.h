// Removing what an installation of the payload put in a viewer folder's
// Plugins folder: each file that still has its entry's size and bytes, then
// the payload's folders that are empty afterwards. Files that changed, and
// every file the payload does not name, stay. Shows nothing, keeps no
// process-wide state and never uses the current directory.
#pragma once

#include <windows.h>

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
using UninstallObserver = RemovalObserver;

struct UninstallRequest {
  const void* payload;  // the ZIP archive's bytes
  size_t payloadBytes;
  const wchar_t* folder;  // the viewer's folder: a full path
  UninstallObserver* observer;  // may be null
  const wchar_t* recordFolder = nullptr;  // the installation record's folder (RecordFolderFor); null: none read
  HMODULE setup = nullptr;  // the running setup: when it is the entry's copy, it goes at the next restart
};

// Removes the payload's files and folders from folder\Plugins\ while no
// other setup works there, by the rules installing keeps: every name looked
// up in the folder held above it, nothing removed through a link. A missing
// Plugins folder has nothing to remove; the Plugins folder itself stays.
// What is ours is what the record names (each file while it has its
// recorded size and SHA-256), where `recordFolder` holds a record of this
// Plugins folder, which goes too once every file is, with the Apps & features
// entry and its uninstaller copies (RemoveEntry); otherwise what the payload
// holds. When a file of ours is in use, nothing is removed.
UninstallStatus UninstallPayload(const UninstallRequest& request);
