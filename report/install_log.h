// The install log: an append-only text file in the directory the run started in.
#pragma once

constexpr wchar_t kInstallLogName[] = L"Pixelmoor_Install.log";

// Holds the current directory open as the log's folder, at start-up: the log
// then goes there, wherever its path comes to lead while the run goes on.
// False when it cannot be held; the log is then looked for in the current
// directory each time.
bool HoldLogFolder();

// Appends one entry (date, time, message, separator) to the log in its folder.
// Never reports failure: a log that cannot be opened gets no entry.
void WriteInstallLog(const wchar_t* message);
