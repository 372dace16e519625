#include "install/unpack.h"

#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "archive/entry_name.h"
#include "archive/memory_archive.h"
#include "archive/zip_records.h"
#include "base/scoped.h"
#include "fs/pending_file.h"
#include "fs/target_folder.h"
#include "install/finishing_files.h"

namespace {

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
  // The entry `name` was not installed, for the Windows error `error` (0
  // when none was had).
  void NotInstalled(const wchar_t* name, DWORD error) {
    if (observer_ != nullptr) observer_->OnNotInstalled(name, error != 0 ? error : ERROR_CAN_NOT_COMPLETE);
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
  DWORD error;  // why a write failed
};

bool WriteToPendingFile(void* context, const char* bytes, unsigned length) {
  auto* sink = static_cast<FileSink*>(context);
  DWORD put = 0;
  if (!WriteFile(sink->file->Get(), bytes, length, &put, nullptr)) {
    sink->error = GetLastError();
    return false;
  }
  if (put != length) {
    sink->error = ERROR_DISK_FULL;  // a short write
    return false;
  }
  sink->progress->Wrote(length);
  return true;
}

// True when a name of `length` characters fits below `target` (FitsMaxPath);
// otherwise the last error says so.
bool FitsBelow(const TargetFolder& target, size_t length) {
  if (target.FitsMaxPath(length)) return true;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return false;
}

// Writes one file entry to a file of `finishing`, which puts it in place once
// it is on the disk; returns the entry's result, with kUnpackFilesSkipped when
// its file could not be created, would have gone through a link, or would lie
// past the 259 characters of a Windows path. A result of an earlier file that
// `finishing` gave meanwhile goes to `*earlier`. When this entry fails, `*error`
// gets the Windows error that says why, where there is one.
int UnpackFileEntry(unzFile archive, const unz_file_info64& info, const wchar_t* name,
                    const TargetFolder& target, HeldFolders* folders, FinishingFiles* finishing,
                    char* buffer, uint32_t* serial, Progress* progress, int* earlier,
                    DWORD* error) {
  int rc = CheckEntryMethod(info);
  if (rc != UNZ_OK) return rc;
  PendingFile* out = finishing->NextFile(earlier);
  if (out == nullptr) return *earlier;
  rc = unzOpenCurrentFilePassword(archive, nullptr);
  if (rc != UNZ_OK) {
    (void)unzCloseCurrentFile(archive);  // the open's error is the one reported
    return rc;
  }
  const wchar_t* leaf = LeafOf(name);
  ItemFacts made;
  // The new file is checked where it was made, before any data goes in.
  if (!FitsBelow(target, wcslen(name)) || !folders->Hold(target, name) ||
      !MayReplace(target, folders->Innermost(target), name, leaf) ||
      !out->Create(folders->Innermost(target), name, GENERIC_READ | GENERIC_WRITE, serial) ||
      !target.Holds(out->Get(), out->TempName(), wcslen(out->TempName()), &made)) {
    *error = GetLastError();
    rc = unzCloseCurrentFile(archive);
    return rc != UNZ_OK ? rc : kUnpackFilesSkipped;
  }
  FileSink sink = {out, progress, 0};
  rc = DrainEntry(archive, info, buffer, &WriteToPendingFile, &sink);
  if (rc != UNZ_OK) {
    *error = sink.error;
    return rc;
  }
  SetEntryFileTime(out->Get(), static_cast<uint32_t>(info.dosDate));
  // Its data reaches the disk before the file takes its name.
  finishing->Submit(name, static_cast<uint32_t>(info.crc));
  return kUnpackOk;
}

// The entries from the first, each in turn, until one fails: kUnpackOk, with
// `*skipped` set when a file could not be made or put in place, or the error.
int UnpackEachEntry(unzFile archive, ZPOS64_T entries, const TargetFolder& folder,
                    HeldFolders* folders, FinishingFiles* finishing, char* buffer,
                    Progress* progress, bool* skipped) {
  // A file put in place or skipped: true when the run goes on.
  auto goes_on = [skipped](int result) {
    if (result == kUnpackFilesSkipped) *skipped = true;
    return result == kUnpackOk || result == kUnpackFilesSkipped;
  };
  uint32_t serial = 0;  // numbers the temporary files of this run
  for (ZPOS64_T i = 0; i < entries;) {
    unz_file_info64 info;
    char name[kEntryNameBytes];
    int rc = ReadEntryInfo(archive, &info, name);
    if (rc != UNZ_OK) return rc;
    wchar_t wide[kEntryNameChars];
    if (!PlainEntryName(name, wide)) return kUnpackBadName;
    // The files in flight lie in the folder held now, which must stay held,
    // and a folder made for this entry must not take the name of one of them.
    if (!folders->HoldsFolderOf(wide) && !goes_on(rc = finishing->FinishAll())) return rc;

    const bool folder_entry = IsEntrySeparator(wide[wcslen(wide) - 1]);
    if (folder_entry) {
      // An existing folder is fine; anything else in its way is not.
      if (!FitsBelow(folder, wcslen(wide) - 1) || !folders->Hold(folder, wide)) {
        *skipped = true;
        progress->NotInstalled(wide, GetLastError());
      }
    } else {
      int earlier = kUnpackOk;
      DWORD error = 0;
      rc = UnpackFileEntry(archive, info, wide, folder, folders, finishing, buffer, &serial,
                           progress, &earlier, &error);
      if (!goes_on(earlier)) return earlier;  // this entry was not tried
      // Without an error of the system's, the archive's data was at fault.
      if (rc != kUnpackOk) progress->NotInstalled(wide, error != 0 ? error : ERROR_FILE_CORRUPT);
      if (!goes_on(rc)) return rc;
    }
    progress->EntryDone(folder_entry ? 0 : info.uncompressed_size);

    ++i;
    if (i < entries) {
      rc = unzGoToNextFile(archive);
      if (rc != UNZ_OK) return rc;
    }
  }
  return kUnpackOk;
}

}  // namespace

int UnpackArchive(HANDLE archiveFile, const TargetFolder& target, InstallObserver* observer,
                  CallWatch* watch, InstallRecord* installed) {
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
  int rc = UnpackEntries(archive.Get(), static_cast<uint64_t>(size.QuadPart), target, observer, watch, installed);
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
                  InstallObserver* observer, CallWatch* watch, InstallRecord* installed) {
  unz_global_info64 global;
  int rc = unzGetGlobalInfo64(archive, &global);
  if (rc != UNZ_OK) return rc;

  ScopedMalloc buffer(malloc(kCopyBufferBytes));  // one copy buffer for the whole archive
  if (!buffer) return kUnpackOutOfMemory;

  uint64_t file_bytes = 0;
  rc = CheckDataSpans(archive, global.number_entry, archiveBytes, nullptr, &file_bytes);
  if (rc != UNZ_OK) return rc;

  HeldFolders folders(true, watch);
  // Gone before the folders its files lie in. Below the target, a volume
  // could only be reached through a mount point, which is refused.
  FinishingFiles finishing(observer, ReplaceOrderOn(folder.Get()), watch, &folder, installed);
  Progress progress(observer);
  progress.Started(global.number_entry, file_bytes);
  bool skipped = false;
  rc = UnpackEachEntry(archive, global.number_entry, folder, &folders, &finishing,
                       static_cast<char*>(buffer.Get()), &progress, &skipped);
  // The files written before an entry that failed take their names, as each
  // would have before the next was read.
  const int finished = finishing.FinishAll();
  if (finished == kUnpackWriteFailed) return finished;  // an earlier entry than rc's
  if (rc != kUnpackOk) return rc;
  return skipped || finished == kUnpackFilesSkipped ? kUnpackFilesSkipped : kUnpackOk;
}

void SetEntryFileTime(HANDLE file, uint32_t dosDateTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local)) return;
  if (!LocalFileTimeToFileTime(&local, &utc)) return;
  // The last-access time stays as the file system has it.
  (void)SetFileTime(file, &utc, nullptr, &utc);
}
