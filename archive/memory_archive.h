// The payload read by minizip straight from memory, and the check of an
// installed file against its entry. Used where nothing may be staged
// (verifying, uninstalling).
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include "archive/archive_rules.h"
#include "base/scoped.h"
#include "unzip.h"

struct UnzFileTraits {
  using Handle = unzFile;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { return unzClose(h); }
};
using ScopedUnzFile = Scoped<UnzFileTraits>;

// The buffer FileHoldsEntry reads through.
constexpr DWORD kEntryReadBytes = 1 << 20;

class MemoryArchive {
 public:
  // Where minizip reads in the bytes.
  struct Stream {
    const unsigned char* bytes;
    uint64_t size;
    uint64_t at;
  };

  MemoryArchive() = default;
  MemoryArchive(const MemoryArchive&) = delete;
  MemoryArchive& operator=(const MemoryArchive&) = delete;

  // Opens the archive in the `size` bytes at `bytes`, which must outlive it.
  // False when minizip cannot open it: no archive, or one without entries
  // (IsEmpty tells).
  bool Open(const void* bytes, size_t size);
  // True for an archive that is its end record alone: it holds no entries.
  bool IsEmpty() const;
  unzFile Get() const { return archive_.Get(); }

 private:
  Stream stream_ = {};
  ScopedUnzFile archive_;
};

// An entry's 8-bit name as the setup writes it (read in the ANSI code page).
// False when it is one an installation refuses: it does not convert exactly,
// or is no plain relative path.
bool PlainEntryName(const char* narrow, wchar_t name[kEntryNameChars]);

// Walking the entries in order: moves to the first entry for `index` 0, else
// to the one after the current, and reads its information and its name
// (PlainEntryName). False when minizip fails or the name is refused.
bool ReadPlainEntryAt(unzFile archive, uint64_t index, unz_file_info64* info,
                      wchar_t name[kEntryNameChars]);

// Reads the open file to its end through `buffer` (kEntryReadBytes); true
// when it gave `size` bytes whose CRC-32 is `crc`.
bool FileHoldsEntry(HANDLE file, uint64_t size, uint32_t crc, unsigned char* buffer);
