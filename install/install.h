// Installing the plug-ins into a viewer folder, and reporting the outcome.
#pragma once

#include <stddef.h>

// Set to 1 at start-up when the command line asks for a silent run; a silent
// run reports through the install log, an interactive one by message box.
extern int g_silent;

constexpr size_t kInstallPathChars = 520;
constexpr wchar_t kStagedArchiveName[] = L"PX32_plugins.zip";

// The machine-wide mutex that lets one setup install at a time, and how long
// a setup waits for another one to finish before it gives up.
constexpr wchar_t kInstallMutexName[] = L"Global\\PixelmoorPlugInsSetup";
constexpr unsigned long kInstallWaitMilliseconds = 120000;

// Unpacks the payload into folder\Plugins\ and reports: message 7 on failure,
// message 9 on success (shown only in an interactive run). `folder` is never
// empty; `caption` is that of the message boxes. Waits while another setup
// installs. Returns 0 when every entry was installed, non-zero otherwise.
int InstallPlugins(const wchar_t* folder, const wchar_t* caption);

// Makes sure `path` (room for `capacity` characters) ends with a backslash and
// creates the folder with any missing parents. Returns 0 when the path has no
// drive or a parent is missing, 1 otherwise (also when a creation failed for
// another reason, such as missing rights: the folder then need not exist).
int MakeFolderChain(wchar_t* path, size_t capacity);

// Writes resource (`id`, `type`) of the program to `fileName` in the user's temp
// folder, unpacks it into `target` and deletes it. The copy is locked from its
// creation to its deletion, and what was at the name before is replaced, never
// written through. Returns 0 on success, -1 when staging fails (also when
// something at the name cannot be replaced: a folder, a file in use), otherwise
// the result of UnpackArchive.
int StagePayloadArchive(int id, const wchar_t* type, const wchar_t* fileName,
                        const wchar_t* target);
