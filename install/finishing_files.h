// Files whose data is written, flushed to the disk on the system's thread pool
// while the next entries are inflated, and put in place in the order they
// were written. A flush waits on the disk, not on the processor: several in
// flight cost about what one does.
#pragma once

#include <windows.h>

#include <stddef.h>

#include <atomic>

#include "archive/archive_rules.h"
#include "base/scoped.h"
#include "fs/call_watch.h"
#include "fs/pending_file.h"
#include "fs/target_folder.h"
#include "install/file_digest.h"
#include "install/install_observer.h"
#include "install/install_record.h"

// Files still in flight when it goes never take their names: they stay
// marked for deletion and go as they close. Each file that does not take its
// name is told to `observer` (may be null), on the thread that finishes it.
// Files take their names in `order`; each flush and each putting in place is
// bounded by `watch` (may be null), and a cancelled one counts as that file
// in use. Once the watch is exhausted, no further file takes its name. A file
// that another program keeps from its name is told as in use first, at its
// path below `target` (may be null: then by its name alone). With
// `installed`, each file that takes its name is added to it with its size and
// SHA-256, read back on the pool's thread before its flush while the next
// entries are inflated, and the CRC-32 its data came out with.
class FinishingFiles {
 public:
  FinishingFiles(InstallObserver* observer, ReplaceOrder order, CallWatch* watch,
                 const TargetFolder* target, InstallRecord* installed = nullptr)
      : observer_(observer), order_(order), watch_(watch), target_(target), installed_(installed) {}
  FinishingFiles(const FinishingFiles&) = delete;
  FinishingFiles& operator=(const FinishingFiles&) = delete;

  // A file to write the next entry to (opened for reading and writing); its
  // folder must stay held until it is finished. When every slot is in flight the oldest is finished first, and
  // `*rc` gets its result as FinishOldest gives it (kUnpackOk otherwise).
  PendingFile* NextFile(int* rc);

  // Starts flushing the file that NextFile gave, to take the entry's name
  // `name` (below kEntryNameChars; the file takes its last part) once its
  // data is on the disk; `crc` is the CRC-32 its data came out with.
  void Submit(const wchar_t* name, uint32_t crc = 0);

  // Finishes every file in flight, oldest first. Returns kUnpackOk,
  // kUnpackFilesSkipped when one could not be put in place, or
  // kUnpackWriteFailed when the disk refused one's data: neither that one
  // nor any later one takes its name, also when finished again. A flush that
  // the watch cancelled is no refusal of the disk: only that file is skipped.
  int FinishAll();

 private:
  static constexpr size_t kInFlight = 4;
  static constexpr DWORD kDigestBufferBytes = 64 << 10;

  struct Slot {
    PendingFile file;
    wchar_t name[kEntryNameChars] = {};
    DWORD error = 0;  // why the flush failed: written before `flushed`, read after it
    std::atomic<bool> flushed{false};  // written on the pool's thread, read after waiting for it
    CallWatch* watch = nullptr;  // the owner's, for the pool's thread
    // Its digest, when one is wanted: taken on the pool's thread, read after waiting for it.
    FileDigester digester;
    ScopedMalloc buffer;  // kDigestBufferBytes, made with the slot's digester
    bool digest = false;
    bool digested = false;
    FileDigest digested_as = {};
    ScopedThreadpoolWork work;  // gone first: it waits for the flush; null without the pool
  };

  static void CALLBACK Flush(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK);
  // Waits for the oldest file's flush and renames it: kUnpackOk,
  // kUnpackFilesSkipped (a folder or a file in use at its name) or
  // kUnpackWriteFailed.
  int FinishOldest();

  Slot slots_[kInFlight];
  size_t oldest_ = 0, count_ = 0;
  InstallObserver* observer_;
  ReplaceOrder order_;
  CallWatch* watch_;
  const TargetFolder* target_;
  InstallRecord* installed_;
  DWORD failed_ = 0;  // the error with which the disk refused a file's data
};
