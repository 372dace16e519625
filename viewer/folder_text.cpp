#include "viewer/folder_text.h"

#include "base/path_split.h"
#include "base/text.h"

namespace {

// ASCII-only lower-casing: the searched name is ASCII, and this keeps the
// result independent of the C runtime's locale.
bool ContainsViewerExecutable(const wchar_t* command) {
  const wchar_t* const kExe = kViewerExecutable;
  for (const wchar_t* p = command; *p != 0; ++p) {
    size_t i = 0;
    for (; kExe[i] != 0; ++i) {
      wchar_t c = p[i];
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
      if (c != kExe[i]) break;
    }
    if (kExe[i] == 0) return true;
  }
  return false;
}

}  // namespace

int FolderFromOpenCommand(const wchar_t* command, wchar_t folder[kFolderChars]) {
  folder[0] = 0;
  if (command[0] == 0 || !ContainsViewerExecutable(command)) return 0;

  // The executable path: from index 1 up to the next double quote.
  wchar_t exe[kFolderChars];
  size_t n = 0;
  for (const wchar_t* p = command + 1; *p != 0 && *p != L'"'; ++p) {
    if (n + 1 >= kFolderChars) return 0;
    exe[n++] = *p;
  }
  exe[n] = 0;

  PathParts parts;
  SplitPath(exe, &parts);
  wchar_t result[kFolderChars];
  if (!CopyText(result, kFolderChars, parts.drive) ||
      !AppendText(result, kFolderChars, parts.dir) ||
      !AppendBackslashIfMissing(result, kFolderChars)) {
    return 0;
  }
  CopyText(folder, kFolderChars, result);
  return 1;
}

int FolderFromProgramFiles(const wchar_t* programFiles, wchar_t folder[kFolderChars]) {
  wchar_t result[kFolderChars];
  if (!CopyText(result, kFolderChars, programFiles) ||
      !AppendBackslashIfMissing(result, kFolderChars) ||
      !AppendText(result, kFolderChars, L"Pixelmoor")) {
    return 0;
  }
  CopyText(folder, kFolderChars, result);
  return 1;
}
