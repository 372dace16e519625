#include "install/in_use.h"

#include <wchar.h>

#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "fs/relative_file.h"

size_t CountFilesInUse(unzFile archive, const TargetFolder& plugins, InUseObserver* observer) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return 0;
  constexpr RelativeOpen kReplace = {DELETE | FILE_WRITE_DATA, 0, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                                     0, nullptr};
  HeldFolders folders(false);  // only looks: nothing swept before the run may change things
  size_t in_use = 0;
  for (uint64_t i = 0; i < global.number_entry; ++i) {
    unz_file_info64 info;
    wchar_t name[kEntryNameChars];
    if (!ReadPlainEntryAt(archive, i, &info, name)) break;  // installing refuses the archive itself
    const size_t length = wcslen(name);
    if (IsEntrySeparator(name[length - 1]) || !folders.Hold(plugins, name, false)) continue;
    const wchar_t* leaf = LeafOf(name);
    ScopedFileHandle file;
    if (OpenInFolder(folders.Innermost(plugins), leaf, wcslen(leaf), kReplace, &file) !=
        OpenOutcome::kBusy) {
      continue;
    }
    ++in_use;
    wchar_t path[kBelowPathChars];
    if (observer != nullptr) observer->OnInUse(name, plugins.PathBelow(name, length, path) ? path : name);
  }
  return in_use;
}
