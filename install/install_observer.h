// What an installation tells while it runs, for a face that shows progress.
#pragma once

#include <stdint.h>

struct InstallResult;

// Hears of each file of the payload found in use before anything changes,
// and of one that another program kept from its name later.
class InUseObserver {
 public:
  virtual ~InUseObserver() = default;
  // `name` is the entry's name below the Plugins folder (a folder's with its
  // final separator; the Plugins folder's own full path); `path` its full
  // path, for asking the system who holds it.
  virtual void OnInUse(const wchar_t* name, const wchar_t* path) { (void)name, (void)path; }
};

// What can keep the installation record from being used.
enum class RecordProblem {
  kUntrusted,   // its folder is a link, or others may change it: it was neither read nor written
  kDamaged,     // it is no record this release reads (damaged, another format): it was not read
  kUnreadable,  // it or its folder could not be read (a Windows error)
  kNotWritten,  // the new one could not be written (a Windows error): an earlier one of this
                // folder is deleted, as it no longer names what is installed
  kNotDeleted,  // it could not be deleted (a Windows error): by /uninstall, or after kNotWritten
  kEntryNotWritten,  // the Apps & features entry, or its uninstaller copy, could not be written
                     // after the record (a Windows error): no entry is left
  kEntryNotRemoved,  // the entry could not be deleted by /uninstall (a Windows error): the record stays
};

// Hears of what removing files of ours keeps, and of the record that says
// which files are ours. Every call is optional: the defaults do nothing.
class RemovalObserver : public InUseObserver {
 public:
  // `name` (below Plugins) was kept because it differs from what was installed.
  virtual void OnKeptChanged(const wchar_t* name) { (void)name; }
  // A file or folder of ours (`name`, a folder's without its final separator)
  // that could not be removed, for the Windows error `error`.
  virtual void OnNotRemoved(const wchar_t* name, unsigned long error) { (void)name, (void)error; }
  // A folder of ours (`name`, without its final separator) emptied of our
  // files, which another program keeps from being deleted (its current
  // directory, say): it stays, and the run still counts as done.
  virtual void OnKeptInUse(const wchar_t* name) { (void)name; }
  // The record in the folder `folder` could not be used, as `problem` says
  // (`error`: the Windows error, where there is one).
  virtual void OnRecordProblem(const wchar_t* folder, RecordProblem problem, unsigned long error) {
    (void)folder, (void)problem, (void)error;
  }
  // The record described the Plugins folder `plugins`, which it describes no
  // longer: the next record is of the folder this run installed into.
  virtual void OnRecordMoved(const wchar_t* plugins) { (void)plugins; }
};

// Called on the thread that runs the installation, in this order:
// OnOpenToOthers (for each such folder), OnWaiting (only when another setup
// installs), OnInUse for each file in use (and then
// OnDone), OnStarted, OnProgress and OnNotInstalled any number of times
// (OnInUse just before one for a file that another program kept from its name),
// then OnKeptChanged and OnNotRemoved for the files of an earlier release
// that this one no longer carries, OnRecordProblem and OnRecordMoved at any
// point, OnDone last (always, also when nothing was installed). The counts only
// grow. Every call is optional: the defaults do nothing.
class InstallObserver : public RemovalObserver {
 public:
  // In a run elevated or as SYSTEM: the viewer folder or Plugins, at
  // `folder` (its full path), may be changed by `account` (a SID), who is no
  // administrator (null: its permissions cannot be read); as its owner when
  // `owner`. Plug-ins placed there run in the account of everyone who
  // starts the viewer.
  virtual void OnOpenToOthers(const wchar_t* folder, const void* account, bool owner) {
    (void)folder, (void)account, (void)owner;
  }
  // Another setup installs; this one waits for it to finish.
  virtual void OnWaiting() {}
  // The archive checked out: `entries` entries, `totalBytes` of file data.
  virtual void OnStarted(uint64_t entries, uint64_t totalBytes) { (void)entries, (void)totalBytes; }
  // After each entry, and after each mebibyte of a large one: the entries
  // handled (installed or not) and their bytes so far.
  virtual void OnProgress(uint64_t entriesDone, uint64_t bytesDone) { (void)entriesDone, (void)bytesDone; }
  // The entry `name` (as the archive gives it) was not installed; `error` is
  // the Windows error that says why (kErrorThroughLink for a link in its way).
  virtual void OnNotInstalled(const wchar_t* name, unsigned long error) { (void)name, (void)error; }
  // The installation is over with `result`.
  virtual void OnDone(const InstallResult& result) { (void)result; }
};
