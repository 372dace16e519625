#include "fs/pending_file.h"

#include <wchar.h>

#include "fs/relative_file.h"
#include "fs/target_folder.h"
#include "fs/temp_name.h"

bool PendingFile::Create(HANDLE folder, const wchar_t* name, DWORD access, uint32_t* serial) {
  folder_ = folder;
  const uint32_t process = GetCurrentProcessId();
  const RelativeOpen kNew = {access | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, nullptr};
  // Names left by a setup that was killed are skipped.
  for (int attempt = 0; attempt < 32; ++attempt) {
    if (!SiblingTempName(name, process, (*serial)++, temp_, kEntryNameChars)) return false;
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

bool PendingFile::PutInPlace(const wchar_t* leaf) {
  // The mark comes off only for the rename; a rename that fails puts it back.
  if (!MarkForDeletion(file_.Get(), false)) return false;
  if (RenameInFolder(file_.Get(), folder_, leaf, wcslen(leaf))) return true;
  const DWORD error = GetLastError();  // the rename's, which the caller reports
  (void)MarkForDeletion(file_.Get(), true);  // failing, it stays as a leftover the next setup sweeps
  SetLastError(error);
  return false;
}
