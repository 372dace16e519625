#include "report/install_log.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "report/log_text.h"
#include "install/target_folder.h"

namespace {

// The log in the current directory, opened to append: the directory the run
// started in, which the user's other programs may be able to write to. Only a
// plain file of its own is appended to, never what a link or a hard link there
// leads to; otherwise null, as when it cannot be opened.
FILE* OpenLog() {
  // Reading its attributes is what the check below needs (Windows enforces it; Wine does not).
  constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  // Another setup may be appending too, as it could before.
  constexpr DWORD kSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
  ScopedFileHandle file(CreateFileW(kInstallLogName, kAccess, kSharing, nullptr, OPEN_EXISTING,
                                    kFlags, nullptr));
  // Created new, it can only be a file of its own (never through a dangling link).
  if (!file) {
    file.Reset(CreateFileW(kInstallLogName, kAccess, kSharing, nullptr, CREATE_NEW, kFlags,
                           nullptr));
  }
  TargetFolder here;
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !here.Open(L".") ||
      !here.Holds(file.Get(), kInstallLogName, wcslen(kInstallLogName), &info) ||
      info.nNumberOfLinks != 1) {
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
