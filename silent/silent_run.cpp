#include "silent/silent_run.h"

#include <windows.h>

#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/outcome.h"
#include "report/uninstall_plugins.h"
#include "res/setup_identity.h"
#include "silent/command_line.h"
#include "text/text.h"
#include "viewer/viewer_folder.h"

namespace {

constexpr size_t kCommandCopyChars = 520;
constexpr size_t kSilentFolderChars = 520;

void LogMessage(MessageId id) {
  wchar_t text[kMessageChars];
  (void)LoadMessage(id, text, kMessageChars);  // empty when missing: the entry still tells the time
  WriteInstallLog(text);
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
  return registered;
}

}  // namespace

int RunSilentInstall(const wchar_t* commandLine) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kSilentFolderChars] = {};
  if (!ChooseFolder(commandLine, folder)) LogMessage(kMsgNoViewerFolder);

  if (folder[0] == 0) {
    WriteInstallLog(L"No install folder!");
    return kExitNoInstallFolder;
  }
  if (IsViewerRunning()) {
    LogMessage(kMsgViewerRunning);
    return kExitViewerRunning;
  }
  return InstallPlugins(folder, caption);
}

int RunVerify(const wchar_t* commandLine) {
  wchar_t folder[kSilentFolderChars] = {};
  (void)ChooseFolder(commandLine, folder);  // nothing is logged: the exit code tells
  if (folder[0] == 0) return kExitNoInstallFolder;
  // A relative folder is taken from where the run started, as for installing.
  wchar_t full[kSilentFolderChars];
  const DWORD length = GetFullPathNameW(folder, kSilentFolderChars, full, nullptr);
  const void* payload = nullptr;
  size_t bytes = 0;
  if (length == 0 || length >= kSilentFolderChars || !FindPayload(&payload, &bytes)) {
    return kExitNotInPlace;
  }
  return ExitCodeForVerify(VerifyPayload(payload, bytes, full));
}

int RunUninstall(const wchar_t* commandLine) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  // Told as installing tells it: in the log, or in a box.
  auto tell = [&](MessageId id, UINT icon) {
    wchar_t text[kMessageChars];
    (void)LoadMessage(id, text, kMessageChars);  // empty when missing: still told
    if (g_silent) {
      WriteInstallLog(text);
    } else {
      (void)MessageBoxW(nullptr, text, caption, icon);
    }
  };
  wchar_t folder[kSilentFolderChars] = {};
  if (!ChooseFolder(commandLine, folder)) tell(kMsgNoViewerFolder, MB_ICONERROR);
  if (folder[0] == 0) {
    if (g_silent) WriteInstallLog(L"No install folder!");
    return kExitNoInstallFolder;
  }
  if (IsViewerRunning()) {
    tell(kMsgViewerRunning, MB_ICONERROR);
    return kExitViewerRunning;
  }
  if (!g_silent) {
    wchar_t ask[kMessageChars];
    (void)LoadMessage(kMsgUninstallAsk, ask, kMessageChars);
    if (MessageBoxW(nullptr, ask, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) return kExitWizardLeft;
    // The question may have stood open while the viewer was started.
    if (IsViewerRunning()) {
      tell(kMsgViewerRunning, MB_ICONERROR);
      return kExitViewerRunning;
    }
  }
  return UninstallPlugins(folder, caption);
}
