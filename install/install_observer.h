// What an installation tells while it runs, for a face that shows progress.
#pragma once

#include <stdint.h>

struct InstallResult;

// Called on the thread that runs the installation, in this order: OnWaiting
// (only when another setup installs), OnStarted, OnProgress any number of
// times, OnDone last (always, also when nothing was installed). The counts
// only grow. Every call is optional: the defaults do nothing.
class InstallObserver {
 public:
  virtual ~InstallObserver() = default;
  // Another setup installs; this one waits for it to finish.
  virtual void OnWaiting() {}
  // The archive checked out: `entries` entries, `totalBytes` of file data.
  virtual void OnStarted(uint64_t entries, uint64_t totalBytes) { (void)entries, (void)totalBytes; }
  // After each entry, and after each mebibyte of a large one: the entries
  // handled (installed or not) and their bytes so far.
  virtual void OnProgress(uint64_t entriesDone, uint64_t bytesDone) { (void)entriesDone, (void)bytesDone; }
  // The installation is over with `result`.
  virtual void OnDone(const InstallResult& result) { (void)result; }
};
