// Finding the viewer: its registered folder, the default folder, and whether it runs.
#pragma once

#include <windows.h>

#include "viewer/folder_text.h"

constexpr wchar_t kOpenCommandKey[] = L"SOFTWARE\\Classes\\Pixelmoor\\shell\\open\\command";
constexpr wchar_t kCurrentVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
constexpr wchar_t kProgramFilesValue[] = L"ProgramFilesDir";
constexpr wchar_t kViewerWindowClass[] = L"Pixelmoor";

// The folder of the viewer's registered open command, with a trailing
// backslash. Returns 1 when found, 0 otherwise (folder then empty). A value
// that does not fit 260 characters counts as not found.
int FindViewerFolder(wchar_t folder[kFolderChars]);

// The Program Files directory's Pixelmoor folder, or "C:\Pixelmoor\" when the
// directory is not registered or too long. Always returns 1.
int GetDefaultViewerFolder(wchar_t folder[kFolderChars]);

// A process that runs the viewer.
struct ViewerProcess {
  DWORD id;       // 0 when the viewer was told by its window
  DWORD session;  // the Terminal Services session it runs in
};

// True when the viewer runs: a top-level window of the viewer's class on this
// desktop, or, when `folder` (a viewer folder; may be null or empty) is
// given, a process that runs kViewerExecutable from it: in any session as
// SYSTEM, in the user's own when elevated by UAC. Fills `*found` (may be
// null) with that process.
bool IsViewerRunning(const wchar_t* folder, ViewerProcess* found = nullptr);
