#include "install/verify.h"

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "install/archive_rules.h"
#include "install/memory_archive.h"
#include "install/engine.h"
#include "install/entry_name.h"
#include "install/target_folder.h"
#include "install/zip_records.h"
#include "text/path_split.h"
#include "text/text.h"
#include "unzip.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether the entry `name` is in place below the Plugins folder.
bool InPlace(const TargetFolder& plugins, const unz_file_info64& info, const wchar_t* name,
             unsigned char* buffer) {
  size_t length = wcslen(name);
  const bool folder_entry = IsEntrySeparator(name[length - 1]);
  if (folder_entry) --length;
  // An installation skips what a viewer that knows no longer paths could not load.
  wchar_t path[kBelowPathChars];
  if (!plugins.FitsMaxPath(length) || !plugins.PathBelow(name, length, path)) return false;
  const DWORD access = folder_entry ? FILE_READ_ATTRIBUTES : GENERIC_READ;
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT |
                      (folder_entry ? FILE_FLAG_BACKUP_SEMANTICS : FILE_FLAG_SEQUENTIAL_SCAN);
  ScopedFileHandle item(CreateFileW(path, access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
  ItemFacts found;
  if (!item || !plugins.Holds(item.Get(), name, length, &found)) return false;
  const bool is_folder = (found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder_entry || is_folder) return folder_entry && is_folder;
  return found.size == info.uncompressed_size &&
         FileHoldsEntry(item.Get(), found.size, static_cast<uint32_t>(info.crc), buffer);
}

}  // namespace

VerifyStatus VerifyPayload(const void* payload, size_t payloadBytes, const wchar_t* folder) {
  if (payload == nullptr || payloadBytes == 0) return VerifyStatus::kPayloadUnreadable;
  if (!IsFullPath(folder)) return VerifyStatus::kDiffers;  // it would need a current directory
  // The Plugins folder as installing takes it: a plain folder in the one chosen.
  TargetFolder viewer, plugins;
  if (!viewer.Open(folder, false) || !plugins.OpenIn(viewer, kPluginsFolderName, false)) {
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

  for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
    unz_file_info64 info;
    wchar_t wide[kEntryNameChars];
    // The names an installation would refuse: the payload check keeps them out.
    if (!ReadPlainEntryAt(archive.Get(), i, &info, wide)) return VerifyStatus::kPayloadUnreadable;
    if (!InPlace(plugins, info, wide, static_cast<unsigned char*>(buffer.Get()))) {
      return VerifyStatus::kDiffers;
    }
  }
  return VerifyStatus::kInPlace;
}
