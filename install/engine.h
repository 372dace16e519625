// The installation engine: the payload into a viewer folder's Plugins folder.
// It shows nothing, reads no process-wide state and never uses the current
// directory, so any thread may run it.
#pragma once

#include <stddef.h>

#include "fs/call_watch.h"
#include "fs/target_folder.h"
#include "install/install_observer.h"
#include "install/install_record.h"

constexpr wchar_t kPluginsFolderName[] = L"Plugins";
// The staged archive's name begins so; the rest makes it unique.
constexpr wchar_t kStagedArchiveStem[] = L"PX32_plugins";

// Every way an installation ends.
enum class InstallStatus : int {
  kInstalled,         // every entry reached the disk whole
  kSomeNotInstalled,  // every entry was read; some files or folders could not be put in place,
                      // or a file of an earlier release that this one drops could not be removed
  kArchiveDamaged,    // a check refused the archive (InstallResult::check says which)
  kArchiveUnreadable, // the staged archive could not be read back
  kPathTooLong,       // folder\Plugins\ would not fit a Windows path
  kTargetUnusable,    // the Plugins folder could not be made or opened, or is not a plain folder in the folder
  kCantStage,         // no payload, or its copy in the temp folder could not be made
  kWriteFailed,       // a file could not be written whole (a full disk); the rest was not tried
  kOutOfMemory,       // the copy buffer or the list of the entries' spans could not be had
  kLockUnavailable,   // the lock that keeps setups apart could not be made or opened
  kLockTimedOut,      // another setup held it for longer than kInstallWaitMilliseconds
  kFilesInUse,        // a file to be replaced, or a folder it lies in, is in use (OnInUse told
                      // which): nothing was written
};
constexpr int kInstallStatusCount = static_cast<int>(InstallStatus::kFilesInUse) + 1;

struct InstallResult {
  InstallStatus status;
  int check;  // for kArchiveDamaged: the refusing check's code (UnpackResult or minizip's)
};

struct InstallRequest {
  const void* payload;      // the ZIP archive's bytes
  size_t payloadBytes;
  const wchar_t* folder;    // the viewer's folder: a full path (drive, UNC, \\?\ or \\.\)
  bool makeMissingFolders;  // create the folder, its missing parents and Plugins (a folder with a drive only)
  InstallObserver* observer;  // may be null
  const wchar_t* recordFolder = nullptr;  // the installation record's folder (RecordFolderFor); null: none kept
  const wchar_t* package = nullptr;       // the package version the record names
  HMODULE setup = nullptr;  // the running setup, whose copy the Apps & features entry runs; null: no entry
};

// Installs the payload into folder\Plugins\ while no other setup installs
// there. The folder is used as it is, through any links on its way; its
// Plugins folder must be a plain folder in it. When a file it would replace
// is in use, or a folder is held so that no file in it can be renamed
// (CountFilesInUse), nothing is written. With a record of this Plugins
// folder in `recordFolder`, the files it names that this payload does not
// carry go too (RecordKeeping), and a run that put files in place leaves
// the record of what is installed there, and the Apps & features entry. No call that waits for another
// program waits longer than CallWatch allows.
InstallResult InstallPayload(const InstallRequest& request);

// Writes the payload to a new file of a unique name in the temp folder and
// unpacks it into `target`. The copy is locked from its creation and deleted
// when its handle closes, also when the setup is killed. Returns 0 on
// success, kStageFailed when staging fails, otherwise the result of
// UnpackArchive, whose calls that may wait for another program `watch` (may
// be null) bounds, and `installed` (may be null) gets each file that took its name.
constexpr int kStageFailed = -300;
int StagePayloadArchive(const void* payload, size_t payloadBytes, const TargetFolder& target,
                        InstallObserver* observer, CallWatch* watch = nullptr,
                        InstallRecord* installed = nullptr);
