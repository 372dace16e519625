// Keeping the setup's writes where their names say. Another process of the
// user may be able to write below the folder that is unpacked into (a viewer
// folder that a standard user made) or where the log goes, and put a link,
// junction or mount point there that leads elsewhere: nothing is written
// through one.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "framework/scoped.h"
#include "install/archive_rules.h"
#include "text/path_split.h"

// The longest final path of a held folder, and of a name below it.
constexpr size_t kFolderPathChars = 1024;
constexpr size_t kBelowPathChars = kFolderPathChars + kEntryNameChars;

// The folder unpacked into, held open while entries are written below it, with
// where it really lies. The folder chosen is used as it is, through any links
// above it; below it, every name must lie where it says. Names below it are
// made from where it lies, never from the current directory.
class TargetFolder {
 public:
  // Opens the folder at `path`, a full path (the install log alone opens "."
  // on purpose: it belongs in the directory the run started in). False when
  // it cannot be opened or its location read.
  bool Open(const wchar_t* path);

  // True when a name of `length` characters below the folder, written below
  // the path the folder was opened by, fits the 259 characters of a Windows
  // path: what a viewer that knows no longer paths can load.
  bool FitsMaxPath(size_t length) const { return opened_chars_ + length <= kMaxPathChars; }

  // Where the first `length` characters of `name` lie below the folder, as a
  // full path (kBelowPathChars). False when it does not fit.
  bool PathBelow(const wchar_t* name, size_t length, wchar_t path[kBelowPathChars]) const;

  // True when `item`, opened without following a link at its own name, is no
  // reparse point and lies exactly at the first `length` characters of `name`
  // below the folder: nothing on the way is a link. Gives what else is known
  // of it (attributes, number of links).
  bool Holds(HANDLE item, const wchar_t* name, size_t length,
             BY_HANDLE_FILE_INFORMATION* info) const;

  // True when `item` is no reparse point and lies exactly at `path`, a full
  // path made by PathBelow: a file made there did not go through a link.
  bool LiesAt(HANDLE item, const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info) const;

 private:
  ScopedFileHandle folder_;
  wchar_t path_[kFolderPathChars] = {};  // the system's name for the folder
  size_t opened_chars_ = 0;  // the path it was opened by, with a final backslash
};

// The folders of the entries' names (each part of a name that a separator
// ends), made where missing, checked to lie inside the target folder and held
// open without delete sharing while entries below them are written: no other
// process can then rename one of them and put a link in its place. Folders
// stay held until an entry of another folder comes. Each folder newly held is
// swept of the temporary files a killed setup left (SweepLeftovers).
class HeldFolders {
 public:
  // Holds every folder of `name`. False when one of them is not a plain
  // folder where its name says.
  bool Hold(const TargetFolder& target, const wchar_t* name);


 private:
  static constexpr size_t kMostFolders = kEntryNameChars / 2;  // parts are never empty
  ScopedFileHandle held_[kMostFolders];
  size_t ends_[kMostFolders] = {};  // where each held folder's name ends in path_
  size_t count_ = 0;
  wchar_t path_[kEntryNameChars] = {};  // the names of the held folders, one below the other
};

// Deletes the temporary files (SiblingTempName's form) that a setup which was
// killed left in `folder`, a folder's name below the target folder ("" for
// the target folder itself). A running setup holds its own without sharing,
// so only those that nobody holds are opened; and only plain files in place,
// never through a link.
void SweepLeftovers(const TargetFolder& target, const wchar_t* folder);

// True when a file entry may replace what is at `name`: nothing, or a file in
// place below the target folder that is not read-only. Never a folder, and
// never a link: it would have to be written through to install the entry.
bool MayReplace(const TargetFolder& target, const wchar_t* name);
