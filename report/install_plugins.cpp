#include "report/install_plugins.h"

#include <windows.h>

#include "base/path_split.h"
#include "base/text.h"
#include "framework/winapp.h"
#include "fs/folder_rights.h"
#include "install/install_record.h"
#include "report/install_log.h"
#include "report/outcome.h"
#include "report/run_record.h"
#include "report/tell.h"
#include "res/setup_identity.h"

int g_silent = 0;

bool FindPayload(const void** bytes, size_t* size) {
  HMODULE module = AfxGetResourceHandle();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kPayloadId), kPayloadType);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return false;
  *bytes = LockResource(loaded);
  *size = SizeofResource(module, found);
  return *bytes != nullptr && *size != 0;
}

bool FullFolder(const wchar_t* folder, wchar_t* full) {
  if (IsFullPath(folder)) return CopyText(full, kFullFolderChars, folder);
  const DWORD length = GetFullPathNameW(folder, kFullFolderChars, full, nullptr);
  return length > 0 && length < kFullFolderChars;
}

bool PreparedInstall::Prepare(const wchar_t* folder, InstallObserver* observer,
                              InstallResult* failure) {
  request_ = InstallRequest{};
  request_.observer = observer;
  if (!FindPayload(&request_.payload, &request_.payloadBytes)) {
    *failure = {InstallStatus::kCantStage, 0};
    return false;
  }
  // Only a folder with a drive (also behind \\?\) is created; a relative one
  // is taken from where the run started, and the engine is given the full path.
  request_.makeMissingFolders = DriveAt(folder) != kNoDrive;
  if (!FullFolder(folder, folder_)) {
    *failure = {InstallStatus::kPathTooLong, 0};
    return false;
  }
  request_.folder = folder_;
  request_.recordFolder = RunRecordFolder(record_folder_);
  request_.package = kPackageVersion;
  request_.setup = GetModuleHandleW(nullptr);  // the Apps & features entry runs a copy of it
  return true;
}

const wchar_t* RunRecordFolder(wchar_t* path) {
  return RecordFolderFor(CurrentRunAccount(), path) ? path : nullptr;
}

int ReportInstall(const InstallResult& result, const wchar_t* caption) {
  const OutcomeReport& report = ReportFor(result.status);
  wchar_t text[kMessageChars];
  (void)LoadMessage(report.message, text, kMessageChars);  // empty when missing: still reported
  // A person hears every outcome; the log only of problems.
  if (!RunTellsTheLog() || report.logged) Tell(text, caption, report.icon);
  return report.exitCode;
}

void LoggingObserver::OnOpenToOthers(const wchar_t* folder, const void* account, bool owner) {
  RecordOpenToOthers(folder, account, owner);
}

void LoggingObserver::OnInUse(const wchar_t* name, const wchar_t* path) { LogFileInUse(name, path); }

void LoggingObserver::OnNotInstalled(const wchar_t* name, unsigned long error) {
  RecordNotDone(name, error, false);
}

void LoggingObserver::OnKeptChanged(const wchar_t* name) { LogKeptChanged(name); }

void LoggingObserver::OnNotRemoved(const wchar_t* name, unsigned long error) { RecordNotDone(name, error, true); }

void LoggingObserver::OnKeptInUse(const wchar_t* name) { LogFolderKeptInUse(name); }

void LoggingObserver::OnRecordProblem(const wchar_t* folder, RecordProblem problem, unsigned long error) {
  LogRecordProblem(folder, problem, error);
}

void LoggingObserver::OnRecordMoved(const wchar_t* plugins) { LogRecordMoved(plugins); }

int InstallPlugins(const wchar_t* folder, const wchar_t* caption) {
  PreparedInstall prepared;
  InstallResult result;
  LoggingObserver logging;
  if (prepared.Prepare(folder, &logging, &result)) result = InstallPayload(prepared.Request());
  return ReportInstall(result, caption);
}
