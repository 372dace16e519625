#include "install/unpack.h"

#include <windows.h>

#include <direct.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "framework/scoped.h"
#include "install/entry_name.h"
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

// Writes one file entry; returns the entry's result, with kUnpackFilesSkipped
// when its file could not be created. `dataEnd` is where the previous entry's
// data ended in the archive; it becomes where this one's ends.
int UnpackFileEntry(unzFile archive, const unz_file_info64& info, wchar_t* name,
                    char* buffer, ZPOS64_T* dataEnd) {
  // minizip would inflate an encrypted entry's data as if it were plain.
  if (info.flag & 1) return kUnpackEncrypted;
  // Without bzip2 support minizip hands out method 12's compressed bytes as the
  // file, unchecked; other methods it refuses. Only stored and deflated count.
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    return kUnpackUnsupportedMethod;
  }

  int rc = unzOpenCurrentFilePassword(archive, nullptr);
  if (rc != UNZ_OK) {
    (void)unzCloseCurrentFile(archive);  // the open's error is the one reported
    return rc;
  }
  // Entries whose data overlaps (many records over one local header) would
  // write the same bytes again and again: the overlapped-components bomb.
  const ZPOS64_T data_start = unzGetCurrentFileZStreamPos64(archive);
  if (data_start < *dataEnd) {
    (void)unzCloseCurrentFile(archive);  // the overlap is the error reported
    return kUnpackOverlap;
  }
  *dataEnd = data_start + info.compressed_size;

  ScopedCrtFile out(_wfopen(name, L"wb"));
  if (!out) {
    // The folder may not exist yet (its entry comes later, or there is none).
    wchar_t* last = nullptr;
    for (wchar_t* p = name; *p != 0; ++p) {
      if (IsEntrySeparator(*p)) last = p;
    }
    if (last != nullptr) {
      const wchar_t separator = *last;
      *last = 0;
      (void)MakeEntryFolderChain(name);  // a failure shows in the retry below
      *last = separator;
      out.Reset(_wfopen(name, L"wb"));
    }
  }
  if (!out) {
    rc = unzCloseCurrentFile(archive);
    return rc != UNZ_OK ? rc : kUnpackFilesSkipped;
  }

  int copy_rc = UNZ_OK;
  ZPOS64_T written = 0;
  for (;;) {
    const int got = unzReadCurrentFile(archive, buffer, kCopyBufferBytes);
    if (got < 0) {
      copy_rc = got;
      break;
    }
    if (got == 0) break;
    if (fwrite(buffer, 1, static_cast<size_t>(got), out.Get()) != static_cast<size_t>(got)) {
      copy_rc = kUnpackCantOpen;
      break;
    }
    written += static_cast<unsigned>(got);
  }
  // Buffered data reaches the disk on closing: a full disk may show only here.
  if (out.Close() != 0 && copy_rc == UNZ_OK) copy_rc = kUnpackCantOpen;
  // minizip checks the CRC only when the declared size came out.
  if (copy_rc == UNZ_OK && written != info.uncompressed_size) copy_rc = kUnpackSizeMismatch;
  if (copy_rc == UNZ_OK) SetEntryFileTime(name, static_cast<uint32_t>(info.dosDate));

  rc = unzCloseCurrentFile(archive);
  return copy_rc != UNZ_OK ? copy_rc : rc;
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

  bool skipped = false;
  ZPOS64_T data_end = 0;
  for (ZPOS64_T i = 0; i < global.number_entry;) {
    unz_file_info64 info;
    char name[kEntryNameBytes];
    rc = unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0);
    if (rc != UNZ_OK) return rc;
    // A name that filled the buffer comes back cut and unterminated, and one
    // with a zero byte in it would be written under another name.
    if (info.size_filename >= kEntryNameBytes || strlen(name) != info.size_filename) {
      return kUnpackBadName;
    }
    wchar_t wide[kEntryNameChars];
    if (!ConvertEntryName(name, wide, kEntryNameChars) || !IsPlainRelativeName(wide)) {
      return kUnpackBadName;
    }

    const size_t length = wcslen(wide);
    if (IsEntrySeparator(wide[length - 1])) {
      (void)_wmkdir(wide);  // an existing folder is fine
    } else {
      rc = UnpackFileEntry(archive, info, wide, static_cast<char*>(buffer.Get()), &data_end);
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

void SetEntryFileTime(const wchar_t* path, uint32_t dosDateTime) {
  ScopedFileHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  FILETIME created, accessed, written;
  const bool have_access = GetFileTime(file.Get(), &created, &accessed, &written) != 0;
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local)) return;
  if (!LocalFileTimeToFileTime(&local, &utc)) return;
  // The last-access time stays as the file system has it.
  (void)SetFileTime(file.Get(), &utc, have_access ? &accessed : nullptr, &utc);
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
