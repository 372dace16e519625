#include "fs/pending_file.h"

#include <wchar.h>

#include "fs/call_watch.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"
#include "fs/temp_name.h"

ReplaceOrder ReplaceOrderOn(HANDLE folder) {
  DWORD flags = 0;
  if (!GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return ReplaceOrder::kAside;
  }
  return ReplaceOrderFor(flags);
}

bool PendingFile::Create(HANDLE folder, const wchar_t* name, DWORD access, uint32_t* serial) {
  folder_ = folder;
  const uint32_t process = GetCurrentProcessId();
  const RelativeOpen kNew = {access | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, nullptr};
  // Names left by a setup that was killed are skipped.
  for (int attempt = 0; attempt < 32; ++attempt) {
    serial_ = (*serial)++;
    if (!SiblingTempName(name, process, serial_, temp_, kEntryNameChars)) return false;
    const wchar_t* leaf = LeafOf(temp_);
    const OpenOutcome made = OpenInFolder(folder, leaf, wcslen(leaf), kNew, &file_);
    if (made == OpenOutcome::kOpened) {
      if (MarkForDeletion(file_.Get(), true)) return true;
      file_.Reset();  // a leftover that the next setup sweeps
      return false;
    }
    if (made != OpenOutcome::kTaken) return false;
  }
  return false;
}

bool PendingFile::Flush() { return FlushFileBuffers(file_.Get()) != 0; }

bool PendingFile::PutInPlace(const wchar_t* leaf, ReplaceOrder order, CallWatch* watch) {
  const size_t length = wcslen(leaf);
  // The mark comes off only for the rename; a rename that fails puts it back.
  if (!MarkForDeletion(file_.Get(), false)) return false;
  bool put = false;
  if (order == ReplaceOrder::kPosix) {
    WatchedCall call(watch);
    put = RenameInFolder(file_.Get(), folder_, leaf, length, RenameMode::kReplacePosix);
  }
  if (!put && (order == ReplaceOrder::kAside || LacksPosixRename(GetLastError()))) {
    put = PutInPlaceAside(leaf, length, watch);
  }
  if (put) return true;
  const DWORD error = GetLastError();  // the rename's, which the caller reports
  (void)MarkForDeletion(file_.Get(), true);  // failing, it stays as a leftover the next setup sweeps
  SetLastError(error);
  return false;
}

bool PendingFile::PutInPlaceAside(const wchar_t* leaf, size_t length, CallWatch* watch) {
  // The old file is opened as its holders allow: they share delete, or the
  // in-use check would have stopped the run.
  constexpr RelativeOpen kOld = {DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE, 0, nullptr};
  ScopedFileHandle old;
  const OpenOutcome opened = OpenInFolder(folder_, leaf, length, kOld, &old);
  if (opened != OpenOutcome::kOpened && opened != OpenOutcome::kMissing) return false;  // a folder, in use
  // A name in a folder has at most 255 characters. Names left at these by
  // others, or by a killed setup of the same process number, are passed over.
  constexpr size_t kLeafChars = 256;
  bool aside = false;
  wchar_t aside_leaf[kLeafChars];
  for (uint32_t attempt = 0; opened == OpenOutcome::kOpened && !aside && attempt < 8; ++attempt) {
    if (!AsideLeaf(leaf, GetCurrentProcessId(), serial_ + (attempt << 24), aside_leaf, kLeafChars)) break;
    WatchedCall call(watch);
    aside = RenameInFolder(old.Get(), folder_, aside_leaf, wcslen(aside_leaf), RenameMode::kKeep);
    if (!aside && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  if (!aside) {
    // Nothing there (or no aside name to be had): one rename does, which our
    // own handle on the old file would refuse.
    old.Reset();
    WatchedCall call(watch);
    return RenameInFolder(file_.Get(), folder_, leaf, length, RenameMode::kReplace);
  }
  // Killed from here to the delete, the next setup into this folder puts the
  // old file back or deletes it (SweepLeftovers).
  bool put;
  {
    WatchedCall call(watch);
    put = RenameInFolder(file_.Get(), folder_, leaf, length, RenameMode::kKeep);
  }
  if (!put) {
    const DWORD error = GetLastError();
    // Unwatched: the old plug-in gets its name back, whatever the wait.
    (void)RenameInFolder(old.Get(), folder_, leaf, length, RenameMode::kKeep);  // else swept back
    SetLastError(error);
    return false;
  }
  // Deleted now, it goes when its last holder lets go; one that cannot be
  // deleted yet is swept by the next setup.
  WatchedCall call(watch);
  (void)MarkForDeletion(old.Get(), true);
  return true;
}
