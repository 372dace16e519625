#include "viewer/viewer_folder.h"

#include <tlhelp32.h>

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

namespace {

// The longest image path asked for.
constexpr DWORD kImagePathChars = 1024;

// Opens the file at `path` only to tell which file it is: nobody's sharing refuses that.
HANDLE OpenToIdentify(const wchar_t* path) {
  return CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// True when the two open files are one: the same volume and file number,
// whatever links, short names or path forms led to them.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// The process with `id`, named kViewerExecutable, when it runs the file at
// `expected` (`*viewer`, opened on the first call) or, where that file cannot
// be opened, a file at that very path. An elevated or SYSTEM process may ask
// this of any session's.
bool RunsViewer(DWORD id, const wchar_t* expected, ScopedFileHandle* viewer) {
  ScopedKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  wchar_t image[kImagePathChars];
  DWORD length = kImagePathChars;
  if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &length)) return false;
  if (!*viewer) viewer->Reset(OpenToIdentify(expected));
  ScopedFileHandle running(OpenToIdentify(image));
  // One file by two names (a link, a short name) is still the one.
  if (*viewer && running) return SameFile(running.Get(), viewer->Get());
  return CompareStringOrdinal(image, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

// Finds a process, in any session, that runs kViewerExecutable from `folder`.
bool FindViewerProcess(const wchar_t* folder, ViewerProcess* found) {
  wchar_t expected[kImagePathChars];
  const DWORD length = GetFullPathNameW(folder, kImagePathChars, expected, nullptr);
  if (length == 0 || length >= kImagePathChars || !AppendBackslashIfMissing(expected, kImagePathChars) ||
      !AppendText(expected, kImagePathChars, kViewerExecutable)) {
    return false;
  }
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  ScopedFileHandle viewer;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, kViewerExecutable, -1, TRUE) != CSTR_EQUAL ||
        !RunsViewer(entry.th32ProcessID, expected, &viewer)) {
      continue;
    }
    found->id = entry.th32ProcessID;
    if (!ProcessIdToSessionId(entry.th32ProcessID, &found->session)) found->session = 0;
    return true;
  }
  return false;
}

}  // namespace

bool IsViewerRunning(const wchar_t* folder, ViewerProcess* found) {
  ViewerProcess process = {0, 0};
  const bool running = FindWindowW(kViewerWindowClass, nullptr) != nullptr ||
                       (folder != nullptr && folder[0] != 0 && FindViewerProcess(folder, &process));
  if (found != nullptr) *found = process;
  return running;
}
