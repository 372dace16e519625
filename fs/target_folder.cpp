#include "fs/target_folder.h"

#include <wchar.h>

#include "archive/entry_name.h"
#include "base/text.h"
#include "fs/call_watch.h"
#include "fs/relative_file.h"
#include "fs/temp_name.h"

namespace {

// Folders are held for looking names up in only: attribute access takes no
// part in sharing, so no other program's handle on a folder keeps a run out
// of it, and the run's handles keep nobody else from anything. That includes
// renaming a held folder: what keeps every write in its place is the check
// of each item's final path after it is opened (TargetFolder::Holds).
constexpr DWORD kFolderAccess = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kHoldSharing = kShareAll;
// The drive-letter form (\\?\C:\..., \\?\UNC\...): Wine names some drives only so.
constexpr DWORD kPathForm = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;

constexpr RelativeOpen kHoldFolder = {kFolderAccess, kHoldSharing, FILE_OPEN, FILE_DIRECTORY_FILE,
                                      FILE_ATTRIBUTE_NORMAL, nullptr};
constexpr RelativeOpen kMakeFolder = {kFolderAccess, kHoldSharing, FILE_OPEN_IF,
                                      FILE_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, nullptr};

// `leaf` in the folder `name` below the target, or alone for the target itself ("").
bool NameIn(const wchar_t* name, const wchar_t* leaf, wchar_t full[kEntryNameChars]) {
  if (name[0] == 0) return CopyText(full, kEntryNameChars, leaf);
  return EntryPathBelow(name, leaf, wcslen(leaf), full, kEntryNameChars);
}

}  // namespace

bool IsFilteredFileTag(DWORD reparseTag) {
  constexpr DWORD kWof = 0x80000017;           // IO_REPARSE_TAG_WOF
  constexpr DWORD kCloud = 0x9000001A;         // IO_REPARSE_TAG_CLOUD, and its _1 to _F
  constexpr DWORD kCloudFlags = 0x0000F000;
  if (IsReparseTagNameSurrogate(reparseTag)) return false;
  return reparseTag == kWof || reparseTag == IO_REPARSE_TAG_DEDUP ||
         (reparseTag & ~kCloudFlags) == kCloud;
}

bool IsPlainItemAt(DWORD attributes, DWORD reparseTag, bool filtered, const wchar_t* expected,
                   const wchar_t* actual) {
  // A link on Windows: a symbolic link, junction or mount point, or a reparse
  // point of a kind not known to hold a file's own data.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (!filtered || !IsFilteredFileTag(reparseTag))) {
    return false;
  }
  // Where it really lies: Wine shows a Unix symbolic link only this way.
  return CompareStringOrdinal(expected, -1, actual, -1, TRUE) == CSTR_EQUAL;
}

bool TargetFolder::Open(const wchar_t* path) {
  folder_.Reset(CreateFileW(path, kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder_) return false;
  opened_chars_ = wcslen(path);
  if (opened_chars_ > 0 && path[opened_chars_ - 1] != L'\\') ++opened_chars_;
  // "\\?\C:\..." names the same path as "C:\...", which is what a viewer gets.
  const size_t drive = DriveAt(path);
  if (drive != kNoDrive) opened_chars_ -= drive;
  const DWORD length = FinalPathOf(folder_.Get(), path_, kFolderPathChars);
  return length > 0 && length < kFolderPathChars;
}

bool NormalizedNameRefused(unsigned long error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_INVALID_PARAMETER;
}

DWORD FinalPathOf(HANDLE item, wchar_t* path, DWORD capacity) {
  const DWORD length = GetFinalPathNameByHandleW(item, path, capacity, kPathForm);
  const DWORD error = GetLastError();
  if (length != 0 || !NormalizedNameRefused(error)) return length;
  // Only a share's server is let off: locally, a refusal may be a folder's
  // permissions set to make the weaker name be compared.
  FILE_REMOTE_PROTOCOL_INFO remote = {};
  remote.StructureVersion = 1;
  remote.StructureSize = sizeof remote;
  if (!GetFileInformationByHandleEx(item, FileRemoteProtocolInfo, &remote, sizeof remote)) {
    SetLastError(error);
    return 0;
  }
  return GetFinalPathNameByHandleW(item, path, capacity, FILE_NAME_OPENED | VOLUME_NAME_DOS);
}

bool OpenForData(HANDLE item, const ItemFacts& facts, ACCESS_MASK access, ULONG sharing,
                 ScopedFileHandle* reopened, HANDLE* data) {
  *data = item;
  if (facts.reparse_tag == 0) return true;
  if (!ReopenFollowing(item, access, reopened, sharing)) return false;
  // Followed, it must still be the file that was checked.
  // (The volume's serial number and the file's index, as Vista has them: only
  // for such files is the mount manager asked.)
  BY_HANDLE_FILE_INFORMATION checked, opened;
  if (!GetFileInformationByHandle(item, &checked) || !GetFileInformationByHandle(reopened->Get(), &opened) ||
      checked.dwVolumeSerialNumber != opened.dwVolumeSerialNumber ||
      checked.nFileIndexHigh != opened.nFileIndexHigh || checked.nFileIndexLow != opened.nFileIndexLow) {
    reopened->Reset();
    SetLastError(kErrorThroughLink);
    return false;
  }
  *data = reopened->Get();
  return true;
}

bool TargetFolder::OpenIn(const TargetFolder& parent, const wchar_t* leaf, bool make,
                          bool* missing) {
  const size_t length = wcslen(leaf);
  ItemFacts info;
  const OpenOutcome opened =
      OpenInFolder(parent.Get(), leaf, length, make ? kMakeFolder : kHoldFolder, &folder_);
  // A file in its place holds nothing of a folder's either.
  if (missing != nullptr) *missing = opened == OpenOutcome::kMissing || opened == OpenOutcome::kOtherKind;
  const bool plain = opened == OpenOutcome::kOpened && parent.Holds(folder_.Get(), leaf, length, &info);
  if (plain && !(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) SetLastError(ERROR_DIRECTORY);
  if (!plain || !(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    folder_.Reset();
    return false;
  }
  opened_chars_ = parent.opened_chars_ + length + 1;
  return parent.PathBelow(leaf, length, path_) && wcslen(path_) < kFolderPathChars;
}

bool TargetFolder::PathBelow(const wchar_t* name, size_t length,
                             wchar_t path[kBelowPathChars]) const {
  return path_[0] != 0 && EntryPathBelow(path_, name, length, path, kBelowPathChars);
}

bool TargetFolder::Holds(HANDLE item, const wchar_t* name, size_t length, ItemFacts* facts,
                         bool filtered) const {
  wchar_t expected[kBelowPathChars];
  wchar_t actual[kBelowPathChars];
  FILE_ATTRIBUTE_TAG_INFO tag;
  FILE_STANDARD_INFO standard;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);  // what a path that does not fit below tells
  if (!PathBelow(name, length, expected) ||
      !GetFileInformationByHandleEx(item, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandleEx(item, FileStandardInfo, &standard, sizeof standard)) {
    return false;
  }
  const DWORD reparse = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? tag.ReparseTag : 0;
  *facts = {tag.FileAttributes, standard.NumberOfLinks, static_cast<uint64_t>(standard.EndOfFile.QuadPart),
            reparse};
  const DWORD got = FinalPathOf(item, actual, kBelowPathChars);
  if (got >= kBelowPathChars) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  if (got == 0 || got >= kBelowPathChars) return false;
  if (IsPlainItemAt(facts->attributes, reparse, filtered, expected, actual)) return true;
  SetLastError(kErrorThroughLink);
  return false;
}

namespace {

// What a killed setup left at `leaf` in `folder` (at `name` below the
// target), a plain file that nobody holds: a temporary file goes; a plug-in
// it had moved aside goes back to its name, or goes when something has that
// name again. Its rename and delete are bounded by `watch` (may be null).
void SweepLeftover(const TargetFolder& target, HANDLE folder, const wchar_t* name,
                   const wchar_t* leaf, CallWatch* watch) {
  wchar_t own[MAX_PATH + 1];
  const bool temporary = IsSiblingTempLeaf(leaf);
  wchar_t full[kEntryNameChars];
  if ((!temporary && !AsideOwner(leaf, own, MAX_PATH + 1)) || !NameIn(name, leaf, full)) return;
  if (watch != nullptr && watch->Exhausted()) return;
  ScopedFileHandle leftover;
  ItemFacts info;
  constexpr RelativeOpen kLeftover = {DELETE | FILE_READ_ATTRIBUTES, 0, FILE_OPEN,
                                      FILE_NON_DIRECTORY_FILE, 0, nullptr};
  if (OpenInFolder(folder, leaf, wcslen(leaf), kLeftover, &leftover) != OpenOutcome::kOpened ||
      !target.Holds(leftover.Get(), full, wcslen(full), &info) || info.links != 1) {
    return;
  }
  // Put back only where nothing has taken its name; otherwise it is the old
  // release, which the new file replaced. One that stays is left for the next
  // setup; it harms nothing.
  if (!temporary) {
    WatchedCall call(watch);
    if (RenameInFolder(leftover.Get(), folder, own, wcslen(own), RenameMode::kKeep)) return;
  }
  WatchedCall call(watch);
  (void)MarkForDeletion(leftover.Get(), true);
}

}  // namespace

void SweepLeftovers(const TargetFolder& target, HANDLE folder, const wchar_t* name,
                    CallWatch* watch) {
  // One that cannot be listed is swept by the next setup.
  (void)ForEachFileIn(folder, [&](const wchar_t* leaf) { SweepLeftover(target, folder, name, leaf, watch); });
}

bool ForEachFileLeaf(HANDLE folder, void (*visit)(const wchar_t* leaf, void* context), void* context) {
  // Listed through a handle of its own: the held one may only look names up.
  ScopedFileHandle listed;
  if (!ReopenItem(folder, FILE_LIST_DIRECTORY, &listed)) return false;
  // Room for a listing's record with the longest name.
  alignas(8) unsigned char listing[64 * 1024];
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(listed.Get(), kind, listing, sizeof listing)) {
    kind = FileIdBothDirectoryInfo;
    for (size_t at = 0;;) {
      const auto* found = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(listing + at);
      wchar_t leaf[MAX_PATH + 1];
      const size_t chars = found->FileNameLength / sizeof(wchar_t);
      if (chars < MAX_PATH + 1 && !(found->FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        wmemcpy(leaf, found->FileName, chars);
        leaf[chars] = 0;
        visit(leaf, context);
      }
      if (found->NextEntryOffset == 0) break;
      at += found->NextEntryOffset;
    }
  }
  return GetLastError() == ERROR_NO_MORE_FILES;
}

bool RenamesRefusedIn(HANDLE folder) {
  // A rename opens the folder it renames in for writing, sharing read and
  // write: a holder that shares less makes every rename there fail.
  ScopedFileHandle probe;
  if (ReopenItem(folder, FILE_WRITE_DATA, &probe, FILE_SHARE_READ | FILE_SHARE_WRITE)) return false;
  return GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == kErrorOplockBreaking;
}

bool FolderListsSomething(HANDLE folder) {
  ScopedFileHandle listed;
  alignas(8) unsigned char listing[4096];
  if (!ReopenItem(folder, FILE_LIST_DIRECTORY, &listed)) return false;
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
       GetFileInformationByHandleEx(listed.Get(), kind, listing, sizeof listing);
       kind = FileIdBothDirectoryInfo) {
    for (size_t at = 0;;) {
      const auto* found = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(listing + at);
      const size_t chars = found->FileNameLength / sizeof(wchar_t);
      const bool dots = (chars == 1 && found->FileName[0] == L'.') ||
                        (chars == 2 && found->FileName[0] == L'.' && found->FileName[1] == L'.');
      if (!dots) return true;
      if (found->NextEntryOffset == 0) break;
      at += found->NextEntryOffset;
    }
  }
  return false;
}

bool HeldFolders::Hold(const TargetFolder& target, const wchar_t* name, bool make, bool* missing) {
  if (missing != nullptr) *missing = false;
  // The folders held for the entry before that begin this name stay held:
  // entries of one folder usually come together, and each check costs.
  const size_t kept = KeptFor(name);
  for (size_t k = kept; k < count_; ++k) held_[k].Reset();
  count_ = kept;

  size_t start = count_ == 0 ? 0 : ends_[count_ - 1] + 1;  // where the next part begins
  for (size_t i = start; name[i] != 0 && i + 1 < kEntryNameChars; ++i) {
    path_[i] = name[i];
    if (!IsEntrySeparator(name[i])) continue;
    if (count_ == kMostFolders) {  // only empty parts could get here
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    path_[i] = 0;
    // Made and looked up in the folder held before it: a folder above that
    // was swapped since is not gone through again.
    ScopedFileHandle held;
    ItemFacts info;
    const OpenOutcome opened =
        OpenInFolder(Innermost(target), path_ + start, i - start, make ? kMakeFolder : kHoldFolder, &held);
    if (missing != nullptr) *missing = opened == OpenOutcome::kMissing || opened == OpenOutcome::kOtherKind;
    if (opened != OpenOutcome::kOpened || !target.Holds(held.Get(), path_, i, &info)) return false;
    if (!(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      SetLastError(ERROR_DIRECTORY);
      return false;
    }
    held_[count_].Reset(held.Release());
    ends_[count_++] = i;
    if (sweep_) SweepLeftovers(target, held_[count_ - 1].Get(), path_, watch_);  // path_ ends here for now
    path_[i] = name[i];
    start = i + 1;
  }
  return true;
}

size_t HeldFolders::KeptFor(const wchar_t* name) const {
  size_t kept = 0;
  while (kept < count_ && wcsncmp(name, path_, ends_[kept]) == 0 &&
         IsEntrySeparator(name[ends_[kept]])) {
    ++kept;
  }
  return kept;
}

bool HeldFolders::HoldsFolderOf(const wchar_t* name) const {
  if (KeptFor(name) != count_) return false;
  for (size_t i = count_ == 0 ? 0 : ends_[count_ - 1] + 1; name[i] != 0; ++i) {
    if (IsEntrySeparator(name[i])) return false;  // a folder below the held ones
  }
  return true;
}

HANDLE HeldFolders::Innermost(const TargetFolder& target) const {
  return count_ == 0 ? target.Get() : held_[count_ - 1].Get();
}

bool MayReplace(const TargetFolder& target, HANDLE folder, const wchar_t* name,
                const wchar_t* leaf) {
  // Attribute access alone takes no part in sharing: a file in use is still looked at.
  constexpr RelativeOpen kLook = {FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  FILE_OPEN, 0, 0, nullptr};
  ScopedFileHandle item;
  const OpenOutcome opened = OpenInFolder(folder, leaf, wcslen(leaf), kLook, &item);
  if (opened == OpenOutcome::kMissing) return true;  // putting it in place tells the rest
  ItemFacts info;
  if (opened != OpenOutcome::kOpened || !target.Holds(item.Get(), name, wcslen(name), &info, true)) return false;
  // Windows refuses to replace a read-only file; Wine would, so it is checked here.
  if (info.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
  }
  if (info.attributes & FILE_ATTRIBUTE_READONLY) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

const wchar_t* LeafOf(const wchar_t* name) {
  const wchar_t* leaf = name;
  for (const wchar_t* p = name; *p != 0; ++p) {
    if (IsEntrySeparator(*p)) leaf = p + 1;
  }
  return leaf;
}
