#include "app/setup_app.h"

#include "app/dll_search.h"
#include "fs/folder_rights.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/run_record.h"
#include "res/setup_identity.h"
#include "silent/command_line.h"
#include "silent/silent_run.h"
#include "base/text.h"
#include "wizard/wizard_sheet.h"

TheApp theApp;

namespace {

// The value of "/log=", before environment variables are expanded.
constexpr size_t kLogPathChars = 520;

// What tells whether anyone sits at this process's windows.
WindowFacts CurrentWindowFacts() {
  WindowFacts facts = {};
  facts.system = CurrentRunAccount() == RunAccount::kSystem;
  facts.sessionKnown = ProcessIdToSessionId(GetCurrentProcessId(), &facts.session) != 0;
  HWINSTA station = GetProcessWindowStation();  // not to be closed
  USEROBJECTFLAGS flags = {};
  DWORD got = 0;
  facts.stationKnown =
      station != nullptr && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &got);
  facts.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
  return facts;
}

bool CanBeAnswered() { return WindowsCanBeAnswered(CurrentWindowFacts()); }

// The run the command line asks for; its exit code.
int RunAsAsked(const wchar_t* commandLine, LOGFONTW* headerFont) {
  if (FindText(commandLine, kHelpOption) != nullptr) return CanBeAnswered() ? RunHelp() : RefuseWindows();
  if (FindText(commandLine, kVerifyOption) != nullptr) return RunVerify(commandLine);
  // The wizard, or /uninstall's question, would wait for an answer that never comes.
  if (!g_silent && !CanBeAnswered()) return RefuseWindows();
  if (FindText(commandLine, kUninstallOption) != nullptr) return RunUninstall(commandLine);
  return g_silent ? RunSilentInstall(commandLine) : RunWizard(headerFont);
}

}  // namespace

bool WindowsCanBeAnswered(const WindowFacts& facts) {
  // SYSTEM's windows are a way to SYSTEM for whoever sees them (the folder
  // picker opens a command prompt); session 0 has nobody to see them, though
  // its WinSta0 has WSF_VISIBLE.
  if (facts.system || (facts.sessionKnown && facts.session == 0)) return false;
  // A station that cannot tell is taken as one a person sits at, as before.
  return !facts.stationKnown || facts.stationVisible;
}

int RefuseUnrestrictedDllSearch(const wchar_t* commandLine) {
  const bool verify = FindText(commandLine, kVerifyOption) != nullptr;
  if (verify && !LogRecordsRun()) return kExitInstallFailed;  // told by its code alone, loading nothing
  // The text and the window station need USER32, the token ADVAPI32: each
  // comes by its full path (LoadSystemDll).
  wchar_t text[kMessageChars];
  (void)LoadMessage(kMsgNeedsDllUpdate, text, kMessageChars);  // empty when missing: the entry still tells the time
  if (verify || g_silent || !CanBeAnswered()) {
    WriteInstallLog(text);
  } else {
    // Drawn by the system, not in a window of the setup's, which would load
    // theming DLLs by the search that cannot be restricted here.
    (void)MessageBoxW(nullptr, text, kSetupCaption, MB_ICONERROR | MB_SERVICE_NOTIFICATION);
  }
  return kExitInstallFailed;
}

BOOL TheApp::InitInstance() {
  // The entry point restricted the DLL search where the system allows it.
  const wchar_t* command_line = GetCommandLineW();
  // /verify reports by its exit code alone: no problems logged, also with /silent.
  if (FindText(command_line, kSilentOption) != nullptr &&
      FindText(command_line, kVerifyOption) == nullptr) {
    g_silent = 1;
  }
  // The log goes where "/log=" says, else where the run started, also if
  // that folder's name is taken over meanwhile; without either held, the
  // log is looked for by name when written.
  bool held = false;
  if (const wchar_t* option = FindText(command_line, kLogOption)) {
    wchar_t path[kLogPathChars];
    ReadOptionValue(option, path, kLogValueStart, kLogValueStart + kLogPathChars - 1);
    CleanOptionValue(path);
    held = UseLogFile(path, DllSearchHardened());
  }
  if (!held && (g_silent || LogRecordsRun())) (void)HoldLogFolder();

  if (!DllSearchHardened()) {
    m_exitCode = RefuseUnrestrictedDllSearch(command_line);
    RecordOutcome(m_exitCode);
    return FALSE;
  }
  RecordStart(command_line);
  m_exitCode = RunAsAsked(command_line, &HeaderLogFont);
  RecordOutcome(m_exitCode);
  return FALSE;
}
