#include "viewer/viewer_folder.h"

#include <tlhelp32.h>
#include <userenv.h>

#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/folder_rights.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"

namespace {

// Reads a string value of HKEY_LOCAL_MACHINE into `value`, an expandable one
// (REG_EXPAND_SZ, as %ProgramFiles%\...) with its variables expanded as
// VariablesFor allows (in a run elevated by UAC the system's alone); a
// variable left unexpanded refuses the value. False when the key or value is
// missing, or the value does not fit with its terminator, before or after
// expanding: a value is never used unterminated.
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
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key.Get(), value_name, nullptr, &type,
                       reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS) {
    return false;
  }
  const size_t chars = bytes / sizeof(wchar_t);
  size_t length = 0;
  while (length < chars && length < kFolderChars && data[length] != 0) ++length;
  if (length >= kFolderChars) return false;  // no room left for the terminator
  data[length] = 0;
  if (type != REG_EXPAND_SZ) return CopyText(value, kFolderChars, data);
  bool expanded;
  if (VariablesFor(CurrentRunAccount()) == RunVariables::kSystemOnly) {
    expanded = ExpandEnvironmentStringsForUserW(nullptr, data, value, kFolderChars) != 0;
  } else {
    // The result's length includes its terminator; 0 is a failure.
    const DWORD chars = ExpandEnvironmentStringsW(data, value, kFolderChars);
    expanded = chars > 0 && chars <= kFolderChars;
  }
  // Either way, a variable left as it was names no folder.
  expanded = expanded && !HasUnexpandedVariable(value);
  if (!expanded) value[0] = 0;
  return expanded;
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

// The name the system gives the viewer's file in `folder` (a full path),
// drive-letter or "\\server\share" form, into `name`; empty when there is none
// to be had. The file is opened in the held folder without following a link
// at its name: a link there (a name-surrogate reparse point) could lead to a
// share that makes the setup sign in there, and is not the viewer. A file
// that is a reparse point of another kind (WOF-compressed, deduplicated) still
// is. Only the chosen folder's file is opened, never a path another process
// names.
void FinalName(const wchar_t* folder, wchar_t name[kImagePathChars]) {
  name[0] = 0;
  TargetFolder viewer;
  constexpr RelativeOpen kLook = {FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  FILE_OPEN, FILE_NON_DIRECTORY_FILE, 0, nullptr};
  ScopedFileHandle file;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!viewer.Open(folder) ||
      OpenInFolder(viewer.Get(), kViewerExecutable, wcslen(kViewerExecutable), kLook, &file) !=
          OpenOutcome::kOpened ||
      !GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &tag, sizeof tag) ||
      ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag))) {
    return;
  }
  wchar_t final_path[kImagePathChars];
  const DWORD length = GetFinalPathNameByHandleW(file.Get(), final_path, kImagePathChars,
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= kImagePathChars) return;
  (void)PlainPathForm(final_path, name, kImagePathChars);  // it is shorter: it fits
}

bool SameName(const wchar_t* a, const wchar_t* b) {
  return b[0] != 0 && CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The names a process running the file at `expected` may report: that path,
// the file's final name and its short (8.3) form, which a viewer started by a
// short name reports. Found once, when a process of its name runs.
struct ViewerNames {
  bool found = false;
  wchar_t final_name[kImagePathChars] = {};
  wchar_t short_name[kImagePathChars] = {};
};

// The process with `id`, named kViewerExecutable, when its image is the file
// at `expected` (in `folder`) by one of its names. SYSTEM may ask this of any session's
// process; an elevated administrator, of another user's only with the debug
// privilege, which the setup does not take.
bool RunsViewer(DWORD id, const wchar_t* folder, const wchar_t* expected, ViewerNames* names) {
  ScopedKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  wchar_t image[kImagePathChars];
  DWORD length = kImagePathChars;
  if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &length)) return false;
  if (!names->found) {
    FinalName(folder, names->final_name);
    // Looked up in the listing of each folder on the way: the file itself is not opened.
    const DWORD got = GetShortPathNameW(expected, names->short_name, kImagePathChars);
    if (got == 0 || got >= kImagePathChars) names->short_name[0] = 0;
    names->found = true;
  }
  return SameName(image, expected) || SameName(image, names->final_name) ||
         SameName(image, names->short_name);
}

// Finds a process, in any session, that runs kViewerExecutable from `folder`.
bool FindViewerProcess(const wchar_t* folder, ViewerProcess* found) {
  wchar_t full[kImagePathChars], expected[kImagePathChars];
  const DWORD length = GetFullPathNameW(folder, kImagePathChars, full, nullptr);
  if (length == 0 || length >= kImagePathChars || !CopyText(expected, kImagePathChars, full) ||
      !AppendBackslashIfMissing(expected, kImagePathChars) ||
      !AppendText(expected, kImagePathChars, kViewerExecutable)) {
    return false;
  }
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  ViewerNames names;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, kViewerExecutable, -1, TRUE) != CSTR_EQUAL ||
        !RunsViewer(entry.th32ProcessID, full, expected, &names)) {
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
