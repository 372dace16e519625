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

// The drive-letter form, as the folder's own name is read (\\?\C:\...).
constexpr DWORD kPathForm = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr size_t kFolderChars = 1024;
constexpr size_t kItemChars = kFolderChars + kEntryNameChars;
constexpr DWORD kReadBytes = 1 << 20;

// The folder the files are looked for in, held open while they are, and
// where it lies; every file's path is made from there.
struct PluginsFolder {
  ScopedFileHandle handle;
  wchar_t path[kFolderChars];
  size_t named_chars;  // the path it was named by, with its final backslash
};

bool OpenPlugins(const wchar_t* folder, PluginsFolder* plugins) {
  wchar_t named[kFolderChars];
  if (!CopyText(named, kFolderChars, folder) || !AppendBackslashIfMissing(named, kFolderChars) ||
      !AppendText(named, kFolderChars, kPluginsFolderName) ||
      !AppendBackslashIfMissing(named, kFolderChars)) {
    return false;
  }
  plugins->named_chars = TextLength(named);
  // The folder chosen is taken as it is, through any link on the way to it.
  plugins->handle.Reset(CreateFileW(named, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!plugins->handle) return false;
  const DWORD length =
      GetFinalPathNameByHandleW(plugins->handle.Get(), plugins->path, kFolderChars, kPathForm);
  return length > 0 && length < kFolderChars;
}

// True when `item` is no link and lies exactly at `path`: nothing on the way
// to it is a link either. Gives what else is known of it.
bool LiesAt(HANDLE item, const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info) {
  if (!GetFileInformationByHandle(item, info) ||
      (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  wchar_t actual[kItemChars];
  const DWORD got = GetFinalPathNameByHandleW(item, actual, kItemChars, kPathForm);
  return got > 0 && got < kItemChars &&
         CompareStringOrdinal(path, -1, actual, -1, TRUE) == CSTR_EQUAL;
}

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
bool InPlace(const PluginsFolder& plugins, const unz_file_info64& info, const wchar_t* name,
             unsigned char* buffer) {
  size_t length = wcslen(name);
  const bool folder_entry = IsEntrySeparator(name[length - 1]);
  if (folder_entry) --length;
  // An installation skips what a viewer that knows no longer paths could not load.
  wchar_t path[kItemChars];
  if (plugins.named_chars + length > kMaxPathChars ||
      !EntryPathBelow(plugins.path, name, length, path, kItemChars)) {
    return false;
  }
  const DWORD access = folder_entry ? FILE_READ_ATTRIBUTES : GENERIC_READ;
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT |
                      (folder_entry ? FILE_FLAG_BACKUP_SEMANTICS : FILE_FLAG_SEQUENTIAL_SCAN);
  ScopedFileHandle item(CreateFileW(path, access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
  BY_HANDLE_FILE_INFORMATION found;
  if (!item || !LiesAt(item.Get(), path, &found)) return false;
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
  PluginsFolder plugins;
  if (!OpenPlugins(folder, &plugins)) return VerifyStatus::kDiffers;
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
