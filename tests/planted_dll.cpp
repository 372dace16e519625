// A DLL named like a system DLL, as one may lie beside a downloaded setup:
// when anything loads it, it leaves an empty file "<its path>.mark" and then
// refuses to load, so that the program fails at once instead of calling the
// functions it lacks.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameW(self, mark, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    lstrcatW(mark, L".mark");
    HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return FALSE;
}
