#include "report/uninstall_plugins.h"

#include <windows.h>

#include "base/text.h"
#include "install/uninstall.h"
#include "report/exit_code.h"
#include "report/install_log.h"
#include "report/install_plugins.h"
#include "report/messages.h"
#include "report/run_record.h"
#include "report/tell.h"

namespace {

// A box lists this many kept plug-ins; the log names every one.
constexpr int kListedInBox = 5;
constexpr size_t kBoxChars = kMessageChars * (kListedInBox + 2);

// Logs each kept plug-in in a silent run; gathers the first few for the box
// of an interactive one.
class KeptFiles : public UninstallObserver {
 public:
  void OnKeptChanged(const wchar_t* name) override {
    wchar_t line[kMessageChars];
    (void)LoadMessage(kMsgKeptChanged, line, kMessageChars);  // empty when missing: the name still tells
    if (RunTellsTheLog()) {
      LogKeptChanged(name);
    } else if (count_ < kListedInBox) {
      if (count_ == 0) (void)AppendText(list_, kBoxChars, line);
      (void)AppendText(list_, kBoxChars, L"\n");
      (void)AppendText(list_, kBoxChars, name);
    } else if (count_ == kListedInBox) {
      (void)AppendText(list_, kBoxChars, L"\n...");
    }
    ++count_;
  }
  void OnInUse(const wchar_t* name, const wchar_t* path) override { LogFileInUse(name, path); }
  void OnNotRemoved(const wchar_t* name, unsigned long error) override {
    RecordNotDone(name, error, true);
  }
  void OnKeptInUse(const wchar_t* name) override { LogFolderKeptInUse(name); }
  void OnRecordProblem(const wchar_t* folder, RecordProblem problem, unsigned long error) override {
    LogRecordProblem(folder, problem, error);
  }
  const wchar_t* List() const { return list_; }

 private:
  int count_ = 0;
  wchar_t list_[kBoxChars] = {};
};

struct Report {
  int exitCode;
  MessageId message;
  UINT icon;
};

Report ReportFor(UninstallStatus status) {
  switch (status) {
    case UninstallStatus::kRemoved: return {kExitInstalled, kMsgUninstalled, MB_ICONINFORMATION};
    case UninstallStatus::kLockTimedOut:
      return {kExitAnotherSetupRunning, kMsgAnotherSetupRunning, MB_ICONEXCLAMATION};
    case UninstallStatus::kFilesInUse: return {kExitPluginInUse, kMsgFilesInUse, MB_ICONEXCLAMATION};
    default: return {kExitInstallFailed, kMsgCantUninstall, MB_ICONERROR};
  }
}

}  // namespace

int UninstallPlugins(const wchar_t* folder, const wchar_t* caption) {
  UninstallStatus status = UninstallStatus::kSomeNotRemoved;
  KeptFiles kept;
  wchar_t record_folder[kFolderPathChars];
  UninstallRequest request = {nullptr, 0, nullptr, &kept, RunRecordFolder(record_folder), GetModuleHandleW(nullptr)};
  wchar_t full[kFullFolderChars];
  if (FullFolder(folder, full) && FindPayload(&request.payload, &request.payloadBytes)) {
    request.folder = full;
    status = UninstallPayload(request);
  }
  const Report report = ReportFor(status);
  wchar_t text[kBoxChars];
  (void)LoadMessage(report.message, text, kMessageChars);  // empty when missing: still reported
  // The log names each kept file itself; a box lists the first few.
  if (!RunTellsTheLog() && kept.List()[0] != 0) {
    (void)AppendText(text, kBoxChars, L"\n\n");
    (void)AppendText(text, kBoxChars, kept.List());
  }
  // A person hears every outcome; the log only of problems.
  if (!RunTellsTheLog() || report.exitCode != kExitInstalled) Tell(text, caption, report.icon);
  return report.exitCode;
}
