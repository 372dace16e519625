#include "install/pending_file.h"

#include <wchar.h>

#include "install/target_folder.h"
#include "install/temp_name.h"
#include "text/path_split.h"
#include "text/text.h"

namespace {

// Room for a full path's native form (\??\UNC\ is the longest prefix).
constexpr size_t kNativePathChars = kBelowPathChars + 8;

// The native form the rename takes: \??\C:\... or \??\UNC\server\share\...
// Only a full path: a relative one would be taken from the current directory.
bool NativePath(const wchar_t* path, wchar_t* native, size_t capacity) {
  if (wcsncmp(path, L"\\\\.\\", 4) == 0) return false;  // a device, never a file to replace
  if (wcsncmp(path, L"\\\\?\\", 4) == 0) {  // the system's own form already
    return CopyText(native, capacity, L"\\??\\") && AppendText(native, capacity, path + 4);
  }
  if (!IsFullPath(path)) return false;
  wchar_t full[kBelowPathChars];  // "." and ".." resolved, "/" as "\"
  const DWORD length = GetFullPathNameW(path, kBelowPathChars, full, nullptr);
  if (length == 0 || length >= kBelowPathChars) return false;
  const bool unc = full[0] == L'\\' && full[1] == L'\\';
  return CopyText(native, capacity, unc ? L"\\??\\UNC\\" : L"\\??\\") &&
         AppendText(native, capacity, unc ? full + 2 : full);
}

}  // namespace

PendingFile::~PendingFile() {
  if (!file_ || placed_) return;
  FILE_DISPOSITION_INFO dispose = {TRUE};
  // A delete that fails leaves a stray temporary file, not a damaged one.
  (void)SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &dispose, sizeof dispose);
}

bool PendingFile::Create(const wchar_t* path, DWORD access, DWORD flags, uint32_t* serial) {
  const uint32_t process = GetCurrentProcessId();
  // Names left by a setup that was killed are skipped.
  for (int attempt = 0; attempt < 32; ++attempt) {
    if (!SiblingTempName(path, process, (*serial)++, temp_, kBelowPathChars)) return false;
    file_.Reset(CreateFileW(temp_, access | DELETE, 0, nullptr, CREATE_NEW, flags, nullptr));
    if (file_) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool PendingFile::PutInPlace(const wchar_t* path) {
  struct {
    FILE_RENAME_INFO info;
    wchar_t room[kNativePathChars];
  } rename = {};
  rename.info.ReplaceIfExists = TRUE;
  wchar_t* target = rename.info.FileName;
  if (!NativePath(path, target, kNativePathChars)) return false;
  rename.info.FileNameLength = static_cast<DWORD>(TextLength(target) * sizeof(wchar_t));
  placed_ = SetFileInformationByHandle(file_.Get(), FileRenameInfo, &rename, sizeof rename) != 0;
  return placed_;
}
