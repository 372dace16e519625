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

// Called on the thread that runs the installation, in this order:
// OnOpenToOthers (for each such folder), OnWaiting (only when another setup
// installs), OnInUse for each file in use (and then
// OnDone), OnStarted, OnProgress and OnNotInstalled any number of times
// (OnInUse just before one for a file that another program kept from its name),
// OnDone last (always, also when nothing was installed). The counts only
// grow. Every call is optional: the defaults do nothing.
class InstallObserver : public InUseObserver {
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
