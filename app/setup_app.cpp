#include "app/setup_app.h"

#include <commctrl.h>

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/viewer_folder.h"
#include "install/install.h"
#include "install/install_log.h"
#include "install/messages.h"
#include "res/setup_identity.h"
#include "text/text.h"
#include "wizard/wizard_sheet.h"

TheApp theApp;

namespace {

constexpr size_t kCommandCopyChars = 520;
constexpr size_t kMessageChars = 260;

void LogMessage(MessageId id) {
  wchar_t text[kMessageChars];
  LoadMessage(id, text, kMessageChars);
  WriteInstallLog(text);
}

}  // namespace

int RunSilentInstall(const wchar_t* commandLine) {
  wchar_t caption[kMessageChars];
  CopyText(caption, kMessageChars, kSetupCaption);
  wchar_t folder[kInstallPathChars] = {};
  wchar_t copy[kCommandCopyChars] = {};
  CopyTextCut(copy, kCommandCopyChars, commandLine);

  // Plain substring matches: an option is found anywhere, even inside a path.
  if (const wchar_t* option = FindText(copy, L"/folder=")) {
    ReadOptionValue(option, folder, 8, 260);
    CleanOptionValue(folder);
  } else if (!FindViewerFolder(folder)) {
    LogMessage(kMsgNoViewerFolder);
  }
  if (FindText(copy, L"/app") != nullptr) GetDefaultViewerFolder(folder);

  if (folder[0] == 0) {
    WriteInstallLog(L"No install folder!");
    return kExitNoInstallFolder;
  }
  if (IsViewerRunning()) {
    LogMessage(kMsgViewerRunning);
    return kExitViewerRunning;
  }
  return InstallPlugins(folder, caption) == 0 ? kExitInstalled : kExitInstallFailed;
}

DWORD HardenDllSearch(DWORD flags) {
  wchar_t path[324];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  if (!AppendBackslashIfMissing(path, 324) || !AppendText(path, 324, L"kernel32.dll")) return 0;
  HMODULE kernel = GetModuleHandleW(path);
  if (kernel == nullptr) return 0;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_dirs = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_dirs == nullptr) return 0;
  return set_dirs(flags);
}

BOOL TheApp::InitInstance() {
  (void)HardenDllSearch(LOAD_LIBRARY_SEARCH_SYSTEM32);  // best effort on older systems

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  (void)InitCommonControlsEx(&controls);  // the wizard fails visibly without them

  const wchar_t* command_line = GetCommandLineW();
  if (FindText(command_line, L"/silent") != nullptr) g_silent = 1;
  m_exitCode = g_silent ? RunSilentInstall(command_line) : RunWizard();
  return FALSE;
}
