#include "report/install_log.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "report/log_text.h"
#include "install/relative_file.h"
#include "install/target_folder.h"

namespace {

// The directory the run started in, held from start-up.
TargetFolder g_log_folder;
bool g_log_folder_held = false;

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
  const size_t length = wcslen(kInstallLogName);
  ScopedFileHandle file;
  ItemFacts info;
  if (OpenInFolder(folder.Get(), kInstallLogName, length, kAppend, &file) != OpenOutcome::kOpened ||
      !folder.Holds(file.Get(), kInstallLogName, length, &info) || info.links != 1) {
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

  // A date of 255 characters and a message of 519 fit with room to spare.
  char entry[1024];
  const size_t length = FormatLogEntry(date, time, message, entry, sizeof entry);
  // The log never reports failure; a short write leaves a short entry.
  (void)fwrite(entry, 1, length, log.Get());
}
