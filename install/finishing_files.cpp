#include "install/finishing_files.h"

#include "text/text.h"

void CALLBACK FinishingFiles::Flush(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK) {
  auto* slot = static_cast<Slot*>(context);
  slot->flushed = slot->file.Flush();
}

PendingFile* FinishingFiles::NextFile(int* rc) {
  *rc = count_ == kInFlight ? FinishOldest() : kUnpackOk;
  if (*rc == kUnpackWriteFailed) return nullptr;
  return &slots_[(oldest_ + count_) % kInFlight].file;
}

void FinishingFiles::Submit(const wchar_t* leaf) {
  Slot& slot = slots_[(oldest_ + count_++) % kInFlight];
  if (!CopyText(slot.leaf, kEntryNameChars, leaf)) slot.leaf[0] = 0;  // an empty name is never taken
  // Without the pool (no work item could be made), the flush is done here.
  if (!slot.work) slot.work.Reset(CreateThreadpoolWork(&Flush, &slot, nullptr));
  if (slot.work) {
    SubmitThreadpoolWork(slot.work.Get());
  } else {
    slot.flushed = slot.file.Flush();
  }
}

int FinishingFiles::FinishOldest() {
  Slot& slot = slots_[oldest_];
  oldest_ = (oldest_ + 1) % kInFlight;
  --count_;
  if (slot.work) WaitForThreadpoolWorkCallbacks(slot.work.Get(), FALSE);
  // After a file the disk refused, none written later takes its name.
  failed_ = failed_ || !slot.flushed;
  if (failed_) {
    slot.file.Close();  // marked for deletion: it goes, and its space with it
    return kUnpackWriteFailed;
  }
  const bool put = slot.leaf[0] != 0 && slot.file.PutInPlace(slot.leaf);
  slot.file.Close();
  return put ? kUnpackOk : kUnpackFilesSkipped;
}

int FinishingFiles::FinishAll() {
  int result = kUnpackOk;
  while (count_ > 0) {
    const int rc = FinishOldest();
    if (rc == kUnpackWriteFailed) return rc;
    if (rc != kUnpackOk) result = rc;
  }
  return result;
}
