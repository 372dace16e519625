// The process exit codes: the outcome that deployment tools read. The
// comments are in the user's words: scripts/run prints them.
#pragma once

enum SetupExitCode : int {
  kExitInstalled = 0,        // installed: every file of the package reached the disk whole (/verify: every file is in place)
  kExitInstallFailed = 1,    // the installation failed: some or all files were not installed
  kExitViewerRunning = 2,    // Pixelmoor was running: nothing was installed
  kExitNoInstallFolder = 3,  // no install folder was given or found: nothing was installed
  kExitWizardLeft = 4,       // the wizard was left without installing
  kExitWizardNotShown = 5,   // the wizard could not be shown at all
  kExitNotInPlace = 6,       // /verify: some file of the package is missing or differs
  // Windows' ERROR_INSTALL_ALREADY_RUNNING, which deployment tools retry.
  kExitAnotherSetupRunning = 1618,  // another setup was still installing after two minutes: nothing was installed
};
