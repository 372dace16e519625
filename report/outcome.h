// What the faces make of an installation's result: the one table from the
// engine's status to the exit code, the message and how it is shown.
#pragma once

#include "install/engine.h"
#include "install/verify.h"
#include "report/exit_code.h"
#include "report/messages.h"

struct OutcomeReport {
  SetupExitCode exitCode;
  MessageId message;  // shown in an interactive run
  unsigned icon;      // the message box's icon (MB_ICON...)
  bool logged;        // also written to the install log in a silent run
};

// The report for `status`; every status has one.
const OutcomeReport& ReportFor(InstallStatus status);

// The exit code of /verify for `status`: kExitInstalled only when every file
// is in place.
SetupExitCode ExitCodeForVerify(VerifyStatus status);
