#include "report/run_record.h"

#include <restartmanager.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "res/setup_identity.h"
#include "text/path_split.h"
#include "text/text.h"

namespace {

// Appends as much of `src` as fits: a long name still leaves its entry.
void AppendCut(wchar_t* dst, size_t capacity, const wchar_t* src) {
  const size_t length = TextLength(dst);
  if (length + 1 < capacity) CopyTextCut(dst + length, capacity - length, src);
}

// How the process runs, as an administrator reading the log asks it.
const wchar_t* Account() {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return L"unknown";
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD got = 0;
  if (GetTokenInformation(token.Get(), TokenUser, user, sizeof user, &got) &&
      IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid)) {
    return L"as SYSTEM";
  }
  TOKEN_ELEVATION elevation = {};
  if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &got)) {
    return L"elevation unknown";
  }
  return elevation.TokenIsElevated ? L"elevated" : L"not elevated";
}

// "Windows error N: <the system's text>" into `out`.
void DescribeError(unsigned long error, wchar_t* out, size_t capacity) {
  wchar_t text[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, 512, nullptr);
  if (length == 0) (void)CopyText(text, 512, L"(the system has no text for it)");
  for (wchar_t* p = text; *p != 0; ++p) {
    if (*p == L'\r' || *p == L'\n') *p = L' ';  // one line: the system's texts end in a line break
  }
  TrimTrailingBlanks(text);
  (void)_snwprintf(out, capacity - 1, L"Windows error %lu: %ls", error, text);
  out[capacity - 1] = 0;
}

// Who holds the file at `path`, as the Restart Manager tells, into `out`;
// false when it cannot tell. Loaded only when a file is in use.
bool DescribeHolders(const wchar_t* path, wchar_t* out, size_t capacity) {
  using StartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using RegisterResources = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
  using EndSession = DWORD(WINAPI*)(DWORD);
  ScopedModule module(LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!module) return false;
  auto find = [&module](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module.Get(), name));
  };
  const auto start = reinterpret_cast<StartSession>(find("RmStartSession"));
  const auto add = reinterpret_cast<RegisterResources>(find("RmRegisterResources"));
  const auto list = reinterpret_cast<GetList>(find("RmGetList"));
  const auto end = reinterpret_cast<EndSession>(find("RmEndSession"));
  if (start == nullptr || add == nullptr || list == nullptr || end == nullptr) return false;
  DWORD session = 0;
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
  if (start(&session, 0, key) != ERROR_SUCCESS) return false;
  // The Restart Manager takes the drive-letter form.
  const size_t drive = DriveAt(path);
  LPCWSTR files[] = {drive != kNoDrive ? path + drive : path};
  constexpr UINT kMostHolders = 4;
  RM_PROCESS_INFO holders[kMostHolders];
  UINT needed = 0, count = kMostHolders;
  DWORD reasons = 0;
  const bool listed = add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
                      list(session, &needed, &count, holders, &reasons) == ERROR_SUCCESS;
  (void)end(session);  // the list is had; nothing else depends on ending
  if (!listed || count == 0) return false;
  out[0] = 0;
  for (UINT i = 0; i < count && i < kMostHolders; ++i) {
    wchar_t line[CCH_RM_MAX_APP_NAME + 64];
    (void)_snwprintf(line, CCH_RM_MAX_APP_NAME + 63, L"\nHeld by %ls (process %lu, session %lu)",
                     holders[i].strAppName, holders[i].Process.dwProcessId, holders[i].TSSessionId);
    line[CCH_RM_MAX_APP_NAME + 63] = 0;
    AppendCut(out, capacity, line);
  }
  return true;
}

}  // namespace

bool RunIsLogged() { return g_silent != 0 || LogRecordsRun(); }

void RecordStart(const wchar_t* commandLine) {
  if (!LogRecordsRun()) return;
  wchar_t text[kLogMessageChars];
  (void)_snwprintf(text, kLogMessageChars - 1, L"%ls %u.%u started, %ls\nCommand line: %ls",
                   kSetupCaption, kVersionMajor, kVersionMinor, Account(), commandLine);
  text[kLogMessageChars - 1] = 0;  // a longer command line is cut
  WriteInstallLog(text);
}

void RecordFolder(const wchar_t* folder) {
  if (!LogRecordsRun()) return;
  wchar_t text[kLogMessageChars] = L"Folder: ";
  AppendCut(text, kLogMessageChars, folder);
  WriteInstallLog(text);
}

void RecordNotDone(const wchar_t* name, unsigned long error, bool removing) {
  if (!LogRecordsRun()) return;
  wchar_t text[kLogMessageChars];
  wchar_t why[kLogMessageChars / 2];
  DescribeError(error, why, kLogMessageChars / 2);
  (void)_snwprintf(text, kLogMessageChars - 1, L"%ls: %ls\n%ls",
                   removing ? L"Not removed" : L"Not installed", name, why);
  text[kLogMessageChars - 1] = 0;
  WriteInstallLog(text);
}

void RecordOutcome(int exitCode) {
  if (!LogRecordsRun()) return;
  const wchar_t* words = ExitCodeWords(exitCode);
  wchar_t text[kLogMessageChars];
  (void)_snwprintf(text, kLogMessageChars - 1, L"Finished with exit code %d: %ls", exitCode,
                   words != nullptr ? words : L"not an outcome the setup defines");
  text[kLogMessageChars - 1] = 0;
  WriteInstallLog(text);
}

void LogViewerProcess(DWORD id, DWORD session) {
  if (!RunIsLogged() || id == 0) return;
  wchar_t text[128];
  (void)_snwprintf(text, 127, L"Pixelmoor runs from this folder as process %lu in session %lu",
                   id, session);
  text[127] = 0;
  WriteInstallLog(text);
}

void LogFileInUse(const wchar_t* name, const wchar_t* path) {
  if (!RunIsLogged()) return;
  wchar_t text[kLogMessageChars] = L"In use: ";
  AppendCut(text, kLogMessageChars, name);
  wchar_t holders[kLogMessageChars / 2];
  if (!DescribeHolders(path, holders, kLogMessageChars / 2)) {
    (void)CopyText(holders, kLogMessageChars / 2, L"\nHeld by a program the Restart Manager cannot name");
  }
  AppendCut(text, kLogMessageChars, holders);
  WriteInstallLog(text);
}
