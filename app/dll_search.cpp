#include "app/dll_search.h"

#include "framework/scoped.h"
#include "framework/winapp.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "res/setup_identity.h"
#include "text/text.h"

namespace {

// The system directory (at most MAX_PATH characters), a backslash and a name.
constexpr size_t kSystemDllPathChars = 324;

bool g_hardened = false;

// `name` in the system directory, into `path` (room for kSystemDllPathChars).
bool SystemDllPath(const wchar_t* name, wchar_t* path) {
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  return length != 0 && length < MAX_PATH && AppendBackslashIfMissing(path, kSystemDllPathChars) &&
         AppendText(path, kSystemDllPathChars, name);
}

}  // namespace

DWORD HardenDllSearch(DWORD flags) {
  wchar_t path[kSystemDllPathChars];
  if (!SystemDllPath(L"kernel32.dll", path)) return 0;
  HMODULE kernel = GetModuleHandleW(path);
  if (kernel == nullptr) return 0;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_dirs = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_dirs == nullptr) return 0;
  const DWORD rc = set_dirs(flags);
  if (rc != 0) g_hardened = true;
  return rc;
}

bool DllSearchHardened() { return g_hardened; }

int RefuseUnrestrictedDllSearch() {
  // USER32 is a KnownDLL, which Windows never looks for beside a program;
  // named by its full path, with its dependencies looked for in that folder
  // first, it is loaded as safely as such a system allows.
  wchar_t path[kSystemDllPathChars];
  ScopedModule user32;
  if (SystemDllPath(L"user32.dll", path)) {
    user32.Reset(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  using LoadStringFn = int(WINAPI*)(HINSTANCE, UINT, LPWSTR, int);
  using MessageBoxFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  const auto load_string = reinterpret_cast<LoadStringFn>(reinterpret_cast<void*>(
      user32 ? GetProcAddress(user32.Get(), "LoadStringW") : nullptr));
  const auto message_box = reinterpret_cast<MessageBoxFn>(reinterpret_cast<void*>(
      user32 ? GetProcAddress(user32.Get(), "MessageBoxW") : nullptr));
  wchar_t text[kMessageChars] = {};  // empty when it cannot be loaded: the entry still tells the time
  if (load_string != nullptr) {
    (void)load_string(AfxGetResourceHandle(), kMsgNeedsDllUpdate, text, static_cast<int>(kMessageChars));
  }
  if (g_silent) {
    WriteInstallLog(text);
  } else if (message_box != nullptr) {
    (void)message_box(nullptr, text, kSetupCaption, MB_ICONERROR);
  }
  return kExitInstallFailed;
}
