// What an archive and its entries must be for the setup to install them, and
// the reading of an entry's data. minizip calls only, no OS calls: the setup
// unpacks with these, and the build-time payload check runs the same code
// natively.
#pragma once

#include <stdint.h>

#include "archive/entry_name.h"
#include "unzip.h"

// Results besides minizip's and zlib's own (UNZ_*, Z_*, all negative and above
// kUnpackBadName; UNZ_ERRNO is a short or failed read) and 0 for success.
enum UnpackResult : int {
  kUnpackOk = 0,
  kUnpackFilesSkipped = 1,     // all entries read, but some files or folders could not be made
  kUnpackBadName = -201,       // an entry name that is not a plain relative path
  kUnpackSizeMismatch = -202,  // an entry's data gave other than its declared size
  kUnpackEncrypted = -203,     // an encrypted entry: never written as if it were plain
  kUnpackUnsupportedMethod = -204,  // neither stored nor deflated: never written raw
  kUnpackOverlap = -205,       // two files' local headers or data share bytes
  kUnpackNotAnArchive = -206,  // no ZIP archive that minizip can open
  kUnpackTargetUnusable = -207,  // the target folder cannot be opened or located
  kUnpackWriteFailed = -208,   // a file's data could not be written whole: a full disk
  kUnpackReadFailed = -209,    // the archive's file could not be read: the disk, not the bytes
  kUnpackOutOfMemory = -210,   // the copy buffer or the span list could not be had
  kUnpackPastTheEnd = -211,    // a file's declared data runs past the end of the archive
};

constexpr unsigned kEntryNameBytes = 520;
constexpr unsigned kCopyBufferBytes = 0x8000;

// Reads the current entry's information and its 8-bit name. Returns minizip's
// error, kUnpackBadName for a name that fills the buffer (it would come back
// cut) or holds a zero byte (it would be written under another name), else 0.
int ReadEntryInfo(unzFile archive, unz_file_info64* info, char name[kEntryNameBytes]);

// True for a folder entry: its name ends with a separator.
bool IsFolderEntryName(const char* name);

// kUnpackEncrypted or kUnpackUnsupportedMethod for a file entry that is never
// written (minizip would inflate an encrypted entry as if it were plain, and
// hand out other methods' bytes raw), else 0.
int CheckEntryMethod(const unz_file_info64& info);

// Refuses an archive in which two file entries share bytes, their local
// headers or their data (many records over one local header: the
// overlapped-components bomb), in whatever order the central directory lists
// them, and one whose declared data runs past the end of its `archiveBytes`
// (a size that would wrap). Entries refused anyway are not looked at. Returns
// minizip's error, kUnpackOutOfMemory, kUnpackPastTheEnd, kUnpackOverlap
// (with the index of the later-lying entry in `*overlapping` when given),
// else 0; the archive is then back on its first entry, and `*fileBytes` (when
// given) holds the declared sizes of its files added up.
int CheckDataSpans(unzFile archive, uint64_t count, uint64_t archiveBytes,
                   uint64_t* overlapping = nullptr, uint64_t* fileBytes = nullptr);

// Takes one piece of an entry's data; false when it could not be kept.
using EntrySink = bool (*)(void* context, const char* bytes, unsigned length);

// Reads the open entry's data to its end through `sink`, using `buffer`
// (kCopyBufferBytes), and closes the entry. Returns 0 when the data came out
// whole: its declared size and its CRC. Otherwise the first error: minizip's
// or zlib's, kUnpackWriteFailed when the sink failed, kUnpackSizeMismatch.
int DrainEntry(unzFile archive, const unz_file_info64& info, char* buffer, EntrySink sink,
               void* context);
