#include "fs/relative_file.h"

#include <winternl.h>

#include <stddef.h>
#include <string.h>

#include "fs/target_folder.h"

namespace {

// The few results that are told apart (ntstatus.h would clash with windows.h).
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);
constexpr NTSTATUS kDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);

// A counted name of `length` characters; false when it is too long for one.
bool CountedName(const wchar_t* leaf, size_t length, UNICODE_STRING* name) {
  if (length == 0 || length * sizeof(wchar_t) > 0xFFFE) return false;
  name->Length = name->MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
  name->Buffer = const_cast<wchar_t*>(leaf);
  return true;
}

}  // namespace

OpenOutcome OpenInFolder(HANDLE folder, const wchar_t* leaf, size_t length,
                         const RelativeOpen& how, ScopedFileHandle* item) {
  item->Reset();
  UNICODE_STRING name;
  if (!CountedName(leaf, length, &name)) return OpenOutcome::kFailed;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, folder, how.security);
  IO_STATUS_BLOCK io = {};
  HANDLE opened = nullptr;
  // Synchronous I/O, as CreateFileW's handles have, so that ReadFile and
  // WriteFile work on it.
  const NTSTATUS status = NtCreateFile(
      &opened, how.access | SYNCHRONIZE, &attributes, &io, nullptr, how.attributes, how.sharing,
      how.disposition, how.options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT,
      nullptr, 0);
  if (NT_SUCCESS(status)) {
    item->Reset(opened);
    return OpenOutcome::kOpened;
  }
  SetLastError(RtlNtStatusToDosError(status));  // for the caller to report
  switch (status) {
    case kNameNotFound:
    case kPathNotFound: return OpenOutcome::kMissing;
    case kNameCollision: return OpenOutcome::kTaken;
    case kSharingViolation:
    case kDeletePending: return OpenOutcome::kBusy;
    case kFileIsADirectory:
    case kNotADirectory: return OpenOutcome::kOtherKind;
    default: return OpenOutcome::kFailed;
  }
}

bool RenameInFolder(HANDLE item, HANDLE folder, const wchar_t* leaf, size_t length) {
  if (length == 0 || length >= kBelowPathChars) return false;
  // The name follows the fixed fields; it is copied in as bytes, past the
  // one character the declaration gives it.
  constexpr size_t kNameAt = offsetof(FILE_RENAME_INFORMATION, FileName);
  alignas(FILE_RENAME_INFORMATION) unsigned char buffer[kNameAt + kBelowPathChars * sizeof(wchar_t)] = {};
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer);
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<ULONG>(length * sizeof(wchar_t));
  memcpy(buffer + kNameAt, leaf, length * sizeof(wchar_t));
  // The system refuses less than the whole declared record, which a name of
  // one character does not fill; FileNameLength says where the name ends.
  const size_t bytes = kNameAt + length * sizeof(wchar_t);
  const size_t size = bytes < sizeof(FILE_RENAME_INFORMATION) ? sizeof(FILE_RENAME_INFORMATION) : bytes;
  IO_STATUS_BLOCK io = {};
  // The Win32 call would make the name a full path first; this one keeps it
  // relative to the held folder.
  const NTSTATUS status =
      NtSetInformationFile(item, &io, buffer, static_cast<ULONG>(size), FileRenameInformation);
  if (NT_SUCCESS(status)) return true;
  SetLastError(RtlNtStatusToDosError(status));  // for the caller to report
  return false;
}

bool MarkForDeletion(HANDLE item, bool deleted) {
  FILE_DISPOSITION_INFO dispose = {static_cast<BOOLEAN>(deleted ? TRUE : FALSE)};
  return SetFileInformationByHandle(item, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

bool ReopenItem(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened) {
  reopened->Reset();
  // No name, relative to the item: the item itself (what ReOpenFile does,
  // which Wine lacks). Nothing is looked up by name, so no link is followed.
  UNICODE_STRING name = {0, 0, nullptr};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, 0, item, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE opened = nullptr;
  const NTSTATUS status =
      NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                   FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(status)) {
    SetLastError(RtlNtStatusToDosError(status));
    return false;
  }
  reopened->Reset(opened);
  return true;
}
