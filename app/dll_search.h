// Where the setup's DLLs come from. Only KERNEL32, ntdll and msvcrt are bound
// when Windows loads the program; every other DLL is delay-loaded, from the
// system folder alone, once the search is restricted here (the entry point in
// setup_start.cpp does that before anything else runs).
#pragma once

#include <windows.h>

// Restricts the DLL search to `flags` (SetDefaultDllDirectories). Returns its
// result, or 0 when the system lacks it (Vista and 7 without KB2533623).
DWORD HardenDllSearch(DWORD flags);

// True once HardenDllSearch has succeeded in this process: delay-loaded DLLs
// may be loaded from then on.
bool DllSearchHardened();

// The run on a system whose DLL search cannot be restricted: tells which update
// is missing (logged in a silent run, else a message box) and loads nothing
// else. Returns the exit code, kExitInstallFailed.
int RefuseUnrestrictedDllSearch();
