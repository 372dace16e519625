// Removing files and folders of ours from a Plugins folder: a file only
// while it still holds what we put there, a folder only once it is empty.
// For /uninstall, and for an update's files that a release no longer carries.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "archive/archive_rules.h"
#include "fs/call_watch.h"
#include "fs/target_folder.h"
#include "install/file_digest.h"
#include "install/install_observer.h"

// What a file must still hold to be removed: its size and CRC-32 (a payload
// entry's), or its size and SHA-256 (the record's).
struct FileCheck {
  uint64_t size;
  uint32_t crc;
  const unsigned char* sha256;  // 32 bytes; null: the CRC-32 is checked
};

enum class Removal {
  kGone,
  kAbsent,      // nothing, or a folder, at its name
  kChanged,     // it holds something else: it stays
  kNotRemoved,  // in use, denied, behind a link, or the run has waited long enough (last error)
};

// Removes the file `name` below `plugins` when it still passes `check`. It is
// read and removed through one handle opened without write sharing (a
// filtered file is read through a second one that follows it, while the
// first stays open): nobody can change it in between. `buffer` has
// kEntryReadBytes; `digester` (opened) takes a SHA-256, and may be null
// for a check without one; the delete is bounded by `watch`.
Removal RemoveFile(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                   const FileCheck& check, unsigned char* buffer, FileDigester* digester,
                   CallWatch* watch);

// RemoveFile, telling `observer` (may be null) of a file kept changed or not
// removed. Returns RemoveFile's answer.
Removal RemoveFileAndTell(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                          const FileCheck& check, unsigned char* buffer, FileDigester* digester,
                          CallWatch* watch, RemovalObserver* observer);

enum class FolderRemoval {
  kDone,       // gone, missing, or still holding something (it stays, as it should)
  kKeptInUse,  // empty, but another program keeps it from being deleted
  kFailed,     // it could not be looked at or deleted (last error)
};
// Removes the folder `name` (no final separator) below `plugins` when it is empty.
FolderRemoval RemoveFolderIfEmpty(const TargetFolder& plugins, HeldFolders* folders,
                                  const wchar_t* name, CallWatch* watch);

// The folders of a set of names below Plugins (every part that a separator
// ends), each once, for removing deepest first.
class FolderList {
 public:
  FolderList() = default;
  FolderList(const FolderList&) = delete;
  FolderList& operator=(const FolderList&) = delete;
  ~FolderList();

  // Adds each folder of `name` not there yet (names compare exactly). False
  // when out of memory.
  bool AddFoldersOf(const wchar_t* name);
  // True when `folder` (no final separator) is one of them, regardless of
  // case and of which separators either uses.
  bool Contains(const wchar_t* folder) const;
  // Orders them deepest first.
  void SortDeepestFirst();
  size_t Count() const { return count_; }
  const wchar_t* At(size_t i) const { return names_[i]; }

 private:
  wchar_t (*names_)[kEntryNameChars] = nullptr;
  size_t count_ = 0, room_ = 0;
};

// Removes each folder of `list` (sorted deepest first) that is empty and not
// one of `spared` (may be null), telling `observer` (may be null) of each
// kept in use or not removed. False when one could not be removed.
bool RemoveEmptiedFolders(const TargetFolder& plugins, HeldFolders* folders, const FolderList& list,
                          const FolderList* spared, CallWatch* watch, RemovalObserver* observer);

// Opens the file `name` below `plugins` (its folders held in `folders`,
// none made) for reading, sharing everything, as it lies there: no link on
// the way or at its name. `*data` is what to read: `*item`, or for a file
// whose data a filter supplies, `*reopened`, which follows it. False when it
// is no plain file where its name says, or cannot be opened.
bool OpenOursForReading(const TargetFolder& plugins, HeldFolders* folders, const wchar_t* name,
                        ScopedFileHandle* item, ScopedFileHandle* reopened, HANDLE* data);

// True when two names below Plugins name the same item: regardless of case,
// as the file system compares them, and of which separators they use.
bool SameItemName(const wchar_t* a, const wchar_t* b);
