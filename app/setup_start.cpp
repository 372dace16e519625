// The program's entry point and its delay-load hooks, linked into the setup
// alone. Windows binds only KERNEL32, ntdll and msvcrt when it loads the
// program; the DLL search is restricted here before the C runtime and the
// global constructors run, and every other DLL is then loaded from the system
// folder on its first call, never from the folder the setup lies in.
#include <windows.h>

#include <delayimp.h>

#include "app/dll_search.h"
#include "base/text.h"
#include "report/exit_code.h"
#include "report/run_record.h"

// mingw-w64's start-up of the C runtime, which calls wWinMain and never returns.
extern "C" int WinMainCRTStartup();

namespace {

// Ends the run, which cannot go on without a system DLL or one of its
// functions; the log, where there is one, names it. Only the first thread
// to get here writes; any other waits for it to end the process.
[[noreturn]] void EndWithout(const char* dll, const char* function, DWORD error) {
  static volatile LONG writer = 0;
  const LONG me = static_cast<LONG>(GetCurrentThreadId());
  const LONG first = InterlockedCompareExchange(&writer, me, 0);
  if (first == 0) {
    // The names come from the program's own delay-import table: ASCII.
    wchar_t dll_name[MAX_PATH], function_name[MAX_PATH];
    (void)WidenAscii(dll_name, MAX_PATH, dll);  // empty when not: the error still tells
    (void)WidenAscii(function_name, MAX_PATH, function != nullptr ? function : "");
    RecordMissingSystemDll(dll_name, function != nullptr ? function_name : nullptr, error);
    RecordOutcome(kExitInstallFailed);
  } else if (first != me) {
    for (;;) Sleep(INFINITE);
  }
  // Also when writing the log itself lacked a DLL: no second try.
  ExitProcess(kExitInstallFailed);
}

// Before the helper loads a DLL: the setup loads it (LoadSystemDll), or the
// run ends; the helper's own LoadLibraryA, which would search the setup's
// folder where the search is not restricted, never runs.
FARPROC WINAPI OnDelayLoad(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;  // the helper goes on as usual
  HMODULE module = LoadSystemDll(info->szDll);
  if (module == nullptr) EndWithout(info->szDll, nullptr, GetLastError());
  return reinterpret_cast<FARPROC>(module);
}

// A function the helper could not find in its DLL (a DLL that could not be
// loaded has ended the run above): the build has no exceptions to raise, so
// the run ends here.
FARPROC WINAPI OnDelayLoadFailure(unsigned notification, PDelayLoadInfo info) {
  const bool function = notification == dliFailGetProc && info->dlp.fImportByName;
  EndWithout(info->szDll, function ? info->dlp.szProcName : nullptr, info->dwLastError);
}

}  // namespace

// The helper (mingw-w64's __delayLoadHelper2) calls these; set before any code runs.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = OnDelayLoad;
PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
}

// The entry point (the link's -e): the DLL search first, then the C runtime.
// Only mingw-w64's TLS callbacks run before it, and they call KERNEL32 and
// msvcrt alone. It runs before the runtime's pseudo-relocations and global
// constructors: what it calls must use only KERNEL32 and no imported data.
// A system that cannot restrict the search is told so by InitInstance.
extern "C" __attribute__((force_align_arg_pointer)) int SetupStart() {
  (void)HardenDllSearch(LOAD_LIBRARY_SEARCH_SYSTEM32);  // DllSearchHardened tells the outcome
  return WinMainCRTStartup();
}
