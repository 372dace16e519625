// Where the setup's DLLs come from. Only KERNEL32, ntdll and msvcrt are bound
// when Windows loads the program; every other DLL is delay-loaded, from the
// system folder alone, once the search is restricted here (the entry point in
// setup_start.cpp does that before anything else runs).
#pragma once

#include <windows.h>

// Restricts the DLL search to `flags` (SetDefaultDllDirectories). Returns its
// result, or 0 when the system lacks it (Vista and 7 without KB3063858 or
// the older KB2533623).
DWORD HardenDllSearch(DWORD flags);

// True once HardenDllSearch has succeeded in this process.
bool DllSearchHardened();

// The DLL `name` (ASCII, without a path) for a delay-loaded import: from the
// system folder once the search is restricted. Before that, only USER32 and
// ADVAPI32, KnownDLLs, by their full paths, so that a system that cannot
// restrict the search can be told so (and by whom it runs); any other is refused (ERROR_ACCESS_DENIED). Null when it
// cannot be loaded, with the last error set.
HMODULE LoadSystemDll(const char* name);
