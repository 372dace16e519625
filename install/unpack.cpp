#include "install/unpack.h"

#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "install/entry_name.h"
#include "install/pending_file.h"
#include "install/target_folder.h"
#include "install/zip_records.h"

namespace {

struct UnzFileTraits {
  using Handle = unzFile;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { return unzClose(h); }
};
using ScopedUnzFile = Scoped<UnzFileTraits>;

// minizip reads the archive through these functions, from the one handle the
// caller holds: it is never opened again by a path that another process could
// have changed, and nothing here can write to it.
struct ArchiveStream {
  HANDLE file;
  bool failed;  // a read or seek failed: minizip tells an error from the end by it
};

voidpf ZCALLBACK OpenStream(voidpf, const void* stream, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return const_cast<void*>(stream);
}

uLong ZCALLBACK ReadStream(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* archive = static_cast<ArchiveStream*>(stream);
  DWORD got = 0;
  if (!ReadFile(archive->file, buffer, size, &got, nullptr)) archive->failed = true;
  return got;
}

uLong ZCALLBACK WriteStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellStream(voidpf, voidpf stream) {
  auto* archive = static_cast<ArchiveStream*>(stream);
  LARGE_INTEGER zero = {}, at = {};
  if (SetFilePointerEx(archive->file, zero, &at, FILE_CURRENT)) return static_cast<ZPOS64_T>(at.QuadPart);
  archive->failed = true;
  return static_cast<ZPOS64_T>(-1);
}

long ZCALLBACK SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* archive = static_cast<ArchiveStream*>(stream);
  DWORD method = FILE_BEGIN;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) method = FILE_CURRENT;
  if (origin == ZLIB_FILEFUNC_SEEK_END) method = FILE_END;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (SetFilePointerEx(archive->file, to, nullptr, method)) return 0;
  archive->failed = true;
  return -1;
}

int ZCALLBACK CloseStream(voidpf, voidpf) { return 0; }  // the caller's handle stays open

int ZCALLBACK StreamError(voidpf, voidpf stream) {
  return static_cast<ArchiveStream*>(stream)->failed ? 1 : 0;
}

// minizip takes an end record at offset 0 for a missing one and refuses an
// archive with no entries at all; such an archive is simply empty. A failed
// read is told apart in `*readFailed`.
bool IsEmptyArchive(HANDLE file, bool* readFailed) {
  LARGE_INTEGER start = {};
  unsigned char bytes[kMostEndRecordBytes];
  DWORD got = 0;
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !ReadFile(file, bytes, sizeof bytes, &got, nullptr)) {
    *readFailed = true;
    return false;
  }
  return IsEmptyArchiveRecord(bytes, got);
}

// The 8-bit name in the ANSI code page; false when it does not convert exactly
// or its UTF-16 form would not fit.
bool ConvertEntryName(const char* name, wchar_t* wide, int capacity) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, capacity) > 0;
}

constexpr uint64_t kProgressStepBytes = 1 << 20;  // a large entry reports every mebibyte

// Tells the observer, if any, how far unpacking has come.
class Progress {
 public:
  explicit Progress(InstallObserver* observer) : observer_(observer) {}
  void Started(uint64_t entries, uint64_t bytes) {
    if (observer_ != nullptr) observer_->OnStarted(entries, bytes);
  }
  // `length` more bytes of the entry being written.
  void Wrote(unsigned length) {
    if (observer_ == nullptr) return;
    const uint64_t before = written_;
    written_ += length;
    if (written_ / kProgressStepBytes != before / kProgressStepBytes) {
      observer_->OnProgress(entries_, Add(bytes_, written_));
    }
  }
  // One more entry handled, with its declared size.
  void EntryDone(uint64_t declared) {
    written_ = 0;
    ++entries_;
    bytes_ = Add(bytes_, declared);
    if (observer_ != nullptr) observer_->OnProgress(entries_, bytes_);
  }

 private:
  // Declared sizes: a lying archive may add up past what 64 bits hold.
  static uint64_t Add(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

  InstallObserver* observer_;
  uint64_t entries_ = 0, bytes_ = 0, written_ = 0;
};

struct FileSink {
  PendingFile* file;
  Progress* progress;
};

bool WriteToPendingFile(void* context, const char* bytes, unsigned length) {
  auto* sink = static_cast<FileSink*>(context);
  DWORD put = 0;
  if (!WriteFile(sink->file->Get(), bytes, length, &put, nullptr) || put != length) {
    return false;  // a short write: a full disk
  }
  sink->progress->Wrote(length);
  return true;
}

// Files written whole in one folder, waiting to take their names. Their data
// is flushed one after the other and only then are they renamed: a file
// system that commits its journal for the first flush then has little left
// to write for the others (far cheaper than a flush and a rename in turn).
class Placements {
 public:
  static constexpr size_t kMost = 32;

  // True when a file of the folder `name` (its first `length` characters, up
  // to and with its last separator) may join those waiting.
  bool Takes(const wchar_t* name, size_t length) const {
    return count_ == 0 || (count_ < kMost && length == folder_chars_ &&
                           wcsncmp(name, folder_, length) == 0);
  }
  // The next free file, for the entry `name`.
  PendingFile* Next() { return &files_[count_]; }
  // The file Next gave is whole: it takes the leaf of `name` when the rest do.
  void Add(const wchar_t* name) {
    const wchar_t* leaf = LeafOf(name);
    folder_chars_ = static_cast<size_t>(leaf - name);
    wcsncpy(folder_, name, folder_chars_);
    wcscpy(leaves_[count_++], leaf);
  }
  // Flushes every waiting file, then puts each in place. The folder they
  // wait in must still be held: the caller calls this before it lets go of
  // any folder (before HeldFolders::Hold for an entry that Takes refuses).
  // Returns 0, kUnpackFilesSkipped when one could not be put in place, or
  // kUnpackWriteFailed when the disk refused one's data (the others still
  // take their names).
  int PutAllInPlace() {
    bool flushed[kMost];
    bool write_failed = false, skipped = false;
    for (size_t i = 0; i < count_; ++i) write_failed |= !(flushed[i] = files_[i].Flush());
    for (size_t i = 0; i < count_; ++i) {
      skipped |= !flushed[i] || !files_[i].PutInPlace(leaves_[i]);
      files_[i].Close();
    }
    count_ = 0;
    return write_failed ? kUnpackWriteFailed : skipped ? kUnpackFilesSkipped : kUnpackOk;
  }

 private:
  PendingFile files_[kMost];
  wchar_t leaves_[kMost][kEntryNameChars];
  wchar_t folder_[kEntryNameChars] = {};
  size_t folder_chars_ = 0;
  size_t count_ = 0;
};

// Writes one file entry into the next of `placements`' files; returns the
// entry's result, with kUnpackFilesSkipped when its file could not be created,
// would have gone through a link, or would lie past the 259 characters of a
// Windows path.
int UnpackFileEntry(unzFile archive, const unz_file_info64& info, const wchar_t* name,
                    const TargetFolder& target, HeldFolders* folders, Placements* placements,
                    char* buffer, uint32_t* serial, Progress* progress) {
  int rc = CheckEntryMethod(info);
  if (rc != UNZ_OK) return rc;
  rc = unzOpenCurrentFilePassword(archive, nullptr);
  if (rc != UNZ_OK) {
    (void)unzCloseCurrentFile(archive);  // the open's error is the one reported
    return rc;
  }
  PendingFile* out = placements->Next();
  const wchar_t* leaf = LeafOf(name);
  BY_HANDLE_FILE_INFORMATION made;
  // The new file is checked where it was made, before any data goes in.
  if (!target.FitsMaxPath(wcslen(name)) || !folders->Hold(target, name) ||
      !MayReplace(target, folders->Innermost(target), name, leaf) ||
      !out->Create(folders->Innermost(target), name, GENERIC_WRITE, serial) ||
      !target.Holds(out->Get(), out->TempName(), wcslen(out->TempName()), &made)) {
    out->Close();
    rc = unzCloseCurrentFile(archive);
    return rc != UNZ_OK ? rc : kUnpackFilesSkipped;
  }
  FileSink sink = {out, progress};
  rc = DrainEntry(archive, info, buffer, &WriteToPendingFile, &sink);
  if (rc != UNZ_OK) {
    out->Close();
    return rc;
  }
  SetEntryFileTime(out->Get(), static_cast<uint32_t>(info.dosDate));
  placements->Add(name);
  return kUnpackOk;
}

}  // namespace

int UnpackArchive(HANDLE archiveFile, const TargetFolder& target, InstallObserver* observer) {
  zlib_filefunc64_def functions = {&OpenStream, &ReadStream, &WriteStream, &TellStream,
                                   &SeekStream, &CloseStream, &StreamError, nullptr};
  ArchiveStream stream = {archiveFile, false};
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(archiveFile, &size)) return kUnpackReadFailed;
  ScopedUnzFile archive(unzOpen2_64(&stream, &functions));
  if (!archive) {
    if (stream.failed) return kUnpackReadFailed;
    if (!IsEmptyArchive(archiveFile, &stream.failed)) {
      return stream.failed ? kUnpackReadFailed : kUnpackNotAnArchive;
    }
    Progress(observer).Started(0, 0);
    return kUnpackOk;
  }
  int rc = UnpackEntries(archive.Get(), static_cast<uint64_t>(size.QuadPart), target, observer);
  // A failed read looks like a damaged archive to minizip; the disk said
  // otherwise. Only minizip's and zlib's codes are above kUnpackBadName.
  if (stream.failed && rc < 0 && rc > kUnpackBadName) rc = kUnpackReadFailed;
  (void)archive.Close();  // read-only: nothing of the result depends on closing
  return rc;
}

int UnpackArchive(HANDLE archiveFile, const wchar_t* target, InstallObserver* observer) {
  TargetFolder folder;
  if (!folder.Open(target)) return kUnpackTargetUnusable;
  return UnpackArchive(archiveFile, folder, observer);
}

int UnpackEntries(unzFile archive, uint64_t archiveBytes, const TargetFolder& folder,
                  InstallObserver* observer) {
  unz_global_info64 global;
  int rc = unzGetGlobalInfo64(archive, &global);
  if (rc != UNZ_OK) return rc;

  ScopedMalloc buffer(malloc(kCopyBufferBytes));  // one copy buffer for the whole archive
  if (!buffer) return kUnpackOutOfMemory;

  uint64_t file_bytes = 0;
  rc = CheckDataSpans(archive, global.number_entry, archiveBytes, nullptr, &file_bytes);
  if (rc != UNZ_OK) return rc;

  HeldFolders folders;
  Placements placements;
  uint32_t serial = 0;  // numbers the temporary files of this run
  Progress progress(observer);
  progress.Started(global.number_entry, file_bytes);

  // Files written whole before an error that stops the loop still take their names.
  bool skipped = false;
  auto stop = [&](int error) {
    (void)placements.PutAllInPlace();  // the first error is the one reported
    return error;
  };
  for (ZPOS64_T i = 0; i < global.number_entry;) {
    unz_file_info64 info;
    char name[kEntryNameBytes];
    rc = ReadEntryInfo(archive, &info, name);
    if (rc != UNZ_OK) return stop(rc);
    wchar_t wide[kEntryNameChars];
    if (!ConvertEntryName(name, wide, kEntryNameChars) || !IsPlainRelativeName(wide)) {
      return stop(kUnpackBadName);
    }

    const bool folder_entry = IsEntrySeparator(wide[wcslen(wide) - 1]);
    // The waiting files are put in place while their folder is still held.
    const size_t folder_chars = folder_entry ? wcslen(wide) : LeafOf(wide) - wide;
    if (!placements.Takes(wide, folder_chars)) {
      rc = placements.PutAllInPlace();
      if (rc == kUnpackWriteFailed) return rc;
      skipped |= rc == kUnpackFilesSkipped;
    }
    if (folder_entry) {
      // An existing folder is fine; anything else in its way is not.
      if (!folder.FitsMaxPath(wcslen(wide) - 1) || !folders.Hold(folder, wide)) skipped = true;
    } else {
      rc = UnpackFileEntry(archive, info, wide, folder, &folders, &placements,
                           static_cast<char*>(buffer.Get()), &serial, &progress);
      if (rc == kUnpackFilesSkipped) {
        skipped = true;
      } else if (rc != UNZ_OK) {
        return stop(rc);
      }
    }
    progress.EntryDone(folder_entry ? 0 : info.uncompressed_size);

    ++i;
    if (i < global.number_entry) {
      rc = unzGoToNextFile(archive);
      if (rc != UNZ_OK) return stop(rc);
    }
  }
  rc = placements.PutAllInPlace();
  if (rc != kUnpackOk) return rc;
  return skipped ? kUnpackFilesSkipped : kUnpackOk;
}

void SetEntryFileTime(HANDLE file, uint32_t dosDateTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local)) return;
  if (!LocalFileTimeToFileTime(&local, &utc)) return;
  // The last-access time stays as the file system has it.
  (void)SetFileTime(file, &utc, nullptr, &utc);
}
