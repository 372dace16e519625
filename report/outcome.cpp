#include "report/outcome.h"

#include <windows.h>

namespace {

constexpr OutcomeReport kInstalledWhole = {kExitInstalled, kMsgInstalled, MB_ICONINFORMATION, false};
// Every failure reads the same to the user: some or all files were not installed.
constexpr OutcomeReport kNotInstalled = {kExitInstallFailed, kMsgCantInstall, MB_ICONERROR, true};
// Nothing is wrong with the folder: the run is to be tried again later.
constexpr OutcomeReport kOtherSetupStillRunning = {kExitAnotherSetupRunning, kMsgAnotherSetupRunning,
                                                   MB_ICONEXCLAMATION, true};

// Nothing was written: the program that holds a plug-in is to be closed first.
constexpr OutcomeReport kInUse = {kExitPluginInUse, kMsgFilesInUse, MB_ICONEXCLAMATION, true};

// In the order of InstallStatus.
constexpr OutcomeReport kReports[] = {
    kInstalledWhole,  // kInstalled
    kNotInstalled,    // kSomeNotInstalled
    kNotInstalled,    // kArchiveDamaged
    kNotInstalled,    // kArchiveUnreadable
    kNotInstalled,    // kPathTooLong
    kNotInstalled,    // kTargetUnusable
    kNotInstalled,    // kCantStage
    kNotInstalled,    // kWriteFailed
    kNotInstalled,    // kOutOfMemory
    kNotInstalled,    // kLockUnavailable
    kOtherSetupStillRunning,  // kLockTimedOut
    kInUse,           // kFilesInUse
};
static_assert(sizeof kReports / sizeof kReports[0] == kInstallStatusCount,
              "one report for every installation status");

}  // namespace

const OutcomeReport& ReportFor(InstallStatus status) {
  const int index = static_cast<int>(status);
  // A status from nowhere is reported as a failure, never as success.
  if (index < 0 || index >= kInstallStatusCount) return kNotInstalled;
  return kReports[index];
}

SetupExitCode ExitCodeForVerify(VerifyStatus status) {
  // A payload that cannot be read is not in place either: installing again
  // reports what is wrong with it.
  return status == VerifyStatus::kInPlace ? kExitInstalled : kExitNotInPlace;
}
