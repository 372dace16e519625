#include "install/uninstall.h"

#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "archive/archive_rules.h"
#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "base/path_split.h"
#include "base/scoped.h"
#include "fs/call_watch.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"
#include "install/engine.h"
#include "install/in_use.h"
#include "install/setup_lock.h"

namespace {

enum class Removal { kGone, kAbsent, kChanged, kNotRemoved };

// Removes the file `name` when it still holds its entry's bytes. It is read
// and removed through one handle opened without write sharing (a filtered
// file is read through a second one that follows it, while the first stays
// open): nobody can change it in between.
Removal RemoveFile(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                   const unz_file_info64& info, unsigned char* buffer, CallWatch* watch) {
  bool missing = false;
  if (!folders->Hold(plugins, name, false, &missing)) {
    return missing ? Removal::kAbsent : Removal::kNotRemoved;
  }
  const wchar_t* leaf = LeafOf(name);
  constexpr RelativeOpen kOurs = {GENERIC_READ | DELETE, FILE_SHARE_READ, FILE_OPEN,
                                  FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, 0, nullptr};
  ScopedFileHandle file;
  switch (OpenInFolder(folders->Innermost(plugins), leaf, wcslen(leaf), kOurs, &file)) {
    case OpenOutcome::kOpened: break;
    case OpenOutcome::kMissing:
    case OpenOutcome::kOtherKind: return Removal::kAbsent;  // a folder at its name is not ours
    default: return Removal::kNotRemoved;  // in use or denied
  }
  ItemFacts found;
  if (!plugins.Holds(file.Get(), name, wcslen(name), &found, true)) return Removal::kNotRemoved;
  // A compressed or cloud file is read as its filter supplies it, through a
  // handle that our own above must allow; the deletion goes through that one.
  ScopedFileHandle reopened;
  HANDLE data = nullptr;
  LARGE_INTEGER size = {};
  if (!OpenForData(file.Get(), found, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &reopened, &data) ||
      !GetFileSizeEx(data, &size)) {
    return Removal::kNotRemoved;
  }
  if (static_cast<uint64_t>(size.QuadPart) != info.uncompressed_size ||
      !FileHoldsEntry(data, info.uncompressed_size, static_cast<uint32_t>(info.crc), buffer)) {
    return Removal::kChanged;
  }
  reopened.Reset();
  if (watch->Exhausted()) {
    SetLastError(ERROR_OPERATION_ABORTED);  // the run has waited long enough on others
    return Removal::kNotRemoved;
  }
  WatchedCall call(watch);  // the delete waits while a holder's oplock breaks
  return MarkForDeletion(file.Get(), true) ? Removal::kGone : Removal::kNotRemoved;
}

enum class FolderRemoval { kDone, kKeptInUse, kFailed };

// Removes the folder `name` (no final separator) when it is empty: kDone
// also when it is missing or still holds something, which keeps it as it
// should; kKeptInUse when it is empty but another program keeps it from
// being deleted; kFailed when it could not be looked at or deleted.
FolderRemoval RemoveFolderIfEmpty(const TargetFolder& plugins, HeldFolders* folders,
                                  const wchar_t* name, CallWatch* watch) {
  bool missing = false;
  // Holds the folders above it only.
  if (!folders->Hold(plugins, name, false, &missing)) {
    return missing ? FolderRemoval::kDone : FolderRemoval::kFailed;
  }
  const wchar_t* leaf = LeafOf(name);
  constexpr RelativeOpen kFolder = {FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE,
                                    0, nullptr};
  ScopedFileHandle folder;
  const OpenOutcome opened = OpenInFolder(folders->Innermost(plugins), leaf, wcslen(leaf), kFolder, &folder);
  // Nothing there, or a file at its name: nothing of ours.
  if (opened == OpenOutcome::kMissing || opened == OpenOutcome::kOtherKind) return FolderRemoval::kDone;
  ItemFacts found;
  if (opened != OpenOutcome::kOpened || !plugins.Holds(folder.Get(), name, wcslen(name), &found)) {
    return FolderRemoval::kFailed;
  }
  ScopedFileHandle removable;
  if (!ReopenItem(folder.Get(), DELETE, &removable, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
    // Held without delete sharing: a program's current directory is. An empty
    // one stays, and is told; one that still holds something stays anyway.
    if (GetLastError() != ERROR_SHARING_VIOLATION && GetLastError() != kErrorOplockBreaking) {
      return FolderRemoval::kFailed;
    }
    return FolderListsSomething(folder.Get()) ? FolderRemoval::kDone : FolderRemoval::kKeptInUse;
  }
  if (watch->Exhausted()) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FolderRemoval::kFailed;
  }
  WatchedCall call(watch);
  // A folder that still holds something refuses the mark: it stays, as it should.
  return MarkForDeletion(removable.Get(), true) || GetLastError() == ERROR_DIR_NOT_EMPTY
             ? FolderRemoval::kDone
             : FolderRemoval::kFailed;
}

size_t Depth(const wchar_t* name) {
  size_t separators = 0;
  for (; *name != 0; ++name) separators += IsEntrySeparator(*name) ? 1 : 0;
  return separators;
}

// The entry names of the payload's folders, each once, deepest first: the
// folder entries and every folder part of a file's name, without their
// final separators. False when the list cannot be had.
bool PayloadFolders(unzFile archive, uint64_t count, wchar_t (**names)[kEntryNameChars],
                    size_t* found) {
  // At most one folder per separator of each name.
  size_t room = 0;
  *found = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (uint64_t i = 0; i < count; ++i) {
      unz_file_info64 info;
      wchar_t name[kEntryNameChars];
      if (!ReadPlainEntryAt(archive, i, &info, name)) return false;
      for (size_t at = 0; name[at] != 0; ++at) {
        if (!IsEntrySeparator(name[at])) continue;
        if (pass == 0) {
          ++room;
          continue;
        }
        bool seen = false;
        for (size_t k = 0; k < *found && !seen; ++k) {
          seen = wcsncmp((*names)[k], name, at) == 0 && (*names)[k][at] == 0;
        }
        if (seen) continue;
        wmemcpy((*names)[*found], name, at);
        (*names)[(*found)++][at] = 0;
      }
    }
    if (pass == 0) {
      *names = static_cast<wchar_t(*)[kEntryNameChars]>(malloc((room + 1) * sizeof **names));
      if (*names == nullptr) return false;
    }
  }
  // Deepest first: more separators first.
  qsort(*names, *found, sizeof **names, [](const void* a, const void* b) {
    const size_t da = Depth(static_cast<const wchar_t*>(a));
    const size_t db = Depth(static_cast<const wchar_t*>(b));
    return da == db ? 0 : da > db ? -1 : 1;
  });
  return true;
}

UninstallStatus RemoveAll(unzFile archive, const TargetFolder& plugins, UninstallObserver* observer,
                          CallWatch* watch) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return UninstallStatus::kPayloadUnreadable;
  ScopedMalloc buffer(malloc(kEntryReadBytes));
  if (!buffer) return UninstallStatus::kSomeNotRemoved;  // nothing could be checked

  bool not_removed = false;
  HeldFolders folders(true, watch);
  for (uint64_t i = 0; i < global.number_entry; ++i) {
    unz_file_info64 info;
    wchar_t name[kEntryNameChars];
    if (!ReadPlainEntryAt(archive, i, &info, name)) return UninstallStatus::kPayloadUnreadable;
    if (IsEntrySeparator(name[wcslen(name) - 1])) continue;  // folders come last
    switch (RemoveFile(plugins, &folders, name, info, static_cast<unsigned char*>(buffer.Get()), watch)) {
      case Removal::kGone:
      case Removal::kAbsent: break;
      case Removal::kChanged:
        if (observer != nullptr) observer->OnKeptChanged(name);
        break;
      case Removal::kNotRemoved:
        if (observer != nullptr) observer->OnNotRemoved(name, GetLastError());
        not_removed = true;
        break;
    }
  }

  wchar_t (*names)[kEntryNameChars] = nullptr;
  size_t count = 0;
  const bool listed = PayloadFolders(archive, global.number_entry, &names, &count);
  ScopedMalloc owned(names);
  if (!listed) return UninstallStatus::kPayloadUnreadable;
  for (size_t k = 0; k < count; ++k) {
    switch (RemoveFolderIfEmpty(plugins, &folders, names[k], watch)) {
      case FolderRemoval::kDone: break;
      case FolderRemoval::kKeptInUse:
        if (observer != nullptr) observer->OnKeptInUse(names[k]);
        break;
      case FolderRemoval::kFailed:
        if (observer != nullptr) observer->OnNotRemoved(names[k], GetLastError());
        not_removed = true;
        break;
    }
  }
  return not_removed ? UninstallStatus::kSomeNotRemoved : UninstallStatus::kRemoved;
}

}  // namespace

UninstallStatus UninstallPayload(const UninstallRequest& request) {
  if (request.payload == nullptr || request.payloadBytes == 0) return UninstallStatus::kPayloadUnreadable;
  if (!IsFullPath(request.folder)) return UninstallStatus::kSomeNotRemoved;  // it would need a current directory
  MemoryArchive archive;
  if (!archive.Open(request.payload, request.payloadBytes)) {
    return archive.IsEmpty() ? UninstallStatus::kRemoved : UninstallStatus::kPayloadUnreadable;
  }
  TargetFolder viewer, plugins;
  bool missing = false;
  if (!viewer.Open(request.folder)) {
    // No viewer folder: nothing of ours is there. One that cannot be opened is.
    return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
               ? UninstallStatus::kRemoved
               : UninstallStatus::kSomeNotRemoved;
  }
  if (!plugins.OpenIn(viewer, kPluginsFolderName, false, &missing)) {
    return missing ? UninstallStatus::kRemoved : UninstallStatus::kSomeNotRemoved;
  }
  CallWatch watch;  // outlives every call it watches
  SetupLock lock;
  switch (lock.Take(plugins, nullptr)) {
    case LockOutcome::kTaken: break;
    case LockOutcome::kTimedOut: return UninstallStatus::kLockTimedOut;
    case LockOutcome::kUnavailable: return UninstallStatus::kLockUnavailable;
  }
  // Removing some files of a release that is in use would break it.
  if (CountFilesInUse(archive.Get(), plugins, InUseFor::kRemoving, request.observer) > 0) {
    return UninstallStatus::kFilesInUse;
  }
  SweepLeftovers(plugins, plugins.Get(), L"", &watch);
  return RemoveAll(archive.Get(), plugins, request.observer, &watch);
}
