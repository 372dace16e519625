// The installation engine: the payload into a viewer folder's Plugins folder.
// It shows nothing, reads no process-wide state and never uses the current
// directory, so any thread may run it.
#pragma once

#include <stddef.h>

#include "install/install_observer.h"

constexpr wchar_t kPluginsFolderName[] = L"Plugins";
constexpr wchar_t kStagedArchiveName[] = L"PX32_plugins.zip";

// The machine-wide mutex that lets one setup install at a time, and how long
// a setup waits for another one to finish before it gives up.
constexpr wchar_t kInstallMutexName[] = L"Global\\PixelmoorPlugInsSetup";
constexpr unsigned long kInstallWaitMilliseconds = 120000;

// Every way an installation ends.
enum class InstallStatus : int {
  kInstalled,         // every entry reached the disk whole
  kSomeNotInstalled,  // every entry was read; some files or folders could not be put in place
  kArchiveDamaged,    // a check refused the archive (InstallResult::check says which)
  kArchiveUnreadable, // the staged archive could not be read back
  kPathTooLong,       // folder\Plugins\ would not fit a Windows path
  kTargetUnusable,    // the Plugins folder could not be made or opened
  kCantStage,         // no payload, or its copy in the temp folder could not be made
  kWriteFailed,       // a file could not be written whole (a full disk); the rest was not tried
  kOutOfMemory,       // the copy buffer or the list of the entries' spans could not be had
  kLockUnavailable,   // the mutex that keeps setups apart could not be opened
  kLockTimedOut,      // another setup held it for longer than kInstallWaitMilliseconds
};
constexpr int kInstallStatusCount = static_cast<int>(InstallStatus::kLockTimedOut) + 1;

struct InstallResult {
  InstallStatus status;
  int check;  // for kArchiveDamaged: the refusing check's code (UnpackResult or minizip's)
};

struct InstallRequest {
  const void* payload;      // the ZIP archive's bytes
  size_t payloadBytes;
  const wchar_t* folder;    // the viewer's folder: a full path (drive, UNC or \\?\)
  bool makeMissingFolders;  // create the folder's missing parents and Plugins (a folder with a drive only)
  InstallObserver* observer;  // may be null
};

// Installs the payload into folder\Plugins\ while no other setup installs.
InstallResult InstallPayload(const InstallRequest& request);

// Makes sure `path` (room for `capacity` characters) ends with a backslash and
// creates the folder with any missing parents. Returns 0 when the path has no
// drive or a parent is missing, 1 otherwise (also when a creation failed for
// another reason, such as missing rights: the folder then need not exist).
int MakeFolderChain(wchar_t* path, size_t capacity);

// Writes the payload to `fileName` in the user's temp folder, unpacks it into
// `target` and deletes it. The copy is locked from its creation to its
// deletion, and what was at the name before is replaced, never written
// through. Returns 0 on success, kStageFailed when staging fails (also when
// something at the name cannot be replaced: a folder, a file in use),
// otherwise the result of UnpackArchive.
constexpr int kStageFailed = -300;
int StagePayloadArchive(const void* payload, size_t payloadBytes, const wchar_t* fileName,
                        const wchar_t* target, InstallObserver* observer);
