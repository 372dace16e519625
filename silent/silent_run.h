// The runs without the wizard: the silent installation, /verify and
// /uninstall. The folder comes from the command line, the registry or
// Program Files.
#pragma once

#include "silent/command_line.h"

// The silent installation: problems to the install log. Returns the process exit code (SetupExitCode).
int RunSilentInstall(const SetupOptions& options);

// /verify: whether every file of the payload is in place in the folder's
// Plugins folder. Shows nothing and writes nothing, not even a log entry
// (only the record of the run that "/log=" asks for).
// Returns kExitInstalled, kExitNotInPlace or kExitNoInstallFolder.
int RunVerify(const SetupOptions& options);

// /uninstall: the payload's unchanged files and emptied folders removed from
// the folder's Plugins folder. Without "/silent" it asks first and shows the
// outcome in a message box; with it, it shows nothing and logs problems.
// Returns the process exit code (SetupExitCode).
int RunUninstall(const SetupOptions& options);

// /?: the options and exit codes in a message box. Returns kExitInstalled.
int RunHelp();

// A run that would show a window where no one can answer it (a window
// station without a visible display: session 0, a service, SYSTEM): logs
// that "/silent" is needed and returns kExitWizardNotShown.
int RefuseWindows();
