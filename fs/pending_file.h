// A new file that replaces whatever is at a name once it is whole and on the
// disk: in one rename, or with the old file moved aside first.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "archive/archive_rules.h"
#include "base/scoped.h"
#include "fs/replace_order.h"

class CallWatch;

// The order for the volume that `folder` (open) lies on; kAside when the
// volume's attributes cannot be read.
ReplaceOrder ReplaceOrderOn(HANDLE folder);

// Created exclusively beside its destination, in a folder held open, and held
// without sharing, so no other process can open, replace or rename it while it
// is written. Marked for deletion until it is put in place: a setup that fails
// or is killed leaves nothing of it.
class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file new in `folder`, where the entry `name` (a name below
  // the target folder) goes, with `access` besides DELETE. Its name takes the
  // next of the caller's `*serial` numbers. False when it cannot be created
  // there, or cannot be marked for deletion.
  bool Create(HANDLE folder, const wchar_t* name, DWORD access, uint32_t* serial);

  HANDLE Get() const { return file_.Get(); }
  // Lets go of the file: put in place, it stays; otherwise it is deleted.
  void Close() { file_.Reset(); }
  // Its name below the target folder, as the entry's is given.
  const wchar_t* TempName() const { return temp_; }

  // Writes its data through to the disk: a power loss after it has its name
  // then leaves the new file, never a name with lost data. False when the disk
  // refuses (a full disk can tell only now), with the last error saying why.
  bool Flush();

  // Renames the file to `leaf` in its folder, replacing what is there in the
  // `order` given: a file, or a link or hard link itself, never what a link
  // leads to. Where the system lacks POSIX renames, kPosix falls back to
  // kAside; an old file whose aside name would be too long is replaced
  // directly. Each rename and delete is bounded by `watch` (may be null),
  // except the one that gives the old file its name back. False when that
  // cannot be done (a folder there, a file in use), with the last error
  // saying why: the new file then stays marked for deletion, and the old one
  // has its name again.
  bool PutInPlace(const wchar_t* leaf, ReplaceOrder order, CallWatch* watch = nullptr);

 private:
  bool PutInPlaceAside(const wchar_t* leaf, size_t length, CallWatch* watch);

  HANDLE folder_ = nullptr;  // held by the caller
  ScopedFileHandle file_;
  uint32_t serial_ = 0;  // the number its temporary name took, which its old file's aside name takes too
  wchar_t temp_[kEntryNameChars] = {};
};
