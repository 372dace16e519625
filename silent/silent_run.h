// The runs without a window: the silent installation, and /verify. The
// folder comes from the command line, the registry or Program Files.
#pragma once

// The silent installation: problems to the install log. `commandLine` is the
// whole process command line. Returns the process exit code (SetupExitCode).
int RunSilentInstall(const wchar_t* commandLine);

// /verify: whether every file of the payload is in place in the folder's
// Plugins folder. Shows nothing and writes nothing, not even a log entry.
// Returns kExitInstalled, kExitNotInPlace or kExitNoInstallFolder.
int RunVerify(const wchar_t* commandLine);
