#include "install/in_use.h"

#include <wchar.h>

#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "fs/relative_file.h"

size_t CountFilesInUse(unzFile archive, const TargetFolder& plugins, InUseFor use,
                       InUseObserver* observer) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return 0;
  const bool replacing = use == InUseFor::kReplacing;
  const RelativeOpen probe = {DELETE | FILE_WRITE_DATA, replacing ? kShareAll : FILE_SHARE_READ,
                              FILE_OPEN, FILE_NON_DIRECTORY_FILE, 0, nullptr};
  size_t in_use = 0;
  auto tell = [&](const wchar_t* name, const wchar_t* path) {
    ++in_use;
    if (observer != nullptr) observer->OnInUse(name, path);
  };
  if (replacing && RenamesRefusedIn(plugins.Get())) tell(plugins.Path(), plugins.Path());
  HeldFolders folders(false);  // only looks: nothing swept before the run may change things
  wchar_t probed[kEntryNameChars] = {};  // the folder part of the last file whose folder was probed
  for (uint64_t i = 0; i < global.number_entry; ++i) {
    unz_file_info64 info;
    wchar_t name[kEntryNameChars];
    if (!ReadPlainEntryAt(archive, i, &info, name)) break;  // installing refuses the archive itself
    const size_t length = wcslen(name);
    if (IsEntrySeparator(name[length - 1]) || !folders.Hold(plugins, name, false)) continue;
    const wchar_t* leaf = LeafOf(name);
    wchar_t path[kBelowPathChars];
    // Files of one folder usually come together: each folder is probed once
    // for them (Plugins above), and again only when they do not.
    const size_t folder_chars = static_cast<size_t>(leaf - name);
    if (replacing && folder_chars > 0 && (wcsncmp(probed, name, folder_chars) != 0 || probed[folder_chars] != 0)) {
      wmemcpy(probed, name, folder_chars);
      probed[folder_chars] = 0;
      if (RenamesRefusedIn(folders.Innermost(plugins))) {
        tell(probed, plugins.PathBelow(probed, folder_chars - 1, path) ? path : probed);
      }
    }
    ScopedFileHandle file;
    if (OpenInFolder(folders.Innermost(plugins), leaf, wcslen(leaf), probe, &file) !=
        OpenOutcome::kBusy) {
      continue;
    }
    tell(name, plugins.PathBelow(name, length, path) ? path : name);
  }
  return in_use;
}
