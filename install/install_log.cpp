#include "install/install_log.h"

#include <windows.h>

#include <stdio.h>

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
