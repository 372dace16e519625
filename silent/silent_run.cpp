#include "silent/silent_run.h"

#include <windows.h>

#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/outcome.h"
#include "report/run_record.h"
#include "report/uninstall_plugins.h"
#include "res/setup_identity.h"
#include "silent/command_line.h"
#include "base/text.h"
#include "viewer/viewer_folder.h"

namespace {

constexpr size_t kCommandCopyChars = 520;
constexpr size_t kSilentFolderChars = 520;

// Logs message `id` in a silent run, shows it with `caption` in an
// interactive one.
void Tell(MessageId id, UINT icon, const wchar_t* caption) {
  wchar_t text[kMessageChars];
  (void)LoadMessage(id, text, kMessageChars);  // empty when missing: the entry still tells the time
  if (g_silent) {
    WriteInstallLog(text);
  } else {
    (void)MessageBoxW(nullptr, text, caption, icon);
  }
}

// The folder (room for kSilentFolderChars) from the command line: "/folder=",
// else the registered viewer's; "/app" replaces either. False when the
// registered viewer's folder was looked for and not found.
bool ChooseFolder(const wchar_t* commandLine, wchar_t* folder) {
  wchar_t copy[kCommandCopyChars] = {};
  CopyTextCut(copy, kCommandCopyChars, commandLine);
  bool registered = true;
  // Plain substring matches: an option is found anywhere, even inside a path.
  if (const wchar_t* option = FindText(copy, kFolderOption)) {
    ReadOptionValue(option, folder, kFolderValueStart, kFolderChars);
    CleanOptionValue(folder);
  } else if (!FindViewerFolder(folder)) {
    registered = false;
  }
  if (FindText(copy, kAppOption) != nullptr) GetDefaultViewerFolder(folder);
  if (folder[0] != 0) RecordFolder(folder);
  return registered;
}

// kExitViewerRunning, told as the run reports, while the viewer runs (in
// any session, from `folder`); else kExitInstalled.
int ViewerRefuses(const wchar_t* folder, const wchar_t* caption) {
  ViewerProcess process;
  if (!IsViewerRunning(folder, &process)) return kExitInstalled;
  Tell(kMsgViewerRunning, MB_ICONERROR, caption);
  LogViewerProcess(process.id, process.session);
  return kExitViewerRunning;
}

// The folder (room for kSilentFolderChars) that a run which changes files
// works on, told as the run reports (ChooseFolder's rules). Returns
// kExitInstalled when the run may go on, else its exit code: no folder, or
// the viewer running.
int FolderToChange(const wchar_t* commandLine, wchar_t* folder, const wchar_t* caption) {
  if (!ChooseFolder(commandLine, folder)) Tell(kMsgNoViewerFolder, MB_ICONERROR, caption);
  if (folder[0] == 0) {
    if (g_silent) WriteInstallLog(L"No install folder!");
    return kExitNoInstallFolder;
  }
  return ViewerRefuses(folder, caption);
}

}  // namespace

int RunSilentInstall(const wchar_t* commandLine) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kSilentFolderChars] = {};
  const int refused = FolderToChange(commandLine, folder, caption);
  return refused != kExitInstalled ? refused : InstallPlugins(folder, caption);
}

int RunVerify(const wchar_t* commandLine) {
  wchar_t folder[kSilentFolderChars] = {};
  (void)ChooseFolder(commandLine, folder);  // nothing is logged: the exit code tells
  if (folder[0] == 0) return kExitNoInstallFolder;
  // A relative folder is taken from where the run started, as for installing.
  wchar_t full[kFullFolderChars];
  const void* payload = nullptr;
  size_t bytes = 0;
  if (!FullFolder(folder, full) || !FindPayload(&payload, &bytes)) return kExitNotInPlace;
  return ExitCodeForVerify(VerifyPayload(payload, bytes, full));
}

int RunUninstall(const wchar_t* commandLine) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kSilentFolderChars] = {};
  const int refused = FolderToChange(commandLine, folder, caption);
  if (refused != kExitInstalled) return refused;
  if (!g_silent) {
    wchar_t ask[kMessageChars];
    (void)LoadMessage(kMsgUninstallAsk, ask, kMessageChars);
    if (MessageBoxW(nullptr, ask, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) return kExitWizardLeft;
    // The question may have stood open while the viewer was started.
    if (ViewerRefuses(folder, caption) != kExitInstalled) return kExitViewerRunning;
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
