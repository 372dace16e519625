#include "silent/silent_run.h"

#include <windows.h>

#include "base/text.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/outcome.h"
#include "report/run_record.h"
#include "report/tell.h"
#include "report/uninstall_plugins.h"
#include "res/setup_identity.h"
#include "silent/command_line.h"
#include "viewer/viewer_folder.h"

namespace {

constexpr size_t kSilentFolderChars = 520;

// The folder (room for kSilentFolderChars) the options name: "/folder=",
// else the registered viewer's; "/app" replaces either. False when the
// registered viewer's folder was looked for and not found.
bool ChooseFolder(const SetupOptions& options, wchar_t* folder) {
  bool registered = true;
  if (options.folderGiven) {
    (void)CopyText(folder, kSilentFolderChars, options.folder);  // 252 characters at most
  } else if (!FindViewerFolder(folder)) {
    registered = false;
  }
  if (options.app) GetDefaultViewerFolder(folder);
  if (folder[0] != 0) RecordFolder(folder);
  return registered;
}

// True, told as the run reports, while the viewer runs (in any session, from
// `folder`).
bool ViewerRuns(const wchar_t* folder, const wchar_t* caption) {
  ViewerProcess process;
  if (!IsViewerRunning(folder, &process)) return false;
  TellMessage(kMsgViewerRunning, caption, MB_ICONERROR);
  LogViewerProcess(process.id, process.session);
  return true;
}

// The folder (room for kSilentFolderChars) that a run which changes files
// works on, told as the run reports (ChooseFolder's rules). True when the run
// may go on; else false with its exit code in `*refusal`: no folder, or the
// viewer running.
bool FolderToChange(const SetupOptions& options, wchar_t* folder, const wchar_t* caption, int* refusal) {
  if (!ChooseFolder(options, folder)) TellMessage(kMsgNoViewerFolder, caption, MB_ICONERROR);
  if (folder[0] == 0) {
    if (RunTellsTheLog()) WriteInstallLog(L"No install folder!");
    *refusal = kExitNoInstallFolder;
    return false;
  }
  *refusal = kExitViewerRunning;
  return !ViewerRuns(folder, caption);
}

}  // namespace

int RunSilentInstall(const SetupOptions& options) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kSilentFolderChars] = {};
  int refusal = kExitInstalled;
  return FolderToChange(options, folder, caption, &refusal) ? InstallPlugins(folder, caption) : refusal;
}

int RunVerify(const SetupOptions& options) {
  wchar_t folder[kSilentFolderChars] = {};
  (void)ChooseFolder(options, folder);  // nothing is logged: the exit code tells
  if (folder[0] == 0) return kExitNoInstallFolder;
  // A relative folder is taken from where the run started, as for installing.
  wchar_t full[kFullFolderChars];
  const void* payload = nullptr;
  size_t bytes = 0;
  if (!FullFolder(folder, full) || !FindPayload(&payload, &bytes)) return kExitNotInPlace;
  return ExitCodeForVerify(VerifyPayload(payload, bytes, full));
}

int RunUninstall(const SetupOptions& options) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kSilentFolderChars] = {};
  int refusal = kExitInstalled;
  if (!FolderToChange(options, folder, caption, &refusal)) return refusal;
  if (!RunTellsTheLog()) {
    wchar_t ask[kMessageChars];
    (void)LoadMessage(kMsgUninstallAsk, ask, kMessageChars);
    if (MessageBoxW(nullptr, ask, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) return kExitWizardLeft;
    // The question may have stood open while the viewer was started.
    if (ViewerRuns(folder, caption)) return kExitViewerRunning;
  }
  return UninstallPlugins(folder, caption);
}

int RunHelp() {
  // The options from the message table, then each exit code in its own words.
  constexpr size_t kHelpChars = 4096;
  wchar_t text[kHelpChars];
  (void)LoadMessage(kMsgUsage, text, kHelpChars);  // the exit codes still tell
  for (const ExitCodeMeaning& meaning : kExitCodeMeanings) {
    wchar_t line[32] = L"\n";
    (void)AppendDecimal(line, 32, static_cast<unsigned long>(meaning.code), 1);
    (void)AppendText(line, 32, L"\t");
    if (!AppendText(text, kHelpChars, line) || !AppendText(text, kHelpChars, meaning.words)) break;
  }
  (void)MessageBoxW(nullptr, text, kSetupCaption, MB_ICONINFORMATION);
  return kExitInstalled;
}

int RefuseWindows() {
  wchar_t text[kMessageChars];
  (void)LoadMessage(kMsgNeedsSilent, text, kMessageChars);  // empty when missing: the entry still tells the time
  WriteInstallLog(text);
  return kExitWizardNotShown;
}
