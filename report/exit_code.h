// The process exit codes: the outcome that deployment tools read, and what
// each means in the user's words (the log with "/log=" and scripts/run give
// these words).
#pragma once

enum SetupExitCode : int {
  kExitInstalled = 0,
  kExitInstallFailed = 1,
  kExitViewerRunning = 2,
  // The same code for a plug-in another program holds: nothing changed either.
  kExitPluginInUse = kExitViewerRunning,
  kExitNoInstallFolder = 3,
  kExitWizardLeft = 4,
  kExitWizardNotShown = 5,
  kExitNotInPlace = 6,
  // Windows' ERROR_INSTALL_ALREADY_RUNNING, which deployment tools retry.
  kExitAnotherSetupRunning = 1618,
};

struct ExitCodeMeaning {
  SetupExitCode code;
  const wchar_t* words;
};

// One line each: scripts/run reads the words from here, and scripts/docs the
// table of docs/usage.md, with what a deployment tool should make of each code
// (the comment, which the program itself does not need), and the winget
// manifest the ReturnResponse of each code a silent installation can give
// besides 0 and 1 (after "| winget:"; tools/exit_codes.py reads them).
constexpr ExitCodeMeaning kExitCodeMeanings[] = {
  {kExitInstalled, L"installed: every file of the package reached the disk whole (/verify: every file is in place; /uninstall: every unchanged file of the package is gone, or none was there)"},  // deployment: success
  {kExitInstallFailed, L"the installation failed: some or all files were not installed (/uninstall: some could not be removed), or a system DLL could not be loaded"},  // deployment: failure; run it again with `/log=`, whose log names each file and its Windows error
  {kExitViewerRunning, L"Pixelmoor was running, or a plug-in was in use: nothing was installed or removed"},  // deployment: retry later | winget: packageInUse
  {kExitNoInstallFolder, L"no install folder was given or found: nothing was installed or removed"},  // deployment: failure: fix the command (`/folder=` or `/app`) | winget: missingDependency
  {kExitWizardLeft, L"the wizard was left without installing (/uninstall: the question was answered No)"},  // deployment: comes from a person only: no deployment command asks
  {kExitWizardNotShown, L"the wizard could not be shown: no one can answer it here, or it would run as SYSTEM or in session 0, or the common controls failed"},  // deployment: failure: run it with `/silent`
  {kExitNotInPlace, L"/verify: some file of the package is missing or differs"},  // deployment: not installed
  {kExitAnotherSetupRunning, L"another setup was still installing after two minutes: nothing was installed or removed"},  // deployment: retry later (Windows' `ERROR_INSTALL_ALREADY_RUNNING`, which deployment tools retry by themselves) | winget: installInProgress
};

// The words for `code`; null for a code the setup does not define.
inline const wchar_t* ExitCodeWords(int code) {
  for (const ExitCodeMeaning& meaning : kExitCodeMeanings) {
    if (meaning.code == code) return meaning.words;
  }
  return nullptr;
}
