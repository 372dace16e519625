// The installation as a run reports it: the engine, then a message box in an
// interactive run or the install log in a silent one.
#pragma once

#include <stddef.h>

#include "install/engine.h"

// Set to 1 at start-up when the command line asks for a silent run; a silent
// run reports through the install log, an interactive one by message box.
extern int g_silent;

// The payload resource of the program's own module; false when it is missing or empty.
bool FindPayload(const void** bytes, size_t* size);

// Room for a folder that a run works on, made a full path.
constexpr size_t kFullFolderChars = 520;

// `folder` as the engine takes it (room for kFullFolderChars): a full path as
// it is, a relative one taken from the current directory, where the run
// started. False when it does not fit.
bool FullFolder(const wchar_t* folder, wchar_t* full);

// What the engine is given for a folder a run chose. It keeps its own copy of
// the folder, so it may outlive the caller's text (but not be copied).
class PreparedInstall {
 public:
  PreparedInstall() = default;
  PreparedInstall(const PreparedInstall&) = delete;
  PreparedInstall& operator=(const PreparedInstall&) = delete;

  // Prepares installing into `folder` (never empty; a relative one is taken
  // from the current directory and, like one without a drive, is not
  // created), with `observer` (may be null) told how it goes. False, with the
  // result in `*failure`, when there is no payload or the folder is too long.
  bool Prepare(const wchar_t* folder, InstallObserver* observer, InstallResult* failure);
  const InstallRequest& Request() const { return request_; }

 private:
  InstallRequest request_ = {};
  wchar_t folder_[kFullFolderChars] = {};
  wchar_t record_folder_[kFolderPathChars] = {};
};

// Tells the log of the files in use, the files an update kept and the
// record's problems (when the run logs) and, with "/log=", of each entry not
// installed or removed and of each folder others may change.
class LoggingObserver : public InstallObserver {
 public:
  void OnOpenToOthers(const wchar_t* folder, const void* account, bool owner) override;
  void OnInUse(const wchar_t* name, const wchar_t* path) override;
  void OnNotInstalled(const wchar_t* name, unsigned long error) override;
  void OnKeptChanged(const wchar_t* name) override;
  void OnNotRemoved(const wchar_t* name, unsigned long error) override;
  void OnKeptInUse(const wchar_t* name) override;
  void OnRecordProblem(const wchar_t* folder, RecordProblem problem, unsigned long error) override;
  void OnRecordMoved(const wchar_t* plugins) override;
};

// The installation record's folder for this run (RecordFolderFor its
// account) into `path` (kFolderPathChars); null when it cannot be found, and
// the run keeps no record.
const wchar_t* RunRecordFolder(wchar_t* path);

// Reports `result`: kMsgInstalled on success, otherwise the outcome's message;
// shown (with `caption`) in an interactive run, logged in a silent one when it
// is a problem. Returns the exit code (SetupExitCode).
int ReportInstall(const InstallResult& result, const wchar_t* caption);

// Installs the payload into folder\Plugins\ and reports, on this thread:
// PreparedInstall, InstallPayload and ReportInstall. Waits while another
// setup installs. Returns the exit code (SetupExitCode): kExitInstalled when
// every entry was installed.
int InstallPlugins(const wchar_t* folder, const wchar_t* caption);
