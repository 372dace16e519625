#include "install/record_keeping.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "install/apps_entry.h"
#include "install/file_digest.h"
#include "install/in_use.h"
#include "install/removal.h"

namespace {

// Calls `each(name, info)` for every entry of the open `payload`; false when
// an entry cannot be read (installing has refused such a payload already).
template <typename Each>
bool ForEachEntry(unzFile payload, Each each) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(payload, &global) != UNZ_OK) return false;
  for (uint64_t i = 0; i < global.number_entry; ++i) {
    unz_file_info64 info;
    wchar_t name[kEntryNameChars];
    if (!ReadPlainEntryAt(payload, i, &info, name)) return false;
    each(name, info);
  }
  return true;
}

}  // namespace

RecordKeeping::Start RecordKeeping::Read(unzFile payload) {
  found_ = ReadRecordOf(record_folder_, account_, plugins_, true, &folder_, &lock_, &earlier_, observer_);
  if (found_ == RecordFound::kTimedOut) return Start::kTimedOut;
  if (found_ != RecordFound::kThisFolder || earlier_.Count() == 0) return Start::kReady;
  const size_t count = earlier_.Count();
  dropped_.Reset(calloc(count, sizeof(bool)));
  kept_.Reset(calloc(count, sizeof(bool)));
  // Without them, the record would lose the lines of files still there.
  if (!dropped_ || !kept_) return Start::kOutOfMemory;
  bool* dropped = static_cast<bool*>(dropped_.Get());
  for (size_t i = 0; i < count; ++i) dropped[i] = true;
  const bool listed = ForEachEntry(payload, [&](const wchar_t* name, const unz_file_info64&) {
    (void)payload_folders_.AddFoldersOf(name);  // a folder missing from it may only be removed and made again
    if (IsEntrySeparator(name[wcslen(name) - 1])) return;
    for (size_t i = 0; i < count; ++i) {
      if (dropped[i] && SameItemName(earlier_.At(i).name, name)) dropped[i] = false;
    }
  });
  if (!listed) {
    // Unpacking refuses such a payload: the record stays as it is.
    found_ = RecordFound::kKept;
    dropped_.Reset();
    kept_.Reset();
    return Start::kReady;
  }
  // Recorded until they are gone.
  memcpy(kept_.Get(), dropped, count * sizeof(bool));
  return Start::kReady;
}

bool RecordKeeping::KeepsRecord() const {
  return record_folder_ != nullptr && found_ != RecordFound::kKept && found_ != RecordFound::kTimedOut;
}

size_t RecordKeeping::CountDroppedInUse() const {
  if (!dropped_) return 0;
  return CountRecordedInUse(earlier_, static_cast<const bool*>(dropped_.Get()), plugins_, observer_);
}

bool RecordKeeping::RemoveDropped(CallWatch* watch) {
  if (!dropped_) return true;
  const bool* dropped = static_cast<const bool*>(dropped_.Get());
  bool* kept = static_cast<bool*>(kept_.Get());
  ScopedMalloc buffer(malloc(kEntryReadBytes));
  FileDigester digester;
  const bool can_check = buffer && digester.Open();
  bool removed = true;
  HeldFolders folders(true, watch);
  FolderList emptied;
  for (size_t i = 0; i < earlier_.Count(); ++i) {
    if (!dropped[i]) continue;
    const RecordedFile& file = earlier_.At(i);
    const FileCheck check = {file.size, file.crc, file.sha256};
    const Removal removal = can_check ? RemoveFileAndTell(plugins_, &folders, file.name, check,
                                                          static_cast<unsigned char*>(buffer.Get()), &digester,
                                                          watch, observer_)
                                      : Removal::kNotRemoved;
    if (!can_check && observer_ != nullptr) observer_->OnNotRemoved(file.name, ERROR_NOT_ENOUGH_MEMORY);
    kept[i] = removal == Removal::kNotRemoved;  // a changed one is the user's now
    removed = removed && !kept[i];
    if (removal == Removal::kGone) removed = emptied.AddFoldersOf(file.name) && removed;
  }
  // Only the folders the payload does not use: the new release's files lie in the others.
  emptied.SortDeepestFirst();
  return RemoveEmptiedFolders(plugins_, &folders, emptied, &payload_folders_, watch, observer_) && removed;
}

void RecordKeeping::Write(unzFile payload, const wchar_t* package, const InstallRecord& installed) {
  if (!KeepsRecord()) return;
  InstallRecord next;
  bool made = next.SetPackage(package) && next.SetPlugins(plugins_);
  // Only a file that took no digest as it was written is read back: these are had for it.
  ScopedMalloc buffer;
  FileDigester digester;
  auto can_read_back = [&]() {
    if (!buffer) buffer.Reset(malloc(kEntryReadBytes));
    return buffer && (digester.Ready() || digester.Open());
  };
  const bool earlier = found_ == RecordFound::kThisFolder;
  // What took its name in this run, as it was written.
  for (size_t i = 0; made && i < installed.Count(); ++i) made = next.AddFile(installed.At(i));
  HeldFolders folders(false);
  size_t next_installed = 0;  // files take their names in the payload's order
  const bool listed = ForEachEntry(payload, [&](const wchar_t* name, const unz_file_info64& info) {
    if (!made || IsEntrySeparator(name[wcslen(name) - 1])) return;
    if (next_installed < installed.Count() && SameItemName(installed.At(next_installed).name, name)) {
      ++next_installed;
      return;
    }
    if (installed.Find(name) != nullptr) return;
    ScopedFileHandle item, reopened;
    HANDLE data = nullptr;
    RecordedFile file;
    FileDigest digest;
    if (can_read_back() && OpenOursForReading(plugins_, &folders, name, &item, &reopened, &data) &&
        digester.Digest(data, static_cast<unsigned char*>(buffer.Get()), kEntryReadBytes, &digest) &&
        digest.size == info.uncompressed_size && digest.crc == static_cast<uint32_t>(info.crc) &&
        wcslen(name) < kEntryNameChars) {
      wmemcpy(file.name, name, wcslen(name) + 1);
      file.size = digest.size;
      file.crc = digest.crc;
      memcpy(file.sha256, digest.sha256, sizeof file.sha256);
      made = next.AddFile(file);
      return;
    }
    // Not replaced: what was there before is still ours, as recorded.
    const RecordedFile* before = earlier ? earlier_.Find(name) : nullptr;
    if (before != nullptr) made = next.AddFile(*before);
  });
  // A payload that cannot be listed whole ended the run at the entry it
  // could not read: every other file is as the earlier record says.
  for (size_t i = 0; made && !listed && earlier && i < earlier_.Count(); ++i) made = next.AddFile(earlier_.At(i));
  const bool* kept = static_cast<const bool*>(kept_.Get());
  for (size_t i = 0; made && kept != nullptr && i < earlier_.Count(); ++i) {
    if (kept[i]) made = next.AddFile(earlier_.At(i));
  }
  if (!made) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  if (!folder_.Held()) {
    SetLastError(ERROR_PATH_NOT_FOUND);  // it could not be made
    made = false;
  }
  if (!made || !next.Write(folder_)) {
    const DWORD error = GetLastError();
    if (observer_ != nullptr) observer_->OnRecordProblem(record_folder_, RecordProblem::kNotWritten, error);
    // Files of this run are missing from it: /uninstall goes by the payload
    // instead, and the entry that would run it by the record goes too.
    if (earlier && !DeleteRecord(folder_)) {
      if (observer_ != nullptr) observer_->OnRecordProblem(record_folder_, RecordProblem::kNotDeleted, GetLastError());
    } else if (earlier && !RemoveEntry(folder_, account_, setup_) && observer_ != nullptr) {
      observer_->OnRecordProblem(record_folder_, RecordProblem::kEntryNotRemoved, GetLastError());
    }
    return;
  }
  if (found_ == RecordFound::kOtherFolder && observer_ != nullptr) observer_->OnRecordMoved(earlier_.Plugins());
  if (setup_ == nullptr) return;
  uint64_t bytes = 0;
  for (size_t i = 0; i < next.Count(); ++i) bytes += next.At(i).size;
  if (!KeepEntry(folder_, account_, setup_, {package, next.Plugins(), bytes}) && observer_ != nullptr) {
    observer_->OnRecordProblem(record_folder_, RecordProblem::kEntryNotWritten, GetLastError());
  }
}
