// Unpacking a ZIP archive into a folder, entry by entry, with minizip.
#pragma once

#include <stdint.h>

#include "unzip.h"

// Results besides minizip's own (UNZ_*, all negative) and 0 for success.
enum UnpackResult : int {
  kUnpackOk = 0,
  kUnpackCantOpen = -1,        // archive not openable, target not enterable, short write
  kUnpackFilesSkipped = 1,     // all entries read, but some files could not be created
  kUnpackBadName = -201,       // an entry name that is not a plain relative path
  kUnpackSizeMismatch = -202,  // an entry's data gave other than its declared size
  kUnpackEncrypted = -203,     // an encrypted entry: never written as if it were plain
  kUnpackUnsupportedMethod = -204,  // neither stored nor deflated: never written raw
  kUnpackOverlap = -205,       // a file's data starts before the previous file's ended
};

constexpr unsigned kEntryNameBytes = 520;
constexpr unsigned kEntryNameChars = 324;
constexpr unsigned kCopyBufferBytes = 0x8000;

// Opens `archivePath`, makes `target` the current directory (where it stays)
// and writes every entry below it. Returns kUnpackCantOpen when the archive
// cannot be opened or the target entered, otherwise the result of UnpackEntries.
int UnpackArchive(const wchar_t* archivePath, const wchar_t* target);

// Writes the entries of an open archive, positioned on its first entry, below
// the current directory. The files' data must follow one another in the archive
// in the order of the central directory, as every archiver writes them. Returns
// 0 when every file was written whole; otherwise the first error, which stops
// the loop (files written before it stay), or kUnpackFilesSkipped after a
// complete loop in which a file could not be created.
int UnpackEntries(unzFile archive);

// Sets the file's creation and last-write times to the MS-DOS date-time (date
// in the high 16 bits), read as local time. Failures are ignored.
void SetEntryFileTime(const wchar_t* path, uint32_t dosDateTime);

// Creates every folder of `path` (a trailing "/" is ignored). Returns 1 when
// done, 0 when a parent could not be made, -104 when no working copy could be
// allocated.
int MakeEntryFolderChain(const wchar_t* path);
