// Uninstalling as a run reports it: the engine, then a message box in an
// interactive run or the install log in a silent one.
#pragma once

// Removes the payload's unchanged files and emptied folders from
// folder\Plugins\ (`folder` never empty; a relative one is taken from the
// current directory) and reports: each plug-in kept because it changed is
// logged by name in a silent run and listed in an interactive run's box;
// the outcome is shown with `caption`, or logged when it is a problem.
// Waits while another setup works there. Returns the exit code
// (SetupExitCode).
int UninstallPlugins(const wchar_t* folder, const wchar_t* caption);
