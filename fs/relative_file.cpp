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
constexpr NTSTATUS kCancelled = static_cast<NTSTATUS>(0xC0000120);
// A success: the open is done, but another opener's oplock is still breaking.
constexpr NTSTATUS kOplockBreakInProgress = static_cast<NTSTATUS>(0x00000108);
constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);

// The documented values that the build's headers (set for Windows 7) lack.
constexpr ULONG kCompleteIfOplocked = 0x00000100;
constexpr auto kRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenamePosixSemantics = 0x2;

// While an oplock breaks, an open is tried this many times, this far apart.
constexpr int kOplockTries = 5;
constexpr DWORD kOplockPauseMilliseconds = 50;

// NtCreateFile for synchronous I/O, as CreateFileW's handles have, so that
// ReadFile and WriteFile work on it; never waiting for an oplock's break,
// which its holder might never acknowledge. A break still in progress after
// the last try reports kOplockBreakInProgress and leaves nothing open.
NTSTATUS CreateRelative(HANDLE root, UNICODE_STRING* name, ULONG caseRule, const RelativeOpen& how,
                        HANDLE* opened, bool follow = false) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, name, caseRule, root, how.security);
  NTSTATUS status = kOplockBreakInProgress;
  for (int attempt = 0; attempt < kOplockTries && status == kOplockBreakInProgress; ++attempt) {
    if (attempt > 0) Sleep(kOplockPauseMilliseconds);
    IO_STATUS_BLOCK io = {};
    *opened = nullptr;
    status = NtCreateFile(opened, how.access | SYNCHRONIZE, &attributes, &io, nullptr, how.attributes,
                          how.sharing, how.disposition,
                          how.options | (follow ? 0 : FILE_OPEN_REPARSE_POINT) |
                              FILE_SYNCHRONOUS_IO_NONALERT | kCompleteIfOplocked,
                          nullptr, 0);
    // I/O on such a handle would wait for the break: it is closed unused.
    if (status == kOplockBreakInProgress) (void)CloseHandle(*opened);
  }
  if (status == kOplockBreakInProgress) *opened = nullptr;
  return status;
}

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
  if (!CountedName(leaf, length, &name)) {
    SetLastError(ERROR_INVALID_NAME);
    return OpenOutcome::kFailed;
  }
  HANDLE opened = nullptr;
  const NTSTATUS status = CreateRelative(folder, &name, OBJ_CASE_INSENSITIVE, how, &opened);
  if (status == kOplockBreakInProgress) {
    SetLastError(kErrorOplockBreaking);
    return OpenOutcome::kBusy;
  }
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
    case kDeletePending:
    case kCancelled: return OpenOutcome::kBusy;  // a call the run's watch cancelled waited on another
    case kFileIsADirectory:
    case kNotADirectory: return OpenOutcome::kOtherKind;
    default: return OpenOutcome::kFailed;
  }
}

bool RenameInFolder(HANDLE item, HANDLE folder, const wchar_t* leaf, size_t length, RenameMode mode) {
  if (length == 0 || length >= kBelowPathChars) return false;
  // The name follows the fixed fields; it is copied in as bytes, past the
  // one character the declaration gives it.
  constexpr size_t kNameAt = offsetof(FILE_RENAME_INFORMATION, FileName);
  alignas(FILE_RENAME_INFORMATION) unsigned char buffer[kNameAt + kBelowPathChars * sizeof(wchar_t)] = {};
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer);
  // The extended record's flags take the place of ReplaceIfExists, in a
  // ULONG that the following handle's alignment leaves room for.
  static_assert(offsetof(FILE_RENAME_INFORMATION, RootDirectory) >= sizeof(ULONG), "room for the flags");
  const ULONG flags = mode == RenameMode::kReplacePosix ? kRenameReplaceIfExists | kRenamePosixSemantics
                      : mode == RenameMode::kReplace    ? kRenameReplaceIfExists
                                                        : 0;
  memcpy(buffer, &flags, sizeof flags);  // ReplaceIfExists is its low byte
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
  const NTSTATUS status = NtSetInformationFile(
      item, &io, buffer, static_cast<ULONG>(size),
      mode == RenameMode::kReplacePosix ? kRenameInformationEx : FileRenameInformation);
  if (NT_SUCCESS(status)) return true;
  SetLastError(RtlNtStatusToDosError(status));  // for the caller to report
  return false;
}

bool LacksPosixRename(unsigned long error) {
  return error == RtlNtStatusToDosError(kNotImplemented) ||
         error == RtlNtStatusToDosError(kInvalidInfoClass) ||
         error == RtlNtStatusToDosError(kInvalidParameter) ||
         error == RtlNtStatusToDosError(kNotSupported);
}

bool MarkForDeletion(HANDLE item, bool deleted) {
  FILE_DISPOSITION_INFO dispose = {static_cast<BOOLEAN>(deleted ? TRUE : FALSE)};
  return SetFileInformationByHandle(item, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

namespace {

bool Reopen(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened, ULONG sharing, bool follow) {
  reopened->Reset();
  // No name, relative to the item: the item itself (what ReOpenFile does,
  // which Wine lacks). Nothing is looked up by name.
  UNICODE_STRING name = {0, 0, nullptr};
  const RelativeOpen how = {access, sharing, FILE_OPEN, 0, 0, nullptr};
  HANDLE opened = nullptr;
  const NTSTATUS status = CreateRelative(item, &name, 0, how, &opened, follow);
  if (status == kOplockBreakInProgress) {
    SetLastError(kErrorOplockBreaking);
    return false;
  }
  if (!NT_SUCCESS(status)) {
    SetLastError(RtlNtStatusToDosError(status));
    return false;
  }
  reopened->Reset(opened);
  return true;
}

}  // namespace

bool ReopenItem(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened, ULONG sharing) {
  return Reopen(item, access, reopened, sharing, false);
}

bool ReopenFollowing(HANDLE item, ACCESS_MASK access, ScopedFileHandle* reopened, ULONG sharing) {
  return Reopen(item, access, reopened, sharing, true);
}
