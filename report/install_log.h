// The install log: an append-only text file in the current directory.
#pragma once

constexpr wchar_t kInstallLogName[] = L"Pixelmoor_Install.log";

// Appends one entry (date, time, message, separator) to the log in the current
// directory. Never reports failure: a log that cannot be opened gets no entry.
void WriteInstallLog(const wchar_t* message);
