#include "install/finishing_files.h"

#include "base/text.h"
#include "fs/target_folder.h"

void CALLBACK FinishingFiles::Flush(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK) {
  auto* slot = static_cast<Slot*>(context);
  const bool flushed = slot->file.Flush();
  if (!flushed) slot->error = GetLastError();
  slot->flushed = flushed;
}

PendingFile* FinishingFiles::NextFile(int* rc) {
  *rc = count_ == kInFlight ? FinishOldest() : kUnpackOk;
  if (*rc == kUnpackWriteFailed) return nullptr;
  return &slots_[(oldest_ + count_) % kInFlight].file;
}

void FinishingFiles::Submit(const wchar_t* name) {
  Slot& slot = slots_[(oldest_ + count_++) % kInFlight];
  if (!CopyText(slot.name, kEntryNameChars, name)) slot.name[0] = 0;  // an empty name is never taken
  slot.error = 0;
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
  if (failed_ == 0 && !slot.flushed) failed_ = slot.error != 0 ? slot.error : ERROR_WRITE_FAULT;
  bool put = false;
  if (failed_ == 0) {
    SetLastError(ERROR_INVALID_NAME);  // what an empty name, never taken, reports
    put = slot.name[0] != 0 && slot.file.PutInPlace(LeafOf(slot.name));
  } else {
    SetLastError(failed_);
  }
  // Not put in place, it stays marked for deletion: it goes, and its space with it.
  if (!put && observer_ != nullptr) observer_->OnNotInstalled(slot.name, GetLastError());
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
