// The silent run: no window; the folder from the command line, the registry
// or Program Files; problems to the install log; the outcome as exit code.
#pragma once

// `commandLine` is the whole process command line. Returns the process exit
// code (SetupExitCode).
int RunSilentInstall(const wchar_t* commandLine);
