// The installation as a run reports it: the engine, then a message box in an
// interactive run or the install log in a silent one.
#pragma once

// Set to 1 at start-up when the command line asks for a silent run; a silent
// run reports through the install log, an interactive one by message box.
extern int g_silent;

// Installs the payload into folder\Plugins\ and reports: kMsgCantInstall on
// failure, kMsgInstalled on success (shown only in an interactive run).
// `folder` is never empty; a relative one is taken from the current directory
// and, like one without a drive, is not created. `caption` is that of the
// message boxes. Waits while another setup installs. Returns the exit code
// (SetupExitCode): kExitInstalled when every entry was installed.
int InstallPlugins(const wchar_t* folder, const wchar_t* caption);
