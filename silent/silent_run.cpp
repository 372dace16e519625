#include "silent/silent_run.h"

#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
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

}  // namespace

int RunSilentInstall(const wchar_t* commandLine) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kSilentFolderChars] = {};
  wchar_t copy[kCommandCopyChars] = {};
  CopyTextCut(copy, kCommandCopyChars, commandLine);

  // Plain substring matches: an option is found anywhere, even inside a path.
  if (const wchar_t* option = FindText(copy, kFolderOption)) {
    ReadOptionValue(option, folder, kFolderValueStart, kFolderChars);
    CleanOptionValue(folder);
  } else if (!FindViewerFolder(folder)) {
    LogMessage(kMsgNoViewerFolder);
  }
  if (FindText(copy, kAppOption) != nullptr) GetDefaultViewerFolder(folder);

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
