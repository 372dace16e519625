#include "viewer/viewer_folder.h"

#include "framework/scoped.h"
#include "text/text.h"

namespace {

// Reads a string value of HKEY_LOCAL_MACHINE into `value`. False when the key
// or value is missing, or the value does not fit with its terminator: a value
// is never used unterminated. The value's type is not checked (an expandable
// string is used as stored).
bool ReadMachineString(const wchar_t* key_name, const wchar_t* value_name,
                       wchar_t value[kFolderChars]) {
  value[0] = 0;
  ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_name, 0, KEY_QUERY_VALUE, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  wchar_t data[kFolderChars] = {};
  DWORD bytes = sizeof data;
  if (RegQueryValueExW(key.Get(), value_name, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS) {
    return false;
  }
  const size_t chars = bytes / sizeof(wchar_t);
  size_t length = 0;
  while (length < chars && length < kFolderChars && data[length] != 0) ++length;
  if (length >= kFolderChars) return false;  // no room left for the terminator
  data[length] = 0;
  return CopyText(value, kFolderChars, data);
}

}  // namespace

int FindViewerFolder(wchar_t folder[kFolderChars]) {
  folder[0] = 0;
  wchar_t command[kFolderChars];
  if (!ReadMachineString(kOpenCommandKey, nullptr, command)) return 0;
  return FolderFromOpenCommand(command, folder);
}

int GetDefaultViewerFolder(wchar_t folder[kFolderChars]) {
  CopyText(folder, kFolderChars, L"C:\\Pixelmoor\\");
  wchar_t program_files[kFolderChars];
  if (ReadMachineString(kCurrentVersionKey, kProgramFilesValue, program_files)) {
    (void)FolderFromProgramFiles(program_files, folder);  // keeps the default if too long
  }
  return 1;
}

bool IsViewerRunning() { return FindWindowW(kViewerWindowClass, nullptr) != nullptr; }
