#include "report/run_record.h"

#include <restartmanager.h>
#include <sddl.h>
#include <stdlib.h>
#include <wchar.h>

#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/folder_rights.h"
#include "install/apps_entry.h"
#include "install/install_record.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/tell.h"
#include "res/setup_identity.h"

namespace {

// Appends as much of `src` as fits: a long name still leaves its entry.
void AppendCut(wchar_t* dst, size_t capacity, const wchar_t* src) {
  const size_t length = TextLength(dst);
  if (length + 1 < capacity) CopyTextCut(dst + length, capacity - length, src);
}

// The same for a text another program chose (a process's name): a line break
// in it could forge an entry, so control characters become "?".
void AppendForeign(wchar_t* dst, size_t capacity, const wchar_t* src) {
  const size_t length = TextLength(dst);
  AppendCut(dst, capacity, src);
  for (wchar_t* p = dst + length; *p != 0; ++p) {
    if (IsControlCharacter(*p)) *p = L'?';
  }
}

// How the process runs, as an administrator reading the log asks it.
const wchar_t* Account() {
  switch (CurrentRunAccount()) {
    case RunAccount::kSystem: return L"as SYSTEM";
    case RunAccount::kElevated: return L"elevated";
    case RunAccount::kNotElevated: return L"not elevated";
    case RunAccount::kUnknown: break;
  }
  return L"elevation unknown";
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
  out[0] = 0;
  AppendCut(out, capacity, L"Windows error ");
  (void)AppendDecimal(out, capacity, error, 1);  // fits: the text comes after it
  AppendCut(out, capacity, L": ");
  AppendCut(out, capacity, text);
}

// " (process N, session S)".
void AppendProcess(wchar_t* out, size_t capacity, unsigned long id, unsigned long session) {
  AppendCut(out, capacity, L" (process ");
  (void)AppendDecimal(out, capacity, id, 1);  // too long a line loses its end only
  AppendCut(out, capacity, L", session ");
  (void)AppendDecimal(out, capacity, session, 1);
  AppendCut(out, capacity, L")");
}

// Who holds the file at `path`, as the Restart Manager tells, into `out`;
// false when it cannot tell. Its DLL loads only when a file is in use, and
// a system without it ends the run (the delay-load hook).
bool DescribeHolders(const wchar_t* path, wchar_t* out, size_t capacity) {
  // The Restart Manager takes the form programs name files by.
  wchar_t plain[kLogMessageChars];
  if (!PlainPathForm(path, plain, kLogMessageChars)) return false;
  DWORD session = 0;
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return false;
  LPCWSTR files[] = {plain};
  UINT needed = 0, count = 0;
  DWORD reasons = 0;
  ScopedMalloc room;
  bool listed = RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS;
  // Asked once for how many hold it, then for them (more may come meanwhile).
  for (int attempt = 0; listed && attempt < 3; ++attempt) {
    room.Reset(needed > 0 ? malloc(needed * sizeof(RM_PROCESS_INFO)) : nullptr);
    count = room ? needed : 0;
    const DWORD rc = RmGetList(session, &needed, &count, static_cast<RM_PROCESS_INFO*>(room.Get()), &reasons);
    if (rc == ERROR_SUCCESS) break;
    listed = rc == ERROR_MORE_DATA && attempt < 2;
  }
  (void)RmEndSession(session);  // the list is had; nothing else depends on ending
  if (!listed || count == 0 || !room) return false;
  const auto* holders = static_cast<const RM_PROCESS_INFO*>(room.Get());
  out[0] = 0;
  for (UINT i = 0; i < count; ++i) {
    AppendCut(out, capacity, L"\nHeld by ");
    AppendForeign(out, capacity, holders[i].strAppName);
    AppendProcess(out, capacity, holders[i].Process.dwProcessId, holders[i].TSSessionId);
  }
  return true;
}

}  // namespace

bool RunIsLogged() { return RunTellsTheLog() || LogRecordsRun(); }

void RecordStart(const wchar_t* commandLine) {
  if (!LogRecordsRun()) return;
  wchar_t text[kLogMessageChars] = {};
  AppendCut(text, kLogMessageChars, kSetupCaption);
  AppendCut(text, kLogMessageChars, L" ");
  (void)AppendDecimal(text, kLogMessageChars, kVersionMajor, 1);  // the caption is short
  AppendCut(text, kLogMessageChars, L".");
  (void)AppendDecimal(text, kLogMessageChars, kVersionMinor, 1);
  AppendCut(text, kLogMessageChars, L" started, ");
  AppendCut(text, kLogMessageChars, Account());
  AppendCut(text, kLogMessageChars, L"\nCommand line: ");
  AppendCut(text, kLogMessageChars, commandLine);  // a longer one is cut
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
  (void)CopyText(text, kLogMessageChars, removing ? L"Not removed: " : L"Not installed: ");
  AppendCut(text, kLogMessageChars, name);
  AppendCut(text, kLogMessageChars, L"\n");
  wchar_t why[kLogMessageChars / 2];
  DescribeError(error, why, kLogMessageChars / 2);
  AppendCut(text, kLogMessageChars, why);
  WriteInstallLog(text);
}

void RecordOpenToOthers(const wchar_t* folder, const void* account, bool owner) {
  if (!LogRecordsRun()) return;
  PSID sid = const_cast<void*>(account);
  wchar_t text[kLogMessageChars] = L"Warning: a user who is no administrator may change ";
  wchar_t plain[kLogMessageChars];
  AppendCut(text, kLogMessageChars, PlainPathForm(folder, plain, kLogMessageChars) ? plain : folder);
  AppendCut(text, kLogMessageChars, L", and so the plug-ins every user of Pixelmoor loads.\n");
  if (sid == nullptr) {
    AppendCut(text, kLogMessageChars, L"Its owner and permissions cannot be read.");
    WriteInstallLog(text);
    return;
  }
  AppendCut(text, kLogMessageChars, owner ? L"Owner: " : L"Allowed by its permissions: ");
  // The name as the system knows it (a domain's names come from the domain), then the SID.
  wchar_t name[256], domain[256];
  DWORD name_chars = 256, domain_chars = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, name, &name_chars, domain, &domain_chars, &use)) {
    if (domain[0] != 0) {
      AppendForeign(text, kLogMessageChars, domain);
      AppendCut(text, kLogMessageChars, L"\\");
    }
    AppendForeign(text, kLogMessageChars, name);
    AppendCut(text, kLogMessageChars, L" ");
  }
  ScopedLocalMemory sid_text;
  if (ConvertSidToStringSidW(sid, reinterpret_cast<wchar_t**>(sid_text.Receive()))) {
    AppendCut(text, kLogMessageChars, L"(");
    AppendCut(text, kLogMessageChars, static_cast<const wchar_t*>(sid_text.Get()));
    AppendCut(text, kLogMessageChars, L")");
  }
  WriteInstallLog(text);
}

void RecordOutcome(int exitCode) {
  if (!LogRecordsRun()) return;
  const wchar_t* words = ExitCodeWords(exitCode);
  wchar_t text[kLogMessageChars] = L"Finished with exit code ";
  // Every code the setup ends with is one of its own, never negative.
  (void)AppendDecimal(text, kLogMessageChars, static_cast<unsigned long>(exitCode), 1);
  AppendCut(text, kLogMessageChars, L": ");
  AppendCut(text, kLogMessageChars, words != nullptr ? words : L"not an outcome the setup defines");
  WriteInstallLog(text);
}

void RecordMissingSystemDll(const wchar_t* dll, const wchar_t* function, unsigned long error) {
  if (!RunIsLogged()) return;
  wchar_t text[kLogMessageChars] = L"Can't load the system library ";
  if (function != nullptr) {
    (void)CopyText(text, kLogMessageChars, L"Can't find the function ");
    AppendCut(text, kLogMessageChars, function);
    AppendCut(text, kLogMessageChars, L" in the system library ");
  }
  AppendCut(text, kLogMessageChars, dll);
  AppendCut(text, kLogMessageChars, L"\n");
  wchar_t why[kLogMessageChars / 2];
  DescribeError(error, why, kLogMessageChars / 2);
  AppendCut(text, kLogMessageChars, why);
  WriteInstallLog(text);
}

void LogViewerProcess(DWORD id, DWORD session) {
  if (!RunIsLogged() || id == 0) return;
  wchar_t text[128] = L"Pixelmoor runs from this folder as process ";
  (void)AppendDecimal(text, 128, id, 1);  // 128 characters hold both numbers
  (void)AppendText(text, 128, L" in session ");
  (void)AppendDecimal(text, 128, session, 1);
  WriteInstallLog(text);
}

void LogFileInUse(const wchar_t* name, const wchar_t* path) {
  if (!RunIsLogged()) return;
  wchar_t text[kLogMessageChars] = L"In use: ";
  // An entry's name stays as it is; the Plugins folder's path loses "\\?\".
  wchar_t plain[kLogMessageChars];
  AppendCut(text, kLogMessageChars, PlainPathForm(name, plain, kLogMessageChars) ? plain : name);
  wchar_t holders[kLogMessageChars / 2];
  if (!DescribeHolders(path, holders, kLogMessageChars / 2)) {
    (void)CopyText(holders, kLogMessageChars / 2, L"\nHeld by a program the Restart Manager cannot name");
  }
  AppendCut(text, kLogMessageChars, holders);
  WriteInstallLog(text);
}

void LogFolderKeptInUse(const wchar_t* name) {
  if (!RunIsLogged()) return;
  wchar_t text[kLogMessageChars] = L"Kept in use: ";
  AppendCut(text, kLogMessageChars, name);
  AppendCut(text, kLogMessageChars, L"\nThe folder is empty, but another program has it open.");
  WriteInstallLog(text);
}

void LogKeptChanged(const wchar_t* name) {
  if (!RunIsLogged()) return;
  wchar_t text[kLogMessageChars];
  (void)LoadMessage(kMsgKeptChanged, text, kLogMessageChars);  // empty when missing: the name still tells
  AppendCut(text, kLogMessageChars, L"\n");
  AppendCut(text, kLogMessageChars, name);
  WriteInstallLog(text);
}

void LogRecordProblem(const wchar_t* folder, RecordProblem problem, unsigned long error) {
  if (!RunIsLogged()) return;
  const bool entry = problem == RecordProblem::kEntryNotWritten || problem == RecordProblem::kEntryNotRemoved;
  wchar_t text[kLogMessageChars];
  (void)CopyText(text, kLogMessageChars,
                 problem == RecordProblem::kNotWritten        ? L"Installation record not written: "
                 : problem == RecordProblem::kNotDeleted      ? L"Installation record not removed: "
                 : problem == RecordProblem::kEntryNotWritten ? L"Apps & features entry not written: "
                 : problem == RecordProblem::kEntryNotRemoved ? L"Apps & features entry not removed: "
                                                              : L"Installation record not used: ");
  if (entry) {
    AppendCut(text, kLogMessageChars,
              EntryPlaceFor(CurrentRunAccount()).hive == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\");
    AppendCut(text, kLogMessageChars, kEntryKey);
  } else {
    wchar_t plain[kLogMessageChars];
    AppendCut(text, kLogMessageChars, PlainPathForm(folder, plain, kLogMessageChars) ? plain : folder);
    AppendCut(text, kLogMessageChars, L"\\");
    AppendCut(text, kLogMessageChars, kRecordFileName);
  }
  AppendCut(text, kLogMessageChars, L"\n");
  if (problem == RecordProblem::kUntrusted) {
    AppendCut(text, kLogMessageChars, L"Its folder is a link, or a user who is no administrator may change it.");
  } else if (problem == RecordProblem::kDamaged) {
    AppendCut(text, kLogMessageChars, L"It is damaged, or written by a release that this one cannot read.");
  } else {
    wchar_t why[kLogMessageChars / 2];
    DescribeError(error, why, kLogMessageChars / 2);
    AppendCut(text, kLogMessageChars, why);
  }
  WriteInstallLog(text);
}

void LogRecordMoved(const wchar_t* plugins) {
  if (!LogRecordsRun()) return;  // no problem of this run's
  wchar_t text[kLogMessageChars] = L"No longer recorded: ";
  AppendCut(text, kLogMessageChars, plugins);
  AppendCut(text, kLogMessageChars,
            L"\nThe installation record now names this run's folder; /uninstall removes the plug-ins "
            L"in that one by the package alone.");
  WriteInstallLog(text);
}
