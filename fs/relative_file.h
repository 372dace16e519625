// Names looked up in a folder that is already held open, never again by a
// path: what is found is what lies in that folder now, wherever its path has
// come to lead. The item's own name is never followed when it is a link.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "base/scoped.h"

// How an item is opened: NtCreateFile's access, sharing, disposition (FILE_OPEN,
// FILE_CREATE, FILE_OPEN_IF), options (FILE_DIRECTORY_FILE,
// FILE_NON_DIRECTORY_FILE) and, for a new item, attributes and security (null
// inherits the folder's).
struct RelativeOpen {
  ACCESS_MASK access;
  ULONG sharing;
  ULONG disposition;
  ULONG options;
  ULONG attributes;
  void* security;
};

enum class OpenOutcome {
  kOpened,
  kMissing,  // nothing at the name (FILE_OPEN)
  kTaken,    // something at the name (FILE_CREATE)
  kBusy,     // held by another opener without the sharing asked for, or being deleted
  kOtherKind,  // a folder where a file was asked for, or a file where a folder was
  kFailed,   // anything else: denied, a name that cannot be
};

// Opens `leaf` (the first `length` characters: one name, no separators) in
// `folder`, for synchronous I/O, into `item`. Otherwise the last error says why.
OpenOutcome OpenInFolder(HANDLE folder, const wchar_t* leaf, size_t length,
                         const RelativeOpen& how, ScopedFileHandle* item);

// Renames the open `item` (opened with DELETE) to `leaf` in `folder` in one
// step, replacing a file there: a link there is replaced itself, never what it
// leads to. False when that cannot be done (a folder there, a file in use),
// with the last error saying why.
bool RenameInFolder(HANDLE item, HANDLE folder, const wchar_t* leaf, size_t length);

// Marks the open `item` (opened with DELETE) to be deleted when its last
// handle closes, or takes the mark back. False when that cannot be done.
bool MarkForDeletion(HANDLE item, bool deleted);

// Opens the item that `item` is open on once more, for `access` (which
// takes no part in sharing, such as READ_CONTROL), sharing everything.
// False when that access is not granted, with the last error saying why.
bool ReopenItem(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened);
