#include "install/verify.h"

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "archive/archive_rules.h"
#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "archive/zip_records.h"
#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/relative_file.h"
#include "fs/target_folder.h"
#include "install/engine.h"
#include "install/removal.h"
#include "unzip.h"

namespace {

// Whether the entry `name` is in place below the Plugins folder. Its folders
// are held in `folders`, each looked up in the one above it, and the entry in
// the innermost: no link on the way, or at its name, is followed.
bool InPlace(const TargetFolder& plugins, HeldFolders* folders, const unz_file_info64& info,
             const wchar_t* name, unsigned char* buffer) {
  size_t length = wcslen(name);
  const bool folder_entry = IsEntrySeparator(name[length - 1]);
  // An installation skips what a viewer that knows no longer paths could not load.
  if (!plugins.FitsMaxPath(folder_entry ? length - 1 : length)) return false;
  if (folder_entry) return folders->Hold(plugins, name, false);  // held: a plain folder where its name says
  ScopedFileHandle item, reopened;
  HANDLE data = nullptr;
  LARGE_INTEGER size = {};
  return OpenOursForReading(plugins, folders, name, &item, &reopened, &data) && GetFileSizeEx(data, &size) &&
         static_cast<uint64_t>(size.QuadPart) == info.uncompressed_size &&
         FileHoldsEntry(data, info.uncompressed_size, static_cast<uint32_t>(info.crc), buffer);
}

}  // namespace

VerifyStatus VerifyPayload(const void* payload, size_t payloadBytes, const wchar_t* folder) {
  if (payload == nullptr || payloadBytes == 0) return VerifyStatus::kPayloadUnreadable;
  if (!IsFullPath(folder)) return VerifyStatus::kDiffers;  // it would need a current directory
  // The Plugins folder as installing takes it: a plain folder in the one chosen.
  TargetFolder viewer, plugins;
  if (!viewer.Open(folder) || !plugins.OpenIn(viewer, kPluginsFolderName, false)) {
    return VerifyStatus::kDiffers;
  }
  MemoryArchive archive;
  if (!archive.Open(payload, payloadBytes)) {
    // An archive without entries is in place wherever there is a Plugins folder.
    return archive.IsEmpty() ? VerifyStatus::kInPlace : VerifyStatus::kPayloadUnreadable;
  }
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive.Get(), &global) != UNZ_OK) return VerifyStatus::kPayloadUnreadable;
  ScopedMalloc buffer(malloc(kEntryReadBytes));
  if (!buffer) return VerifyStatus::kDiffers;  // nothing could be checked

  HeldFolders folders(false);  // only looked in: a verification sweeps nothing
  for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
    unz_file_info64 info;
    wchar_t wide[kEntryNameChars];
    // The names an installation would refuse: the payload check keeps them out.
    if (!ReadPlainEntryAt(archive.Get(), i, &info, wide)) return VerifyStatus::kPayloadUnreadable;
    if (!InPlace(plugins, &folders, info, wide, static_cast<unsigned char*>(buffer.Get()))) {
      return VerifyStatus::kDiffers;
    }
  }
  return VerifyStatus::kInPlace;
}
