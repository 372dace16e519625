// A new file that replaces whatever is at a name in one step, once it is whole.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "framework/scoped.h"
#include "install/target_folder.h"

// Created exclusively beside its destination and held without sharing, so no
// other process can open, replace or rename it while it is written. Deleted on
// every path that does not put it in place.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file new in the folder of `path`, a full path (never through
  // anything already at its name), with `access` besides DELETE and
  // CreateFileW's `flags`. Its name takes the next of the caller's `*serial`
  // numbers. False when it cannot be created there.
  bool Create(const wchar_t* path, DWORD access, DWORD flags, uint32_t* serial);

  HANDLE Get() const { return file_.Get(); }
  // The full path it was created at.
  const wchar_t* TempPath() const { return temp_; }

  // Renames the file to `path`, a full path, in one step, replacing what is
  // there: a file, or a link or hard link itself, never what a link leads to.
  // False when that cannot be done (a folder there, or a file in use): it then
  // stays as it was.
  bool PutInPlace(const wchar_t* path);

 private:
  ScopedFileHandle file_;
  bool placed_ = false;
  wchar_t temp_[kBelowPathChars] = {};
};
