// The program's entry point and its delay-load hooks, linked into the setup
// alone. Windows binds only KERNEL32, ntdll and msvcrt when it loads the
// program; the DLL search is restricted here before the C runtime and the
// global constructors run, and every other DLL is then loaded from the system
// folder on its first call, never from the folder the setup lies in.
#include <windows.h>

#include <delayimp.h>

#include "app/dll_search.h"
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
    RecordMissingSystemDll(dll, function, error);
    RecordOutcome(kExitInstallFailed);
  } else if (first != me) {
    for (;;) Sleep(INFINITE);
  }
  ExitProcess(kExitInstallFailed);  // the writer itself lacked one: no second try
}

// Before the helper loads a DLL: from the system folder alone, and not at all
// before the search is restricted. COMCTL32, named without a path, still
// comes from the manifest's side-by-side assembly (version 6).
FARPROC WINAPI OnDelayLoad(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;  // the helper goes on as usual
  if (!DllSearchHardened()) EndWithout(info->szDll, nullptr, ERROR_ACCESS_DENIED);
  wchar_t name[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH) == 0) {
    EndWithout(info->szDll, nullptr, GetLastError());
  }
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) EndWithout(info->szDll, nullptr, GetLastError());
  return reinterpret_cast<FARPROC>(module);
}

// A DLL or function the helper could not get: the build has no exceptions to
// raise, so the run ends here.
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
// A system that cannot restrict it is told so by InitInstance, which then
// loads nothing.
extern "C" __attribute__((force_align_arg_pointer)) int SetupStart() {
  (void)HardenDllSearch(LOAD_LIBRARY_SEARCH_SYSTEM32);  // DllSearchHardened tells the outcome
  return WinMainCRTStartup();
}
