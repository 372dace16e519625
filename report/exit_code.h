// The process exit codes: the outcome that deployment tools read. The
// comments are in the user's words: scripts/run prints them.
#pragma once

enum SetupExitCode : int {
  kExitInstalled = 0,        // installed: every file of the package reached the disk whole (/verify: every file is in place; /uninstall: every unchanged file of the package is gone, or none was there)
  kExitInstallFailed = 1,    // the installation failed: some or all files were not installed (/uninstall: some could not be removed)
  kExitViewerRunning = 2,    // Pixelmoor was running: nothing was installed or removed
  kExitNoInstallFolder = 3,  // no install folder was given or found: nothing was installed or removed
  kExitWizardLeft = 4,       // the wizard was left without installing (/uninstall: the question was answered No)
  kExitWizardNotShown = 5,   // the wizard could not be shown at all
  kExitNotInPlace = 6,       // /verify: some file of the package is missing or differs
  // Windows' ERROR_INSTALL_ALREADY_RUNNING, which deployment tools retry.
  kExitAnotherSetupRunning = 1618,  // another setup was still installing after two minutes: nothing was installed or removed
};
