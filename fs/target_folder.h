// Keeping the setup's writes where their names say. Another process of the
// user, or of another user, may be able to write below the folder that is
// unpacked into (a viewer folder that a standard user made) or where the log
// goes, and put a link, junction or mount point there that leads elsewhere, or
// swap a folder for one while the setup runs: nothing is written through one.
// Every name below a held folder is looked up in that folder's handle, and
// every item opened there is checked to lie where its name says.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include "archive/archive_rules.h"
#include "base/path_split.h"
#include "base/scoped.h"

// The Windows error that tells an item was refused because a link,
// junction or mount point lies at its name or on its way.
constexpr DWORD kErrorThroughLink = ERROR_CANT_ACCESS_FILE;

// The longest final path of a held folder, and of a name below it.
constexpr size_t kFolderPathChars = 1024;
constexpr size_t kBelowPathChars = kFolderPathChars + kEntryNameChars;

// What is known of an item that a folder holds. Only these are asked for: a
// volume's serial number, which GetFileInformationByHandle also fetches,
// costs a trip to the mount manager on Wine.
struct ItemFacts {
  DWORD attributes;
  DWORD links;    // names the file has (hard links)
  uint64_t size;  // bytes, for a file (a reparse point's own, for one opened without following it)
  DWORD reparse_tag;  // for a reparse point that is no link (WOF-compressed, deduplicated,
                      // a cloud placeholder): its tag; 0 otherwise
};

// True for the reparse tags of files whose data a filter of Windows' own
// supplies: WOF-compressed (compact /exe), deduplicated, and cloud files and
// placeholders. Every other tag, a name surrogate (symbolic link, junction,
// mount point) above all, is taken for a link.
bool IsFilteredFileTag(DWORD reparseTag);

// True when an item with `attributes` (and, for a reparse point, `reparseTag`)
// whose final path is `actual` is no link and lies exactly at `expected`:
// names compare as the file system compares them, regardless of case. A
// reparse point counts as a plain item only with `filtered` set and a tag
// IsFilteredFileTag accepts.
bool IsPlainItemAt(DWORD attributes, DWORD reparseTag, bool filtered, const wchar_t* expected,
                   const wchar_t* actual);

// True when GetFinalPathNameByHandleW's `error` for FILE_NAME_NORMALIZED, on
// a remote file, asks for FILE_NAME_OPENED instead: servers older than
// Windows 10 1709, Samba and most NAS boxes do not answer it, and Windows then
// fails on a component it cannot read.
bool NormalizedNameRefused(unsigned long error);

// The final path of the open `item` in the drive-letter form: normalized, or,
// for a file on a share whose server refuses that (NormalizedNameRefused), as
// opened. Its length, or 0 with the last error saying why.
DWORD FinalPathOf(HANDLE item, wchar_t* path, DWORD capacity);

// Opens a file that Holds found to be a filtered file (facts.reparse_tag)
// again, following it this time, so that its data is what the filter supplies
// (decompressed, fetched), and checks that it is the same file; the same
// handle again, in `*data`, for any other file. False when that cannot be done.
bool OpenForData(HANDLE item, const ItemFacts& facts, ACCESS_MASK access, ULONG sharing,
                 ScopedFileHandle* reopened, HANDLE* data);

class CallWatch;

// A folder held open, with where it really lies when it was opened. It is
// held only to look names up in, with attribute access, which takes no part
// in sharing: nobody's sharing keeps the run out, and nothing keeps another
// program from renaming the folder meanwhile. An item opened in it that no
// longer lies below that path is refused (Holds).
class TargetFolder {
 public:
  // Holds the folder at `path`, a full path, as it is: through any links on
  // its way, which are the administrator's choice (also "." for the directory
  // the run started in). False when it cannot be opened or located.
  bool Open(const wchar_t* path);

  // Holds the folder `leaf` that lies directly in `parent`, made there first
  // when missing and `make` is set. False when it is missing or a file is in
  // its place (`*missing`, when given, then says so), or is anything but a
  // plain folder in that place: a
  // link, junction or mount point, wherever it leads, is refused.
  bool OpenIn(const TargetFolder& parent, const wchar_t* leaf, bool make, bool* missing = nullptr);

  HANDLE Get() const { return folder_.Get(); }
  // True while a folder is held.
  bool Held() const { return folder_.IsValid(); }
  // Where it really lies ("\\?\C:\..." or "\\?\UNC\..."), as the system names it.
  const wchar_t* Path() const { return path_; }

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
  // of it. When false, the last error says why (kErrorThroughLink for a link).
  // With `filtered` set, a file whose data a filter supplies (IsFilteredFileTag)
  // counts as plain too: for the plug-ins a run replaces, removes or verifies.
  bool Holds(HANDLE item, const wchar_t* name, size_t length, ItemFacts* facts,
             bool filtered = false) const;


 private:
  ScopedFileHandle folder_;
  wchar_t path_[kFolderPathChars] = {};  // the system's name for the folder
  size_t opened_chars_ = 0;  // the path it was opened by, with a final backslash
};

// The folders of the entries' names (each part of a name that a separator
// ends), made where missing, each looked up in the folder held before it,
// checked to lie inside the target folder, and held open while entries below
// them are written. Folders stay held until an entry of another folder comes.
// Each folder newly held is swept of the temporary files a killed setup left
// (SweepLeftovers).
class HeldFolders {
 public:
  // With `sweep` false, no folder is swept: only looked in. The sweeps' calls
  // are bounded by `watch` (may be null).
  explicit HeldFolders(bool sweep = true, CallWatch* watch = nullptr) : sweep_(sweep), watch_(watch) {}

  // Holds every folder of `name`, made where missing unless `make` is false.
  // False when one of them is missing or a file is in its place (`*missing`,
  // when given, then says so) or is not a plain folder where its name says.
  bool Hold(const TargetFolder& target, const wchar_t* name, bool make = true,
            bool* missing = nullptr);

  // True when the folders of `name` are exactly those held now: holding it
  // makes no folder and lets none go.
  bool HoldsFolderOf(const wchar_t* name) const;

  // The folder that holds the last name held: the innermost held folder, or
  // the target folder itself.
  HANDLE Innermost(const TargetFolder& target) const;

 private:
  static constexpr size_t kMostFolders = kEntryNameChars / 2;  // parts are never empty
  // How many of the folders held now begin `name`.
  size_t KeptFor(const wchar_t* name) const;

  ScopedFileHandle held_[kMostFolders];
  size_t ends_[kMostFolders] = {};  // where each held folder's name ends in path_
  size_t count_ = 0;
  bool sweep_;
  CallWatch* watch_;
  wchar_t path_[kEntryNameChars] = {};  // the names of the held folders, one below the other
};

// Clears up what a setup that was killed left in `folder`, held open, which
// lies at `name` below the target folder ("" for the target folder itself):
// deletes its temporary files (SiblingTempName's form), and puts each plug-in
// it had moved aside (AsideLeaf's form) back at its name, or deletes it where
// something has that name again. A running setup holds its own without sharing,
// so only those that nobody holds are opened; and only plain files in place,
// never through a link. Its renames and deletes are bounded by `watch` (may
// be null), and once the watch is exhausted it stops.
void SweepLeftovers(const TargetFolder& target, HANDLE folder, const wchar_t* name,
                    CallWatch* watch = nullptr);

// Calls `visit` with the name of each file (no folder) in the open
// `folder`, listed through a handle of its own. False when it could not be
// listed to its end.
bool ForEachFileLeaf(HANDLE folder, void (*visit)(const wchar_t* leaf, void* context), void* context);
template <typename Visit>
bool ForEachFileIn(HANDLE folder, const Visit& visit) {
  return ForEachFileLeaf(
      folder, [](const wchar_t* leaf, void* context) { (*static_cast<const Visit*>(context))(leaf); },
      const_cast<Visit*>(&visit));
}

// True when another program holds the open `folder` so that no file in it can
// be renamed: a rename opens the folder for writing, sharing read and write,
// and a holder that shares less (or whose oplock is breaking) refuses it.
// False also when that access is only denied: the run reports that itself.
bool RenamesRefusedIn(HANDLE folder);

// True when a listing of the open `folder` shows something in it; false when
// it is empty or cannot be listed.
bool FolderListsSomething(HANDLE folder);

// True when a file entry may replace what is at `leaf` in `folder`, which lies
// at the folder part of `name` below the target: nothing, or a file in place
// that is not read-only. Never a folder, and never a link: it would have to be
// written through to install the entry. When false, the last error says why.
bool MayReplace(const TargetFolder& target, HANDLE folder, const wchar_t* name,
                const wchar_t* leaf);

// The last part of an entry's name: what follows its last separator.
const wchar_t* LeafOf(const wchar_t* name);
