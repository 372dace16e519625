#include "install/target_folder.h"

#include <wchar.h>

#include "install/entry_name.h"
#include "install/temp_name.h"
#include "text/text.h"

namespace {

// Folders are opened with traverse access, which takes part in sharing (as the
// current directory's handle does): a holder that leaves out FILE_SHARE_DELETE
// keeps anyone from renaming or deleting the folder.
constexpr DWORD kFolderAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The item at the name itself, not what a link there leads to.
constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
// The drive-letter form (\\?\C:\..., \\?\UNC\...): Wine names some drives only so.
constexpr DWORD kPathForm = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// `leaf` in `folder`, or alone for the target folder itself (""): a name below
// the target folder.
bool NameIn(const wchar_t* folder, const wchar_t* leaf, wchar_t name[kEntryNameChars]) {
  if (folder[0] == 0) return CopyText(name, kEntryNameChars, leaf);
  return EntryPathBelow(folder, leaf, wcslen(leaf), name, kEntryNameChars);
}

}  // namespace

bool TargetFolder::Open(const wchar_t* path) {
  folder_.Reset(CreateFileW(path, kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder_) return false;
  opened_chars_ = wcslen(path);
  if (opened_chars_ > 0 && path[opened_chars_ - 1] != L'\\') ++opened_chars_;
  const DWORD length = GetFinalPathNameByHandleW(folder_.Get(), path_, kFolderPathChars, kPathForm);
  return length > 0 && length < kFolderPathChars;
}

bool TargetFolder::PathBelow(const wchar_t* name, size_t length,
                             wchar_t path[kBelowPathChars]) const {
  return path_[0] != 0 && EntryPathBelow(path_, name, length, path, kBelowPathChars);
}

bool TargetFolder::Holds(HANDLE item, const wchar_t* name, size_t length,
                         BY_HANDLE_FILE_INFORMATION* info) const {
  wchar_t expected[kBelowPathChars];
  return PathBelow(name, length, expected) && LiesAt(item, expected, info);
}

bool TargetFolder::LiesAt(HANDLE item, const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info) const {
  if (!GetFileInformationByHandle(item, info)) return false;
  // A link on Windows: a symbolic link, junction or mount point.
  if (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  // Where it really lies: Wine shows a Unix symbolic link only this way.
  wchar_t actual[kBelowPathChars];
  const DWORD got = GetFinalPathNameByHandleW(item, actual, kBelowPathChars, kPathForm);
  if (got == 0 || got >= kBelowPathChars) return false;
  // Names differ from the entry's only in case, as the file system compares them.
  return CompareStringOrdinal(path, -1, actual, -1, TRUE) == CSTR_EQUAL;
}

void SweepLeftovers(const TargetFolder& target, const wchar_t* folder) {
  wchar_t name[kEntryNameChars];
  wchar_t full[kBelowPathChars];
  WIN32_FIND_DATAW found;
  if (!NameIn(folder, kSiblingTempPattern, name) || !target.PathBelow(name, wcslen(name), full)) {
    return;
  }
  ScopedFindHandle find(FindFirstFileW(full, &found));
  if (!find) return;
  do {
    // The pattern also matches short names: only the long name's exact form counts.
    if (!IsSiblingTempLeaf(found.cFileName) || !NameIn(folder, found.cFileName, name) ||
        !target.PathBelow(name, wcslen(name), full)) {
      continue;
    }
    ScopedFileHandle leftover(CreateFileW(full, DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                          OPEN_EXISTING, kNoFollow, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!leftover || !target.Holds(leftover.Get(), name, wcslen(name), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || info.nNumberOfLinks != 1) {
      continue;
    }
    FILE_DISPOSITION_INFO dispose = {TRUE};
    // One that stays is left for the next setup; it harms nothing.
    (void)SetFileInformationByHandle(leftover.Get(), FileDispositionInfo, &dispose, sizeof dispose);
  } while (FindNextFileW(find.Get(), &found));
}

bool HeldFolders::Hold(const TargetFolder& target, const wchar_t* name) {
  // The folders held for the entry before that begin this name stay held:
  // entries of one folder usually come together, and each check costs.
  size_t kept = 0;
  while (kept < count_ && wcsncmp(name, path_, ends_[kept]) == 0 &&
         IsEntrySeparator(name[ends_[kept]])) {
    ++kept;
  }
  for (size_t k = kept; k < count_; ++k) held_[k].Reset();
  count_ = kept;

  for (size_t i = count_ == 0 ? 0 : ends_[count_ - 1] + 1; name[i] != 0 && i + 1 < kEntryNameChars;
       ++i) {
    path_[i] = name[i];
    if (!IsEntrySeparator(name[i])) continue;
    if (count_ == kMostFolders) return false;  // only empty parts could get here
    path_[i] = 0;
    wchar_t full[kBelowPathChars];
    if (!target.PathBelow(path_, i, full)) return false;
    ScopedFileHandle held(CreateFileW(full, kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING,
                                      kNoFollow, nullptr));
    if (!held && IsMissing(GetLastError())) {
      // Made inside a folder already held; what the check below finds is what counts.
      (void)CreateDirectoryW(full, nullptr);
      held.Reset(CreateFileW(full, kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING, kNoFollow,
                             nullptr));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!held || !target.Holds(held.Get(), path_, i, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
    held_[count_].Reset(held.Release());
    ends_[count_++] = i;
    SweepLeftovers(target, path_);  // path_ ends here for now
    path_[i] = name[i];
  }
  return true;
}

bool MayReplace(const TargetFolder& target, const wchar_t* name) {
  wchar_t full[kBelowPathChars];
  if (!target.PathBelow(name, wcslen(name), full)) return false;
  // Attribute access alone takes no part in sharing: a file in use is still looked at.
  ScopedFileHandle item(CreateFileW(full, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  if (!item) return IsMissing(GetLastError());  // creating it tells the rest
  BY_HANDLE_FILE_INFORMATION info;
  // Windows refuses to replace a read-only file; Wine would, so it is checked here.
  return target.Holds(item.Get(), name, wcslen(name), &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}
