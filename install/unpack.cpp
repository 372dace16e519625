#include "install/unpack.h"

#include <windows.h>

#include <direct.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "install/entry_name.h"
#include "text/text.h"
#include "iowin32.h"

namespace {

struct UnzFileTraits {
  using Handle = unzFile;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { return unzClose(h); }
};
using ScopedUnzFile = Scoped<UnzFileTraits>;

// minizip takes an end record at offset 0 for a missing one and refuses an
// archive with no entries at all; such an archive is simply empty.
bool IsEmptyArchiveFile(const wchar_t* path) {
  ScopedFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  unsigned char bytes[22 + 0xFFFF];
  DWORD got = 0;
  if (!ReadFile(file.Get(), bytes, sizeof bytes, &got, nullptr)) return false;
  return IsEmptyArchiveRecord(bytes, got);
}

// The 8-bit name in the ANSI code page; false when it does not convert exactly
// or its UTF-16 form would not fit.
bool ConvertEntryName(const char* name, wchar_t* wide, int capacity) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, capacity) > 0;
}

// Only what Windows would let a rename replace: no folder, and no read-only
// file (Windows refuses to replace one; Wine would, so it is checked here).
// No file at all is fine.
bool MayReplace(const wchar_t* name) {
  const DWORD attributes = GetFileAttributesW(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // creating it tells the rest
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

// A new file beside an entry's destination, written in full before it replaces
// the destination in one rename. Deleted on every path that does not put it in
// place, so a failed entry leaves the old file as it was.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() {
    if (!file_ || placed_) return;
    FILE_DISPOSITION_INFO dispose = {TRUE};
    // A delete that fails leaves a stray temporary file, not a damaged plug-in.
    (void)SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &dispose, sizeof dispose);
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file new (never through anything already at its name) in the
  // folder of `name`, making the folder when it is missing.
  bool Create(const wchar_t* name) {
    static uint32_t serial = 0;  // names left by a setup that was killed are skipped
    const uint32_t process = GetCurrentProcessId();
    bool made_folder = false;
    for (int attempt = 0; attempt < 32; ++attempt) {
      wchar_t temp[kEntryNameChars];
      if (!SiblingTempName(name, process, serial++, temp, kEntryNameChars)) return false;
      file_.Reset(CreateFileW(temp, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_) return true;
      const DWORD error = GetLastError();
      if (error == ERROR_PATH_NOT_FOUND && !made_folder) {
        // The folder's entry comes later, or there is none.
        made_folder = true;
        MakeFolderOf(temp);
      } else if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        return false;
      }
    }
    return false;
  }

  HANDLE Get() const { return file_.Get(); }

  // Renames the file to `name`, replacing what is there. False when that
  // cannot be done (the old file is in use): the old file stays as it was.
  bool PutInPlace(const wchar_t* name) {
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(name, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return false;
    // The rename takes a native path: \??\C:\... or \??\UNC\server\share\...
    const wchar_t* rest = full;
    const wchar_t* prefix = L"\\??\\";
    if (full[0] == L'\\' && full[1] == L'\\') {
      rest = full + 2;
      prefix = L"\\??\\UNC\\";
    }
    struct {
      FILE_RENAME_INFO info;
      wchar_t room[MAX_PATH + 8];
    } rename = {};
    rename.info.ReplaceIfExists = TRUE;
    wchar_t* target = rename.info.FileName;
    if (!CopyText(target, MAX_PATH + 8, prefix) || !AppendText(target, MAX_PATH + 8, rest)) return false;
    rename.info.FileNameLength = static_cast<DWORD>(TextLength(target) * sizeof(wchar_t));
    placed_ = SetFileInformationByHandle(file_.Get(), FileRenameInfo, &rename, sizeof rename) != 0;
    return placed_;
  }

 private:
  static void MakeFolderOf(wchar_t* path) {
    wchar_t* last = nullptr;
    for (wchar_t* p = path; *p != 0; ++p) {
      if (IsEntrySeparator(*p)) last = p;
    }
    if (last == nullptr) return;
    const wchar_t separator = *last;
    *last = 0;
    (void)MakeEntryFolderChain(path);  // a failure shows when the file is created again
    *last = separator;
  }

  ScopedFileHandle file_;
  bool placed_ = false;
};

bool WriteToPendingFile(void* file, const char* bytes, unsigned length) {
  DWORD put = 0;
  return WriteFile(static_cast<PendingFile*>(file)->Get(), bytes, length, &put, nullptr) &&
         put == length;  // a short write: a full disk
}

// Writes one file entry; returns the entry's result, with kUnpackFilesSkipped
// when its file could not be created or put in place.
int UnpackFileEntry(unzFile archive, const unz_file_info64& info, const wchar_t* name,
                    char* buffer) {
  int rc = CheckEntryMethod(info);
  if (rc != UNZ_OK) return rc;
  rc = unzOpenCurrentFilePassword(archive, nullptr);
  if (rc != UNZ_OK) {
    (void)unzCloseCurrentFile(archive);  // the open's error is the one reported
    return rc;
  }
  PendingFile out;
  if (!MayReplace(name) || !out.Create(name)) {
    rc = unzCloseCurrentFile(archive);
    return rc != UNZ_OK ? rc : kUnpackFilesSkipped;
  }
  rc = DrainEntry(archive, info, buffer, &WriteToPendingFile, &out);
  if (rc != UNZ_OK) return rc;
  SetEntryFileTime(out.Get(), static_cast<uint32_t>(info.dosDate));
  return out.PutInPlace(name) ? kUnpackOk : kUnpackFilesSkipped;
}

}  // namespace

int UnpackArchive(const wchar_t* archivePath, const wchar_t* target) {
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  ScopedUnzFile archive(unzOpen2_64(archivePath, &functions));
  if (!archive) {
    if (!IsEmptyArchiveFile(archivePath)) return kUnpackCantOpen;
    return _wchdir(target) == 0 ? kUnpackOk : kUnpackCantOpen;
  }
  if (_wchdir(target) != 0) return kUnpackCantOpen;
  const int rc = UnpackEntries(archive.Get());
  (void)archive.Close();  // read-only: nothing of the result depends on closing
  return rc;
}

int UnpackEntries(unzFile archive) {
  unz_global_info64 global;
  int rc = unzGetGlobalInfo64(archive, &global);
  if (rc != UNZ_OK) return rc;

  ScopedMalloc buffer(malloc(kCopyBufferBytes));  // one copy buffer for the whole archive
  if (!buffer) return UNZ_INTERNALERROR;

  rc = CheckDataSpans(archive, global.number_entry);
  if (rc != UNZ_OK) return rc;

  bool skipped = false;
  for (ZPOS64_T i = 0; i < global.number_entry;) {
    unz_file_info64 info;
    char name[kEntryNameBytes];
    rc = ReadEntryInfo(archive, &info, name);
    if (rc != UNZ_OK) return rc;
    wchar_t wide[kEntryNameChars];
    if (!ConvertEntryName(name, wide, kEntryNameChars) || !IsPlainRelativeName(wide)) {
      return kUnpackBadName;
    }

    const size_t length = wcslen(wide);
    if (IsEntrySeparator(wide[length - 1])) {
      (void)_wmkdir(wide);  // an existing folder is fine; anything else in its way is not
      const DWORD attributes = GetFileAttributesW(wide);
      if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        skipped = true;
      }
    } else {
      rc = UnpackFileEntry(archive, info, wide, static_cast<char*>(buffer.Get()));
      if (rc == kUnpackFilesSkipped) {
        skipped = true;
      } else if (rc != UNZ_OK) {
        return rc;
      }
    }

    ++i;
    if (i < global.number_entry) {
      rc = unzGoToNextFile(archive);
      if (rc != UNZ_OK) return rc;
    }
  }
  return skipped ? kUnpackFilesSkipped : kUnpackOk;
}

void SetEntryFileTime(HANDLE file, uint32_t dosDateTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local)) return;
  if (!LocalFileTimeToFileTime(&local, &utc)) return;
  // The last-access time stays as the file system has it.
  (void)SetFileTime(file, &utc, nullptr, &utc);
}

int MakeEntryFolderChain(const wchar_t* path) {
  if (path[0] == 0) return 0;
  const size_t length = wcslen(path);
  ScopedMalloc copy_memory(malloc((length + 1) * sizeof(wchar_t)));
  if (!copy_memory) return UNZ_INTERNALERROR;
  wchar_t* copy = static_cast<wchar_t*>(copy_memory.Get());
  wmemcpy(copy, path, length + 1);
  if (copy[length - 1] == L'/') copy[length - 1] = 0;

  if (_wmkdir(copy) == 0) return 1;
  for (wchar_t* p = copy + 1;; ++p) {
    if (*p != 0 && !IsEntrySeparator(*p)) continue;
    const wchar_t kept = *p;
    *p = 0;
    if (_wmkdir(copy) != 0 && errno == ENOENT) return 0;
    *p = kept;
    if (kept == 0) return 1;
  }
}
