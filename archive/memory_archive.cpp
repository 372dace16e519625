#include "archive/memory_archive.h"

#include <string.h>

#include "archive/entry_name.h"
#include "archive/zip_records.h"
#include "zlib.h"

namespace {

using Stream = MemoryArchive::Stream;

voidpf ZCALLBACK OpenMemory(voidpf, const void* stream, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return const_cast<void*>(stream);
}

uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* memory = static_cast<Stream*>(stream);
  const uint64_t left = memory->at < memory->size ? memory->size - memory->at : 0;
  const uLong got = left < size ? static_cast<uLong>(left) : size;
  memcpy(buffer, memory->bytes + memory->at, got);
  memory->at += got;
  return got;
}

uLong ZCALLBACK WriteMemory(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->at; }

long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* memory = static_cast<Stream*>(stream);
  uint64_t from = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) from = memory->at;
  if (origin == ZLIB_FILEFUNC_SEEK_END) from = memory->size;
  if (offset > memory->size || from > memory->size - offset) return -1;
  memory->at = from + offset;
  return 0;
}

int ZCALLBACK CloseMemory(voidpf, voidpf) { return 0; }
int ZCALLBACK MemoryError(voidpf, voidpf) { return 0; }

}  // namespace

bool MemoryArchive::Open(const void* bytes, size_t size) {
  stream_ = {static_cast<const unsigned char*>(bytes), size, 0};
  zlib_filefunc64_def functions = {&OpenMemory, &ReadMemory, &WriteMemory, &TellMemory,
                                   &SeekMemory, &CloseMemory, &MemoryError, nullptr};
  archive_.Reset(unzOpen2_64(&stream_, &functions));
  return static_cast<bool>(archive_);
}

bool MemoryArchive::IsEmpty() const {
  return IsEmptyArchiveRecord(stream_.bytes, static_cast<size_t>(stream_.size));
}

bool PlainEntryName(const char* narrow, wchar_t name[kEntryNameChars]) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow, -1, name, kEntryNameChars) > 0 &&
         IsPlainRelativeName(name);
}

bool ReadPlainEntryAt(unzFile archive, uint64_t index, unz_file_info64* info,
                      wchar_t name[kEntryNameChars]) {
  const int moved = index == 0 ? unzGoToFirstFile(archive) : unzGoToNextFile(archive);
  char narrow[kEntryNameBytes];
  return moved == UNZ_OK && ReadEntryInfo(archive, info, narrow) == UNZ_OK &&
         PlainEntryName(narrow, name);
}

bool FileHoldsEntry(HANDLE file, uint64_t size, uint32_t crc, unsigned char* buffer) {
  uint64_t seen = 0;
  uLong sum = crc32(0L, Z_NULL, 0);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, kEntryReadBytes, &got, nullptr)) return false;
    if (got == 0) break;
    seen += got;
    if (seen > size) return false;  // it grew since its size was read
    sum = crc32(sum, buffer, got);
  }
  return seen == size && static_cast<uint32_t>(sum) == crc;
}
