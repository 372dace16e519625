#include "app/dll_search.h"

#include "base/text.h"

namespace {

// The system directory (at most MAX_PATH characters), a backslash and a name.
constexpr size_t kSystemDllPathChars = 324;

bool g_hardened = false;

}  // namespace

DWORD HardenDllSearch(DWORD flags) {
  // By name: a 32-bit process on 64-bit Windows has it from SysWOW64, not
  // from the system directory GetSystemDirectoryW names. Looking up a loaded
  // module loads nothing.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
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

HMODULE LoadSystemDll(const char* name) {
  wchar_t wide[MAX_PATH];
  if (!WidenAscii(wide, MAX_PATH, name)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  // Named without a path, COMCTL32 still comes from the side-by-side
  // assembly that the manifest binds (version 6).
  if (g_hardened) return LoadLibraryExW(wide, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  wchar_t path[kSystemDllPathChars];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  // USER32 for the refusal's text, ADVAPI32 for the token: both KnownDLLs,
  // as are their own imports.
  const bool allowed = CompareStringOrdinal(wide, -1, L"user32.dll", -1, TRUE) == CSTR_EQUAL ||
                       CompareStringOrdinal(wide, -1, L"advapi32.dll", -1, TRUE) == CSTR_EQUAL;
  if (!allowed || length == 0 ||
      length >= MAX_PATH || !AppendBackslashIfMissing(path, kSystemDllPathChars) ||
      !AppendText(path, kSystemDllPathChars, wide)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Its own imports are looked for in the system folder first.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
