#include "app/setup_app.h"

#include "app/dll_search.h"
#include "base/text.h"
#include "fs/folder_rights.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/run_record.h"
#include "res/setup_identity.h"
#include "silent/command_line.h"
#include "silent/silent_run.h"
#include "wizard/wizard_sheet.h"

TheApp theApp;

namespace {

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

// The run the options ask for; its exit code.
int RunAsAsked(const SetupOptions& options, LOGFONTW* headerFont) {
  if (options.help) return CanBeAnswered() ? RunHelp() : RefuseWindows();
  if (options.verify) return RunVerify(options);
  // The wizard, or /uninstall's question, would wait for an answer that never comes.
  if (!options.silent && !CanBeAnswered()) return RefuseWindows();
  if (options.uninstall) return RunUninstall(options);
  return options.silent ? RunSilentInstall(options) : RunWizard(headerFont);
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

int RefuseUnrestrictedDllSearch(const SetupOptions& options) {
  if (options.verify && !LogRecordsRun()) return kExitInstallFailed;  // told by its code alone, loading nothing
  // The text and the window station need USER32, the token ADVAPI32: each
  // comes by its full path (LoadSystemDll).
  wchar_t text[kMessageChars];
  (void)LoadMessage(kMsgNeedsDllUpdate, text, kMessageChars);  // empty when missing: the entry still tells the time
  if (options.verify || options.silent || !CanBeAnswered()) {
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
  SetupOptions options;  // read once
  ReadOptions(command_line, &options);
  g_silent = options.silent ? 1 : 0;
  // The log goes where "/log=" says, else where the run started, also if
  // that folder's name is taken over meanwhile; without either held, the
  // log is looked for by name when written.
  const bool held = options.logGiven && UseLogFile(options.log, DllSearchHardened());
  if (!held && RunIsLogged()) (void)HoldLogFolder();

  if (!DllSearchHardened()) {
    m_exitCode = RefuseUnrestrictedDllSearch(options);
    RecordOutcome(m_exitCode);
    return FALSE;
  }
  RecordStart(command_line);
  m_exitCode = RunAsAsked(options, &HeaderLogFont);
  RecordOutcome(m_exitCode);
  return FALSE;
}
