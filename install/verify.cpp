#include "install/verify.h"

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "install/archive_rules.h"
#include "install/engine.h"
#include "install/entry_name.h"
#include "install/target_folder.h"
#include "install/zip_records.h"
#include "text/path_split.h"
#include "text/text.h"
#include "unzip.h"

namespace {

struct UnzFileTraits {
  using Handle = unzFile;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { return unzClose(h); }
};
using ScopedUnzFile = Scoped<UnzFileTraits>;

// The payload as minizip reads it: straight from memory, never staged, since
// verifying writes nothing.
struct MemoryStream {
  const unsigned char* bytes;
  uint64_t size;
  uint64_t at;
};

voidpf ZCALLBACK OpenMemory(voidpf, const void* stream, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return const_cast<void*>(stream);
}

uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* memory = static_cast<MemoryStream*>(stream);
  const uint64_t left = memory->at < memory->size ? memory->size - memory->at : 0;
  const uLong got = left < size ? static_cast<uLong>(left) : size;
  memcpy(buffer, memory->bytes + memory->at, got);
  memory->at += got;
  return got;
}

uLong ZCALLBACK WriteMemory(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream) { return static_cast<MemoryStream*>(stream)->at; }

long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* memory = static_cast<MemoryStream*>(stream);
  uint64_t from = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) from = memory->at;
  if (origin == ZLIB_FILEFUNC_SEEK_END) from = memory->size;
  if (offset > memory->size || from > memory->size - offset) return -1;
  memory->at = from + offset;
  return 0;
}

int ZCALLBACK CloseMemory(voidpf, voidpf) { return 0; }
int ZCALLBACK MemoryError(voidpf, voidpf) { return 0; }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kReadBytes = 1 << 20;

// Reads the open file to its end; true when it gave `size` bytes of `crc`.
bool HoldsBytes(HANDLE file, uint64_t size, uint32_t crc, unsigned char* buffer) {
  uint64_t seen = 0;
  uLong sum = crc32(0L, Z_NULL, 0);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, kReadBytes, &got, nullptr)) return false;
    if (got == 0) break;
    seen += got;
    if (seen > size) return false;  // it grew since its size was read
    sum = crc32(sum, buffer, got);
  }
  return seen == size && static_cast<uint32_t>(sum) == crc;
}

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
  BY_HANDLE_FILE_INFORMATION found;
  if (!item || !plugins.Holds(item.Get(), name, length, &found)) return false;
  const bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder_entry || is_folder) return folder_entry && is_folder;
  const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return size == info.uncompressed_size &&
         HoldsBytes(item.Get(), size, static_cast<uint32_t>(info.crc), buffer);
}

}  // namespace

VerifyStatus VerifyPayload(const void* payload, size_t payloadBytes, const wchar_t* folder) {
  if (payload == nullptr || payloadBytes == 0) return VerifyStatus::kPayloadUnreadable;
  if (!IsFullPath(folder)) return VerifyStatus::kDiffers;  // it would need a current directory
  MemoryStream stream = {static_cast<const unsigned char*>(payload), payloadBytes, 0};
  zlib_filefunc64_def functions = {&OpenMemory, &ReadMemory, &WriteMemory, &TellMemory,
                                   &SeekMemory, &CloseMemory, &MemoryError, nullptr};
  // The Plugins folder as installing takes it: a plain folder in the one chosen.
  TargetFolder viewer, plugins;
  if (!viewer.Open(folder, false) || !plugins.OpenIn(viewer, kPluginsFolderName, false)) {
    return VerifyStatus::kDiffers;
  }
  ScopedUnzFile archive(unzOpen2_64(&stream, &functions));
  if (!archive) {
    // An archive without entries is in place wherever there is a Plugins folder.
    return IsEmptyArchiveRecord(stream.bytes, payloadBytes) ? VerifyStatus::kInPlace
                                                            : VerifyStatus::kPayloadUnreadable;
  }
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive.Get(), &global) != UNZ_OK) return VerifyStatus::kPayloadUnreadable;
  ScopedMalloc buffer(malloc(kReadBytes));
  if (!buffer) return VerifyStatus::kDiffers;  // nothing could be checked

  for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
    if (i > 0 && unzGoToNextFile(archive.Get()) != UNZ_OK) return VerifyStatus::kPayloadUnreadable;
    unz_file_info64 info;
    char name[kEntryNameBytes];
    wchar_t wide[kEntryNameChars];
    // The names an installation would refuse: the payload check keeps them out.
    if (ReadEntryInfo(archive.Get(), &info, name) != UNZ_OK ||
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, kEntryNameChars) <= 0 ||
        !IsPlainRelativeName(wide)) {
      return VerifyStatus::kPayloadUnreadable;
    }
    if (!InPlace(plugins, info, wide, static_cast<unsigned char*>(buffer.Get()))) {
      return VerifyStatus::kDiffers;
    }
  }
  return VerifyStatus::kInPlace;
}
