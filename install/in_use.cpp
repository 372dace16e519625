#include "install/in_use.h"

#include <wchar.h>

#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "fs/relative_file.h"

namespace {

RelativeOpen ProbeFor(InUseFor use) {
  return {DELETE | FILE_WRITE_DATA, use == InUseFor::kReplacing ? kShareAll : FILE_SHARE_READ, FILE_OPEN,
          FILE_NON_DIRECTORY_FILE, 0, nullptr};
}

// Counts and tells of what is in use.
struct InUseTally {
  InUseObserver* observer;
  size_t count = 0;
  void Tell(const wchar_t* name, const wchar_t* path) {
    ++count;
    if (observer != nullptr) observer->OnInUse(name, path);
  }
};

// Probes the file `name` (its folders held in `folders`) and tells of it
// when another opener refuses `probe`.
void ProbeFile(const TargetFolder& plugins, const HeldFolders& folders, const wchar_t* name,
               const RelativeOpen& probe, InUseTally* tally) {
  const wchar_t* leaf = LeafOf(name);
  ScopedFileHandle file;
  if (OpenInFolder(folders.Innermost(plugins), leaf, wcslen(leaf), probe, &file) != OpenOutcome::kBusy) return;
  wchar_t path[kBelowPathChars];
  tally->Tell(name, plugins.PathBelow(name, wcslen(name), path) ? path : name);
}

}  // namespace

size_t CountRecordedInUse(const InstallRecord& record, const bool* pick, const TargetFolder& plugins,
                          InUseObserver* observer) {
  InUseTally tally = {observer};
  HeldFolders folders(false);
  for (size_t i = 0; i < record.Count(); ++i) {
    const wchar_t* name = record.At(i).name;
    if ((pick == nullptr || pick[i]) && folders.Hold(plugins, name, false)) {
      ProbeFile(plugins, folders, name, ProbeFor(InUseFor::kRemoving), &tally);
    }
  }
  return tally.count;
}

size_t CountFilesInUse(unzFile archive, const TargetFolder& plugins, InUseFor use,
                       InUseObserver* observer) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return 0;
  const bool replacing = use == InUseFor::kReplacing;
  const RelativeOpen probe = ProbeFor(use);
  InUseTally tally = {observer};
  auto tell = [&tally](const wchar_t* name, const wchar_t* path) { tally.Tell(name, path); };
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
    ProbeFile(plugins, folders, name, probe, &tally);
  }
  return tally.count;
}
