#include "install/removal.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "fs/relative_file.h"

namespace {

size_t Depth(const wchar_t* name) {
  size_t separators = 0;
  for (; *name != 0; ++name) separators += IsEntrySeparator(*name) ? 1 : 0;
  return separators;
}

}  // namespace

Removal RemoveFile(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                   const FileCheck& check, unsigned char* buffer, FileDigester* digester,
                   CallWatch* watch) {
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
  if (static_cast<uint64_t>(size.QuadPart) != check.size) return Removal::kChanged;
  if (check.sha256 == nullptr) {
    if (!FileHoldsEntry(data, check.size, check.crc, buffer)) return Removal::kChanged;
  } else {
    FileDigest digest;
    if (digester == nullptr || !digester->Digest(data, buffer, kEntryReadBytes, &digest)) return Removal::kNotRemoved;
    if (digest.size != check.size || memcmp(digest.sha256, check.sha256, sizeof digest.sha256) != 0) {
      return Removal::kChanged;
    }
  }
  reopened.Reset();
  if (watch->Exhausted()) {
    SetLastError(ERROR_OPERATION_ABORTED);  // the run has waited long enough on others
    return Removal::kNotRemoved;
  }
  WatchedCall call(watch);  // the delete waits while a holder's oplock breaks
  return MarkForDeletion(file.Get(), true) ? Removal::kGone : Removal::kNotRemoved;
}

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

Removal RemoveFileAndTell(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                          const FileCheck& check, unsigned char* buffer, FileDigester* digester,
                          CallWatch* watch, RemovalObserver* observer) {
  const Removal removal = RemoveFile(plugins, folders, name, check, buffer, digester, watch);
  if (observer == nullptr) return removal;
  if (removal == Removal::kChanged) observer->OnKeptChanged(name);
  if (removal == Removal::kNotRemoved) observer->OnNotRemoved(name, GetLastError());
  return removal;
}

bool RemoveEmptiedFolders(const TargetFolder& plugins, HeldFolders* folders, const FolderList& list,
                          const FolderList* spared, CallWatch* watch, RemovalObserver* observer) {
  bool removed = true;
  for (size_t k = 0; k < list.Count(); ++k) {
    if (spared != nullptr && spared->Contains(list.At(k))) continue;
    switch (RemoveFolderIfEmpty(plugins, folders, list.At(k), watch)) {
      case FolderRemoval::kDone: break;
      case FolderRemoval::kKeptInUse:
        if (observer != nullptr) observer->OnKeptInUse(list.At(k));
        break;
      case FolderRemoval::kFailed:
        if (observer != nullptr) observer->OnNotRemoved(list.At(k), GetLastError());
        removed = false;
        break;
    }
  }
  return removed;
}

FolderList::~FolderList() { free(names_); }

bool FolderList::AddFoldersOf(const wchar_t* name) {
  for (size_t at = 0; name[at] != 0; ++at) {
    if (!IsEntrySeparator(name[at])) continue;
    bool seen = false;
    for (size_t k = 0; k < count_ && !seen; ++k) seen = wcsncmp(names_[k], name, at) == 0 && names_[k][at] == 0;
    if (seen) continue;
    if (count_ == room_) {
      const size_t room = room_ == 0 ? 16 : room_ * 2;
      void* grown = realloc(names_, room * sizeof *names_);
      if (grown == nullptr) return false;
      names_ = static_cast<wchar_t(*)[kEntryNameChars]>(grown);
      room_ = room;
    }
    wmemcpy(names_[count_], name, at);
    names_[count_++][at] = 0;
  }
  return true;
}

bool FolderList::Contains(const wchar_t* folder) const {
  for (size_t k = 0; k < count_; ++k) {
    if (SameItemName(names_[k], folder)) return true;
  }
  return false;
}

void FolderList::SortDeepestFirst() {
  if (count_ == 0) return;
  qsort(names_, count_, sizeof *names_, [](const void* a, const void* b) {
    const size_t da = Depth(static_cast<const wchar_t*>(a));
    const size_t db = Depth(static_cast<const wchar_t*>(b));
    return da == db ? 0 : da > db ? -1 : 1;
  });
}

bool OpenOursForReading(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                        ScopedFileHandle* item, ScopedFileHandle* reopened, HANDLE* data) {
  if (!folders->Hold(plugins, name, false)) return false;
  const wchar_t* leaf = LeafOf(name);
  constexpr RelativeOpen kRead = {FILE_GENERIC_READ, kShareAll, FILE_OPEN,
                                  FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, 0, nullptr};
  ItemFacts found;
  return OpenInFolder(folders->Innermost(plugins), leaf, wcslen(leaf), kRead, item) == OpenOutcome::kOpened &&
         plugins.Holds(item->Get(), name, wcslen(name), &found, true) &&
         OpenForData(item->Get(), found, FILE_GENERIC_READ, kShareAll, reopened, data);
}

bool SameItemName(const wchar_t* a, const wchar_t* b) {
  wchar_t left[kEntryNameChars], right[kEntryNameChars];
  const size_t la = wcslen(a), lb = wcslen(b);
  if (la != lb || la >= kEntryNameChars) return false;
  for (size_t i = 0; i <= la; ++i) {
    left[i] = IsEntrySeparator(a[i]) ? L'\\' : a[i];
    right[i] = IsEntrySeparator(b[i]) ? L'\\' : b[i];
  }
  return CompareStringOrdinal(left, static_cast<int>(la), right, static_cast<int>(lb), TRUE) == CSTR_EQUAL;
}
