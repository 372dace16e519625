#include "app/setup_app.h"

#include <commctrl.h>

#include "report/install_log.h"
#include "report/install_plugins.h"
#include "silent/command_line.h"
#include "silent/silent_run.h"
#include "text/text.h"
#include "wizard/wizard_sheet.h"

TheApp theApp;

namespace {

// The system directory (at most MAX_PATH characters) and "\kernel32.dll".
constexpr size_t kSystemDllPathChars = 324;

}  // namespace

DWORD HardenDllSearch(DWORD flags) {
  wchar_t path[kSystemDllPathChars];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  if (!AppendBackslashIfMissing(path, kSystemDllPathChars) ||
      !AppendText(path, kSystemDllPathChars, L"kernel32.dll")) {
    return 0;
  }
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
  if (FindText(command_line, kVerifyOption) != nullptr) {
    m_exitCode = RunVerify(command_line);
    return FALSE;
  }
  if (FindText(command_line, kSilentOption) != nullptr) g_silent = 1;
  // The log goes where the run started, also if that folder's name is taken
  // over meanwhile; without it, the log is looked for by name when written.
  if (g_silent) (void)HoldLogFolder();
  if (FindText(command_line, kUninstallOption) != nullptr) {
    m_exitCode = RunUninstall(command_line);
  } else {
    m_exitCode = g_silent ? RunSilentInstall(command_line) : RunWizard(&HeaderLogFont);
  }
  return FALSE;
}
