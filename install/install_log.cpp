#include "install/install_log.h"

#include <windows.h>

#include <stdio.h>

#include <string>

#include "framework/scoped.h"
#include "install/log_text.h"

void WriteInstallLog(const wchar_t* message) {
  ScopedCrtFile log(_wfopen(kInstallLogName, L"at"));
  if (!log) return;

  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t date[256];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 256) == 0) {
    // No short date format to be had: an unambiguous date is better than none.
    _snwprintf(date, 256, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    date[255] = 0;
  }
  wchar_t time[16];
  _snwprintf(time, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
  time[15] = 0;

  const std::string entry = FormatLogEntry(date, time, message);
  // The log never reports failure; a short write leaves a short entry.
  (void)fwrite(entry.data(), 1, entry.size(), log.Get());
}
