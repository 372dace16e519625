#include "viewer/folder_text.h"

#include "base/path_split.h"
#include "base/text.h"

namespace {

// ASCII-only lower-casing: the searched name is ASCII, and this keeps the
// result independent of the C runtime's locale.
wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

constexpr size_t kExecutableChars = sizeof kViewerExecutable / sizeof kViewerExecutable[0] - 1;

// True when "p_moor32.exe" begins at `p`, in any case.
bool ViewerExecutableAt(const wchar_t* p) {
  size_t i = 0;
  while (kViewerExecutable[i] != 0 && AsciiLower(p[i]) == kViewerExecutable[i]) ++i;
  return kViewerExecutable[i] == 0;
}

bool ContainsViewerExecutable(const wchar_t* command) {
  for (const wchar_t* p = command; *p != 0; ++p) {
    if (ViewerExecutableAt(p)) return true;
  }
  return false;
}

// The folder part of the executable path `exe` (its drive and directory),
// with a final backslash, into `folder`. Returns 1, or 0 when it does not fit.
int FolderOfExecutable(const wchar_t* exe, wchar_t folder[kFolderChars]) {
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

}  // namespace

int FolderFromOpenCommand(const wchar_t* command, wchar_t folder[kFolderChars]) {
  folder[0] = 0;
  if (command[0] == 0 || !ContainsViewerExecutable(command)) return 0;

  wchar_t exe[kFolderChars];
  size_t n = 0;
  if (command[0] == L'"') {
    // The executable path: after the opening quote, up to the next one.
    for (const wchar_t* p = command + 1; *p != 0 && *p != L'"'; ++p) {
      if (n + 1 >= kFolderChars) return 0;
      exe[n++] = *p;
    }
  } else {
    // Unquoted, as Windows writes a path without blanks: the path up to the
    // first "\p_moor32.exe" that a blank, a quote or the end follows, so
    // that a blank or ".exe" in a folder's name does not end it.
    const wchar_t* end = nullptr;
    for (const wchar_t* p = command; *p != 0 && end == nullptr; ++p) {
      if (*p != L'\\' || !ViewerExecutableAt(p + 1)) continue;
      const wchar_t after = p[1 + kExecutableChars];
      if (after == 0 || after == L' ' || after == L'"') end = p + 1 + kExecutableChars;
    }
    if (end == nullptr) return 0;
    for (const wchar_t* p = command; p < end; ++p) {
      if (n + 1 >= kFolderChars) return 0;
      exe[n++] = *p;
    }
    exe[n] = 0;
    // A command is run by its full path; anything else names no folder.
    if (!IsFullPath(exe)) return 0;
  }
  exe[n] = 0;
  return FolderOfExecutable(exe, folder);
}

bool HasUnexpandedVariable(const wchar_t* text) {
  for (const wchar_t* p = text; *p != 0; ++p) {
    if (*p != L'%') continue;
    const wchar_t* name = p + 1;
    const wchar_t* q = name;
    while (*q != 0 && *q != L'%' && *q != L' ' && *q != L'"' && *q != L'\\') ++q;
    if (*q == L'%' && q > name) return true;
  }
  return false;
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
