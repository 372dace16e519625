#include "install/uninstall.h"

#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "archive/archive_rules.h"
#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/call_watch.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"
#include "install/apps_entry.h"
#include "install/engine.h"
#include "install/in_use.h"
#include "install/install_record.h"
#include "install/removal.h"
#include "install/setup_lock.h"

namespace {

// Removes each file that `each` hands to its `remove(name, check)` while it
// passes the check (a null check: a folder entry, nothing to remove but its
// folder), then the folders of every name handed, deepest first, that are
// empty then. `each` returns false when its names cannot be read; `remove`
// returns false when the run is out of memory.
template <typename Each>
UninstallStatus RemoveEach(const TargetFolder& plugins, FileDigester* digester, UninstallObserver* observer,
                           CallWatch* watch, Each each) {
  ScopedMalloc buffer(malloc(kEntryReadBytes));
  if (!buffer) return UninstallStatus::kSomeNotRemoved;  // nothing could be checked
  bool not_removed = false, out_of_memory = false;
  HeldFolders folders(true, watch);
  FolderList folder_list;
  auto remove = [&](const wchar_t* name, const FileCheck* check) {
    if (!folder_list.AddFoldersOf(name)) return !(out_of_memory = true);
    if (check != nullptr) {
      not_removed |= RemoveFileAndTell(plugins, &folders, name, *check, static_cast<unsigned char*>(buffer.Get()),
                                       digester, watch, observer) == Removal::kNotRemoved;
    }
    return true;
  };
  if (!each(remove)) return UninstallStatus::kPayloadUnreadable;
  if (out_of_memory) return UninstallStatus::kSomeNotRemoved;
  folder_list.SortDeepestFirst();
  not_removed |= !RemoveEmptiedFolders(plugins, &folders, folder_list, nullptr, watch, observer);
  return not_removed ? UninstallStatus::kSomeNotRemoved : UninstallStatus::kRemoved;
}

// The payload's files, each while it has its entry's size and CRC-32.
UninstallStatus RemoveAll(unzFile archive, const TargetFolder& plugins, UninstallObserver* observer,
                          CallWatch* watch) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return UninstallStatus::kPayloadUnreadable;
  return RemoveEach(plugins, nullptr, observer, watch, [&](auto remove) {
    for (uint64_t i = 0; i < global.number_entry; ++i) {
      unz_file_info64 info;
      wchar_t name[kEntryNameChars];
      if (!ReadPlainEntryAt(archive, i, &info, name)) return false;
      const FileCheck check = {info.uncompressed_size, static_cast<uint32_t>(info.crc), nullptr};
      if (!remove(name, IsEntrySeparator(name[wcslen(name) - 1]) ? nullptr : &check)) break;
    }
    return true;
  });
}

// The files `record` names, each while it has its recorded size and SHA-256.
UninstallStatus RemoveRecorded(const InstallRecord& record, const TargetFolder& plugins,
                               UninstallObserver* observer, CallWatch* watch) {
  FileDigester digester;
  if (!digester.Open()) return UninstallStatus::kSomeNotRemoved;  // nothing could be checked
  return RemoveEach(plugins, &digester, observer, watch, [&](auto remove) {
    for (size_t i = 0; i < record.Count(); ++i) {
      const RecordedFile& file = record.At(i);
      const FileCheck check = {file.size, file.crc, file.sha256};
      if (!remove(file.name, &check)) break;
    }
    return true;
  });
}

// After every file the record of this Plugins folder names is gone: the
// entry first, for while it stays, so does the record that a later run
// removes it by; then the record.
UninstallStatus ForgetRecord(const TargetFolder& recordFolder, const UninstallRequest& request) {
  RecordProblem problem = RecordProblem::kEntryNotRemoved;
  if (RemoveEntry(recordFolder, CurrentRunAccount(), request.setup)) {
    if (DeleteRecord(recordFolder)) return UninstallStatus::kRemoved;
    problem = RecordProblem::kNotDeleted;
  }
  if (request.observer != nullptr) request.observer->OnRecordProblem(request.recordFolder, problem, GetLastError());
  return UninstallStatus::kSomeNotRemoved;
}

// Without a record of the Plugins folder `plugins` (its full path as
// programs name it), after its files went: an entry of that folder (an
// earlier release's record of it lost, or removed by a release before the
// entry) goes too, and its copies with it where `recordFolder` is held,
// which it is only when trusted and locked.
UninstallStatus ForgetEntryOf(const wchar_t* plugins, const TargetFolder& recordFolder,
                              const UninstallRequest& request) {
  if (request.recordFolder == nullptr || RemoveEntryOf(plugins, recordFolder, CurrentRunAccount(), request.setup)) {
    return UninstallStatus::kRemoved;
  }
  if (request.observer != nullptr) {
    request.observer->OnRecordProblem(request.recordFolder, RecordProblem::kEntryNotRemoved, GetLastError());
  }
  return UninstallStatus::kSomeNotRemoved;
}

// A viewer or Plugins folder that is gone holds nothing of ours, and a
// record of it (named as the entry's commands name it) no longer says what
// is installed: it goes, with the entry, so that Apps & features no longer
// lists the package. `viewer` is held when only Plugins is missing: its
// final path names the folder then, as the record does.
UninstallStatus ForgetMissing(const UninstallRequest& request, const TargetFolder& viewer) {
  wchar_t plugins[kFolderPathChars];
  if (request.recordFolder == nullptr ||
      !PlainPathForm(viewer.Held() ? viewer.Path() : request.folder, plugins, kFolderPathChars) ||
      !AppendBackslashIfMissing(plugins, kFolderPathChars) ||
      !AppendText(plugins, kFolderPathChars, kPluginsFolderName)) {
    return UninstallStatus::kRemoved;
  }
  TargetFolder folder, unused;
  SetupLock lock;
  InstallRecord record;
  if (OpenRecordFolder(request.recordFolder, CurrentRunAccount(), false, &folder) != RecordFolderOpen::kOpened) {
    return ForgetEntryOf(plugins, unused, request);  // untrusted or missing: nothing in it is touched
  }
  switch (lock.Take(folder, nullptr)) {
    case LockOutcome::kTaken: break;
    case LockOutcome::kTimedOut: return UninstallStatus::kLockTimedOut;
    case LockOutcome::kUnavailable: return ForgetEntryOf(plugins, unused, request);
  }
  if (record.Read(folder) == RecordRead::kRead &&
      CompareStringOrdinal(record.Plugins(), -1, plugins, -1, TRUE) == CSTR_EQUAL) {
    return ForgetRecord(folder, request);
  }
  return ForgetEntryOf(plugins, folder, request);
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
               ? ForgetMissing(request, viewer)
               : UninstallStatus::kSomeNotRemoved;
  }
  if (!plugins.OpenIn(viewer, kPluginsFolderName, false, &missing)) {
    return missing ? ForgetMissing(request, viewer) : UninstallStatus::kSomeNotRemoved;
  }
  CallWatch watch;  // outlives every call it watches
  SetupLock lock;
  switch (lock.Take(plugins, nullptr)) {
    case LockOutcome::kTaken: break;
    case LockOutcome::kTimedOut: return UninstallStatus::kLockTimedOut;
    case LockOutcome::kUnavailable: return UninstallStatus::kLockUnavailable;
  }
  // What the record of this folder names is ours, whichever release put it
  // there; without one, what this payload holds.
  TargetFolder record_folder;
  SetupLock record_lock;
  InstallRecord record;
  const RecordFound found = ReadRecordOf(request.recordFolder, CurrentRunAccount(), plugins, false, &record_folder,
                                         &record_lock, &record, request.observer);
  if (found == RecordFound::kTimedOut) return UninstallStatus::kLockTimedOut;
  const bool by_record = found == RecordFound::kThisFolder;
  // Removing some files of a release that is in use would break it.
  if ((by_record ? CountRecordedInUse(record, nullptr, plugins, request.observer)
                 : CountFilesInUse(archive.Get(), plugins, InUseFor::kRemoving, request.observer)) > 0) {
    return UninstallStatus::kFilesInUse;
  }
  SweepLeftovers(plugins, plugins.Get(), L"", &watch);
  if (!by_record) {
    const UninstallStatus status = RemoveAll(archive.Get(), plugins, request.observer, &watch);
    wchar_t plain[kFolderPathChars];
    if (status != UninstallStatus::kRemoved || !PlainPathForm(plugins.Path(), plain, kFolderPathChars)) return status;
    // The record's folder only where it was trusted and locked (no record, a
    // damaged one, or another folder's).
    const bool held = found == RecordFound::kNone || found == RecordFound::kDamaged ||
                      found == RecordFound::kOtherFolder;
    TargetFolder unused;
    return ForgetEntryOf(plain, held ? record_folder : unused, request);
  }
  const UninstallStatus status = RemoveRecorded(record, plugins, request.observer, &watch);
  // A record of files that are still there stays, for a later run to finish by.
  return status == UninstallStatus::kRemoved ? ForgetRecord(record_folder, request) : status;
}
