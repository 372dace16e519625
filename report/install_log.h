// The install log: an append-only text file in the directory the run started
// in, or the file that "/log=" names.
#pragma once

#include <stddef.h>

#include "fs/folder_rights.h"

constexpr wchar_t kInstallLogName[] = L"Pixelmoor_Install.log";

// Room for one message to log; a longer one is cut.
constexpr size_t kLogMessageChars = 1024;

// Holds the current directory open as the log's folder, at start-up: the log
// then goes there, wherever its path comes to lead while the run goes on.
// False when it cannot be held; the log is then looked for in the current
// directory each time.
bool HoldLogFolder();

// At start-up, for "/log=": the log becomes the file `path` names, with
// environment variables expanded (VariablesFor: a variable left
// unexpanded refuses the path), a relative path taken from the current
// directory, and "Pixelmoor_Install.log" in it when it ends in a backslash.
// Its folder is made where missing and held from now on, and every run is
// recorded in it (LogRecordsRun). False when that folder cannot be made or
// held, or no log can be opened there at that name (HoldLogFolder then keeps
// the log in the start directory); runs are recorded either way.
// Where the DLL search cannot be restricted (`systemDllsByName` false),
// USERENV is not loaded: a path with variables in a run that may take only
// the system's is refused.
bool UseLogFile(const wchar_t* path, bool systemDllsByName);

// True once "/log=" was given: the log records every run, not only problems.
bool LogRecordsRun();

// Appends one entry (date, time, message, separator) to the log in its folder.
// Never reports failure: a log that cannot be opened gets no entry.
void WriteInstallLog(const wchar_t* message);
