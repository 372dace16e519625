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

// ERROR_OPLOCK_BREAK_IN_PROGRESS, which the build's headers lack: another
// opener's oplock was still breaking.
constexpr unsigned long kErrorOplockBreaking = 742;

enum class OpenOutcome {
  kOpened,
  kMissing,  // nothing at the name (FILE_OPEN)
  kTaken,    // something at the name (FILE_CREATE)
  kBusy,     // held by another opener without the sharing asked for, being deleted, its oplock
             // breaking, or the open was cancelled for waiting too long
  kOtherKind,  // a folder where a file was asked for, or a file where a folder was
  kFailed,   // anything else: denied, a name that cannot be
};

// Opens `leaf` (the first `length` characters: one name, no separators) in
// `folder`, for synchronous I/O, into `item`. Otherwise the last error says why.
// It never waits for another program's oplock: while one breaks, the open is
// tried again a few times within a fifth of a second, and then counts as busy.
OpenOutcome OpenInFolder(HANDLE folder, const wchar_t* leaf, size_t length,
                         const RelativeOpen& how, ScopedFileHandle* item);

enum class RenameMode {
  kKeep,          // fails when something is at the name
  kReplace,       // replaces a file there, which fails while it has open handles
  kReplacePosix,  // replaces a file there even while others have it open (Windows 10 1809's
                  // POSIX semantics); fails with ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED
                  // or ERROR_INVALID_PARAMETER where the system or file system lacks them
};

// Renames the open `item` (opened with DELETE) to `leaf` in `folder` in one
// step, as `mode` says: a link at the name is replaced itself, never what it
// leads to. False when that cannot be done (a folder there, a file in use),
// with the last error saying why.
bool RenameInFolder(HANDLE item, HANDLE folder, const wchar_t* leaf, size_t length, RenameMode mode);

// True when `error`, from RenameInFolder with kReplacePosix, says that the
// system or file system has no POSIX renames.
bool LacksPosixRename(unsigned long error);

// Marks the open `item` (opened with DELETE) to be deleted when its last
// handle closes, or takes the mark back. False when that cannot be done.
bool MarkForDeletion(HANDLE item, bool deleted);

// Opens the item that `item` is open on once more, for `access`, sharing as
// `sharing` says, as OpenInFolder opens. False when that cannot be done (the
// access is denied, another opener's sharing refuses it), with the last error
// saying why.
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
bool ReopenItem(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened, ULONG sharing = kShareAll);

// The same, but following a reparse point that `item` was opened on without
// following: only for one that is no link, whose data a filter supplies.
bool ReopenFollowing(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened, ULONG sharing);
