// What a run tells its log beyond the problems the faces report: with
// "/log=", a record of every run (its start, its folder, each entry not
// installed or removed, its end); in any run that logs, who keeps it from
// changing anything.
#pragma once

#include <windows.h>

#include "install/install_observer.h"

// True when the run reports to the log: a silent run, or any run with "/log=".
bool RunIsLogged();

// With "/log=" only: the setup's name and version, how it runs (as SYSTEM,
// elevated or not) and `commandLine`.
void RecordStart(const wchar_t* commandLine);
// With "/log=" only: the folder the run works on, as it was chosen.
void RecordFolder(const wchar_t* folder);
// With "/log=" only: the entry `name` was not installed (or, with
// `removing`, not removed), for the Windows error `error`, with its meaning.
void RecordNotDone(const wchar_t* name, unsigned long error, bool removing);
// With "/log=" only, as a warning: the folder at `folder` may be changed by
// `account` (a SID), as its owner when `owner`; null when its permissions
// cannot be read.
void RecordOpenToOthers(const wchar_t* folder, const void* account, bool owner);
// With "/log=" only: the run's exit code and what it means.
void RecordOutcome(int exitCode);

// When the run logs: the system DLL `dll` (or, when not null, its function
// `function`) could not be had, for the Windows error `error`, with its meaning.
void RecordMissingSystemDll(const wchar_t* dll, const wchar_t* function, unsigned long error);
// When the run logs: the viewer's process that runs from the folder.
void LogViewerProcess(DWORD id, DWORD session);
// When the run logs: the file `name` (at `path`) is in use, and by whom where
// the Restart Manager can tell.
void LogFileInUse(const wchar_t* name, const wchar_t* path);
// When the run logs: the emptied folder `name` stays, as another program uses it.
void LogFolderKeptInUse(const wchar_t* name);
// When the run logs: the plug-in `name` of ours stays, as it was changed.
void LogKeptChanged(const wchar_t* name);
// When the run logs: the installation record in `folder` could not be used,
// as `problem` says, with the Windows error `error` where it has one.
void LogRecordProblem(const wchar_t* folder, RecordProblem problem, unsigned long error);
// With "/log=" only: the record described the Plugins folder `plugins`,
// whose plug-ins it no longer names.
void LogRecordMoved(const wchar_t* plugins);
