// The process exit codes: the outcome that deployment tools read.
#pragma once

enum SetupExitCode : int {
  kExitInstalled = 0,        // every entry of the archive reached the disk whole
  kExitInstallFailed = 1,    // message 7 was shown or logged
  kExitViewerRunning = 2,    // message 12: nothing was installed
  kExitNoInstallFolder = 3,  // "No install folder!": nothing was installed
  kExitWizardLeft = 4,       // the wizard was left without installing
  kExitWizardNotShown = 5,   // the wizard could not be shown at all
};
