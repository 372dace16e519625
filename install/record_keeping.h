// The installation record's part in an installation: the files of an
// earlier release that this one no longer carries, their removal once the
// new files are in, and the record the run leaves of what is now installed.
#pragma once

#include "base/scoped.h"
#include "fs/call_watch.h"
#include "fs/folder_rights.h"
#include "fs/target_folder.h"
#include "install/install_observer.h"
#include "install/install_record.h"
#include "install/removal.h"
#include "unzip.h"

class RecordKeeping {
 public:
  // For installing into the held `plugins`, with the record in `recordFolder`
  // (may be null: none is kept) as a run as `account` may keep it. `observer`
  // (may be null) hears of files kept and of the record's problems. The
  // Apps & features entry runs a copy of `setup` (the running setup's
  // module; null: no entry is written).
  RecordKeeping(const wchar_t* recordFolder, RunAccount account, const TargetFolder& plugins,
                InstallObserver* observer, HMODULE setup)
      : record_folder_(recordFolder), account_(account), plugins_(plugins), observer_(observer), setup_(setup) {}
  RecordKeeping(const RecordKeeping&) = delete;
  RecordKeeping& operator=(const RecordKeeping&) = delete;

  // Before anything changes: makes the record's folder where missing, takes
  // its lock, reads the record, and finds the files it names that the open
  // `payload` does not carry (compared as the file system compares names).
  // kTimedOut (another setup held the lock too long) and kOutOfMemory end
  // the run with nothing changed.
  enum class Start { kReady, kTimedOut, kOutOfMemory };
  Start Read(unzFile payload);
  // True when the run is to leave a record: the files it puts in place are
  // then to be digested as they are written.
  bool KeepsRecord() const;
  // How many of those are in use (CountRecordedInUse).
  size_t CountDroppedInUse() const;

  // After unpacking: removes each of those files that still has its recorded
  // size and SHA-256 (a changed one stays, told), then the folders that this
  // empties and the payload does not use. False when one could not be removed.
  bool RemoveDropped(CallWatch* watch);

  // Leaves the record of what is now installed: each file of `payload` in
  // place with its entry's size and CRC-32, the earlier record's line of
  // each file of it that is not, and of each dropped file that could not be
  // removed; `package` is the package version. A record it could not write
  // is told, and the earlier one of this folder is deleted, which no longer
  // names what is installed, with its Apps & features entry. After a record
  // is written, so is the entry (KeepEntry).
  // `installed` holds the files this run put in place, with their digests
  // (taken as they were written); any other is read back.
  void Write(unzFile payload, const wchar_t* package, const InstallRecord& installed);

 private:
  const wchar_t* record_folder_;
  RunAccount account_;
  const TargetFolder& plugins_;
  InstallObserver* observer_;
  HMODULE setup_;
  RecordFound found_ = RecordFound::kNone;
  TargetFolder folder_;
  SetupLock lock_;  // held from the reading to the writing
  InstallRecord earlier_;
  ScopedMalloc dropped_;  // a bool per earlier file: this payload does not carry it
  ScopedMalloc kept_;     // a bool per earlier file: dropped, and not (yet) removed
  FolderList payload_folders_;
};
