#include "install/finishing_files.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "base/text.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"

void CALLBACK FinishingFiles::Flush(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK) {
  auto* slot = static_cast<Slot*>(context);
  // Read back while it is in the cache, beside the inflating of the next
  // entries; on a share that reads from the other end, so it is watched too.
  if (slot->digest && (slot->watch == nullptr || !slot->watch->Exhausted())) {
    WatchedCall call(slot->watch, WaitsFor::kTheDisk);
    LARGE_INTEGER start = {};
    slot->digested = SetFilePointerEx(slot->file.Get(), start, nullptr, FILE_BEGIN) &&
                     slot->digester.Digest(slot->file.Get(), static_cast<unsigned char*>(slot->buffer.Get()),
                                           kDigestBufferBytes, &slot->digested_as, false);
  }
  bool flushed;
  {
    WatchedCall call(slot->watch, WaitsFor::kTheDisk);  // a flush on a share waits on the other end
    flushed = slot->file.Flush();
    if (!flushed) slot->error = GetLastError();
  }
  slot->flushed = flushed;
}

PendingFile* FinishingFiles::NextFile(int* rc) {
  *rc = count_ == kInFlight ? FinishOldest() : kUnpackOk;
  if (*rc == kUnpackWriteFailed) return nullptr;
  return &slots_[(oldest_ + count_) % kInFlight].file;
}

void FinishingFiles::Submit(const wchar_t* name, uint32_t crc) {
  Slot& slot = slots_[(oldest_ + count_++) % kInFlight];
  if (!CopyText(slot.name, kEntryNameChars, name)) slot.name[0] = 0;  // an empty name is never taken
  slot.error = 0;
  slot.watch = watch_;
  if (installed_ != nullptr && !slot.buffer) {
    slot.buffer.Reset(malloc(kDigestBufferBytes));
    if (slot.buffer && !slot.digester.Open()) slot.buffer.Reset();
  }
  slot.digest = static_cast<bool>(slot.buffer);  // without one, the record reads the file back later
  slot.digested = false;
  slot.digested_as.crc = crc;  // checked as it was inflated
  if (watch_ != nullptr && watch_->Exhausted()) {
    // It would never take its name: not flushed, as one that was cancelled.
    slot.error = ERROR_OPERATION_ABORTED;
    slot.flushed = false;
    return;
  }
  // Without the pool (no work item could be made), the flush is done here.
  if (!slot.work) slot.work.Reset(CreateThreadpoolWork(&Flush, &slot, nullptr));
  if (slot.work) {
    SubmitThreadpoolWork(slot.work.Get());
  } else {
    Flush(nullptr, &slot, nullptr);
  }
}

int FinishingFiles::FinishOldest() {
  Slot& slot = slots_[oldest_];
  oldest_ = (oldest_ + 1) % kInFlight;
  --count_;
  if (slot.work) WaitForThreadpoolWorkCallbacks(slot.work.Get(), FALSE);
  // After a file the disk refused, none written later takes its name.
  const bool cancelled = !slot.flushed && slot.error == ERROR_OPERATION_ABORTED;
  if (failed_ == 0 && !slot.flushed && !cancelled) failed_ = slot.error != 0 ? slot.error : ERROR_WRITE_FAULT;
  bool put = false;
  bool held = false;  // another program kept it from its name
  DWORD error = failed_;
  if (failed_ != 0) {
    // Refused by the disk: this one and every later one stay unnamed.
  } else if (cancelled || (watch_ != nullptr && watch_->Exhausted())) {
    error = ERROR_OPERATION_ABORTED;  // it, or the run, waited too long
  } else if (slot.name[0] == 0) {
    error = ERROR_INVALID_NAME;  // an empty name is never taken
  } else {
    put = slot.file.PutInPlace(LeafOf(slot.name), order_, watch_);
    error = GetLastError();
    held = !put && (error == ERROR_SHARING_VIOLATION || error == ERROR_OPERATION_ABORTED ||
                    error == kErrorOplockBreaking);
    // Its folder may have been moved meanwhile (folders are held for lookup
    // only): then it lies elsewhere, and is not installed.
    ItemFacts facts;
    if (put && target_ != nullptr && !target_->Holds(slot.file.Get(), slot.name, wcslen(slot.name), &facts)) {
      put = false;
      error = GetLastError();
    }
  }
  if (put && slot.digested) {
    RecordedFile file;
    (void)CopyText(file.name, kEntryNameChars, slot.name);  // it fits: it came from there
    file.size = slot.digested_as.size;
    file.crc = slot.digested_as.crc;
    memcpy(file.sha256, slot.digested_as.sha256, sizeof file.sha256);
    (void)installed_->AddFile(file);  // one it could not take is read back for the record
  }
  // Not put in place, it stays marked for deletion: it goes, and its space
  // with it (one whose folder was moved stays there).
  if (!put && observer_ != nullptr) {
    if (held) {
      wchar_t path[kBelowPathChars];
      const bool located = target_ != nullptr && target_->PathBelow(slot.name, wcslen(slot.name), path);
      observer_->OnInUse(slot.name, located ? path : slot.name);
    }
    observer_->OnNotInstalled(slot.name, error);
  }
  slot.file.Close();
  if (failed_ != 0) return kUnpackWriteFailed;
  return put ? kUnpackOk : kUnpackFilesSkipped;
}

int FinishingFiles::FinishAll() {
  // After a refused file the rest are finished too: each is told as not installed.
  int result = failed_ != 0 ? kUnpackWriteFailed : kUnpackOk;
  while (count_ > 0) {
    const int rc = FinishOldest();
    if (rc != kUnpackOk && result != kUnpackWriteFailed) result = rc;
  }
  return result;
}
