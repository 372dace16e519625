#include "report/install_log.h"

#include <windows.h>

#include <userenv.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <wchar.h>

#include "base/scoped.h"
#include "base/text.h"
#include "fs/folder_rights.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"
#include "report/log_text.h"

namespace {

// The log's folder, held from start-up, and its name there. Set once, before
// anything is logged.
TargetFolder g_log_folder;
bool g_log_folder_held = false;
wchar_t g_log_leaf[MAX_PATH] = {};  // empty: kInstallLogName
bool g_records_run = false;

// The log in its folder, opened to append: a folder the user's other programs
// may be able to write to. Only a plain file of its own is appended to, never
// what a link or a hard link there leads to; otherwise null, as when it
// cannot be opened.
FILE* OpenLog() {
  TargetFolder here;
  if (!g_log_folder_held && !here.Open(L".")) return nullptr;
  const TargetFolder& folder = g_log_folder_held ? g_log_folder : here;
  // Reading its attributes is what the check below needs. Another setup may
  // be appending too, as it could before.
  constexpr RelativeOpen kAppend = {FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
                                    FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, nullptr};
  const wchar_t* leaf = g_log_leaf[0] != 0 ? g_log_leaf : kInstallLogName;
  const size_t length = wcslen(leaf);
  ScopedFileHandle file;
  ItemFacts info;
  if (OpenInFolder(folder.Get(), leaf, length, kAppend, &file) != OpenOutcome::kOpened ||
      !folder.Holds(file.Get(), leaf, length, &info) || info.links != 1) {
    return nullptr;
  }
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_APPEND | _O_TEXT);
  if (descriptor == -1) return nullptr;
  (void)file.Release();  // the descriptor owns it now
  FILE* log = _fdopen(descriptor, "at");
  if (log == nullptr) (void)_close(descriptor);
  return log;
}

}  // namespace

bool HoldLogFolder() {
  g_log_folder_held = g_log_folder.Open(L".");
  return g_log_folder_held;
}

bool UseLogFile(const wchar_t* path, bool systemDllsByName) {
  g_records_run = true;
  // Expanded, the path may be longer than the option's value.
  constexpr DWORD kPathChars = 1024;
  wchar_t expanded[kPathChars];
  wchar_t full[kPathChars];
  if (wcschr(path, L'%') == nullptr) {
    if (!CopyText(expanded, kPathChars, path)) return false;
  } else if (VariablesFor(CurrentRunAccount()) == RunVariables::kSystemOnly) {
    // No token: the system's variables only. One that is not among them
    // stays as it was written, and such a path is no folder to make.
    if (!systemDllsByName || !ExpandEnvironmentStringsForUserW(nullptr, path, expanded, kPathChars) ||
        wcschr(expanded, L'%') != nullptr) {
      return false;
    }
  } else {
    const DWORD expanded_chars = ExpandEnvironmentStringsW(path, expanded, kPathChars);
    if (expanded_chars == 0 || expanded_chars > kPathChars) return false;
  }
  // A full path ends in a name or a backslash: ".", ".." and trailing dots are gone.
  const DWORD length = GetFullPathNameW(expanded, kPathChars, full, nullptr);
  if (length == 0 || length >= kPathChars) return false;
  // The folder is what comes before the last backslash; the name what follows.
  wchar_t* leaf = wcsrchr(full, L'\\');
  if (leaf == nullptr) return false;
  const wchar_t* name = leaf[1] != 0 ? leaf + 1 : kInstallLogName;
  wchar_t chosen[MAX_PATH];
  if (!CopyText(chosen, MAX_PATH, name)) return false;
  leaf[1] = 0;
  // Its folder is made as a missing Plugins folder is; then held, like the start directory.
  (void)MakeFolderChain(full, kPathChars);  // holding it tells whether it is there
  g_log_folder_held = g_log_folder.Open(full);
  if (!g_log_folder_held) return false;
  (void)CopyText(g_log_leaf, MAX_PATH, chosen);  // it fit above
  // A folder, link or hard link at its name would lose every entry: the
  // start directory takes them instead.
  ScopedCrtFile log(OpenLog());
  if (log) return true;
  g_log_folder_held = false;
  g_log_leaf[0] = 0;
  return false;
}

bool LogRecordsRun() { return g_records_run; }

void WriteInstallLog(const wchar_t* message) {
  ScopedCrtFile log(OpenLog());
  if (!log) return;

  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t date[256];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 256) == 0) {
    // No short date format to be had: an unambiguous date is better than none.
    FormatIsoDate(now.wYear, now.wMonth, now.wDay, date);
  }
  wchar_t time[9];
  FormatTimeOfDay(now.wHour, now.wMinute, now.wSecond, time);

  // A date of 255 characters and a message of kLogMessageChars fit.
  char entry[2048];
  const size_t length = FormatLogEntry(date, time, message, entry, sizeof entry);
  // The log never reports failure; a short write leaves a short entry.
  (void)fwrite(entry, 1, length, log.Get());
}
