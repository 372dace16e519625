#include "install/pending_file.h"

#include <stdint.h>

#include "install/archive_rules.h"
#include "install/entry_name.h"
#include "text/text.h"

PendingFile::~PendingFile() {
  if (!file_ || placed_) return;
  FILE_DISPOSITION_INFO dispose = {TRUE};
  // A delete that fails leaves a stray temporary file, not a damaged one.
  (void)SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &dispose, sizeof dispose);
}

bool PendingFile::Create(const wchar_t* name, DWORD access, DWORD flags) {
  static uint32_t serial = 0;  // names left by a setup that was killed are skipped
  const uint32_t process = GetCurrentProcessId();
  for (int attempt = 0; attempt < 32; ++attempt) {
    wchar_t temp[MAX_PATH + kEntryNameChars];  // an entry's name, or a path in the temp folder
    if (!SiblingTempName(name, process, serial++, temp, MAX_PATH + kEntryNameChars)) return false;
    file_.Reset(CreateFileW(temp, access | DELETE, 0, nullptr, CREATE_NEW, flags, nullptr));
    if (file_) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool PendingFile::PutInPlace(const wchar_t* name) {
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(name, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  // The rename takes a native path: \??\C:\... or \??\UNC\server\share\...
  const wchar_t* rest = full;
  const wchar_t* prefix = L"\\??\\";
  if (full[0] == L'\\' && full[1] == L'\\') {
    rest = full + 2;
    prefix = L"\\??\\UNC\\";
  }
  struct {
    FILE_RENAME_INFO info;
    wchar_t room[MAX_PATH + 8];
  } rename = {};
  rename.info.ReplaceIfExists = TRUE;
  wchar_t* target = rename.info.FileName;
  if (!CopyText(target, MAX_PATH + 8, prefix) || !AppendText(target, MAX_PATH + 8, rest)) return false;
  rename.info.FileNameLength = static_cast<DWORD>(TextLength(target) * sizeof(wchar_t));
  placed_ = SetFileInformationByHandle(file_.Get(), FileRenameInfo, &rename, sizeof rename) != 0;
  return placed_;
}
