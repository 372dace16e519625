#include "install/target_folder.h"

#include <wchar.h>

#include "install/entry_name.h"

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

}  // namespace

bool TargetFolder::Open() {
  folder_.Reset(CreateFileW(L".", kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder_) return false;
  const DWORD length = GetFinalPathNameByHandleW(folder_.Get(), path_, kPathChars, kPathForm);
  return length > 0 && length < kPathChars;
}

bool TargetFolder::Holds(HANDLE item, const wchar_t* name, size_t length,
                         BY_HANDLE_FILE_INFORMATION* info) const {
  if (!GetFileInformationByHandle(item, info)) return false;
  // A link on Windows: a symbolic link, junction or mount point.
  if (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;

  wchar_t expected[kPathChars + kEntryNameChars];
  if (!EntryPathBelow(path_, name, length, expected, kPathChars + kEntryNameChars)) return false;
  // Where it really lies: Wine shows a Unix symbolic link only this way.
  wchar_t actual[kPathChars + kEntryNameChars];
  const DWORD got = GetFinalPathNameByHandleW(item, actual, kPathChars + kEntryNameChars, kPathForm);
  if (got == 0 || got >= kPathChars + kEntryNameChars) return false;
  // Names differ from the entry's only in case, as the file system compares them.
  return CompareStringOrdinal(expected, -1, actual, -1, TRUE) == CSTR_EQUAL;
}

bool HeldFolders::Hold(const TargetFolder& target, const wchar_t* name) {
  wchar_t folder[kEntryNameChars];
  for (size_t i = 0; name[i] != 0 && i + 1 < kEntryNameChars; ++i) {
    folder[i] = name[i];
    if (!IsEntrySeparator(name[i])) continue;
    folder[i] = 0;
    if (count_ == sizeof held_ / sizeof held_[0]) return false;  // only empty parts could get here
    HANDLE held = CreateFileW(folder, kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING,
                              kNoFollow, nullptr);
    if (held == INVALID_HANDLE_VALUE && IsMissing(GetLastError())) {
      // Made inside a folder already held; what the check below finds is what counts.
      (void)CreateDirectoryW(folder, nullptr);
      held = CreateFileW(folder, kFolderAccess, kHoldSharing, nullptr, OPEN_EXISTING, kNoFollow,
                         nullptr);
    }
    if (held == INVALID_HANDLE_VALUE) return false;
    held_[count_++].Reset(held);
    BY_HANDLE_FILE_INFORMATION info;
    if (!target.Holds(held, folder, i, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
    folder[i] = name[i];
  }
  return true;
}

bool MayReplace(const TargetFolder& target, const wchar_t* name) {
  // Attribute access alone takes no part in sharing: a file in use is still looked at.
  ScopedFileHandle item(CreateFileW(name, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  if (!item) return IsMissing(GetLastError());  // creating it tells the rest
  BY_HANDLE_FILE_INFORMATION info;
  // Windows refuses to replace a read-only file; Wine would, so it is checked here.
  return target.Holds(item.Get(), name, wcslen(name), &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}
