#include "install/apps_entry.h"

#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/own_image.h"
#include "fs/pending_file.h"
#include "fs/relative_file.h"
#include "install/entry_text.h"
#include "install/install_record.h"

namespace {

constexpr DWORD kCopyChunkBytes = 1 << 20;
// ERROR_ELEVATION_REQUIRED, which the build's headers lack.
constexpr DWORD kErrorElevationRequired = 740;
constexpr size_t kCommandChars = 2048;

// The root of the entry's hive, in `user` when it is the user's own.
HKEY EntryHive(const EntryPlace& place, ScopedRegKey* user) {
  if (place.hive != HKEY_CURRENT_USER) return place.hive;
  // The running user's own, not the process's cached HKEY_CURRENT_USER.
  const LONG rc = RegOpenCurrentUser(KEY_READ | KEY_WRITE, user->Receive());
  if (rc == ERROR_SUCCESS) return user->Get();
  SetLastError(static_cast<DWORD>(rc));
  return nullptr;
}

// The held record folder's path as programs name it, and `leaf` in it.
bool PathIn(const TargetFolder& folder, const wchar_t* leaf, wchar_t* path, size_t capacity) {
  if (PlainPathForm(folder.Path(), path, capacity) && AppendBackslashIfMissing(path, capacity) &&
      AppendText(path, capacity, leaf)) {
    return true;
  }
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return false;
}

// A copy of the open `source`, of `size` bytes, in `folder` at a new name,
// into `leaf` (MAX_PATH + 1).
bool CopyInto(const TargetFolder& folder, HANDLE source, uint64_t size, const wchar_t* package, wchar_t* leaf) {
  ScopedMalloc buffer(malloc(kCopyChunkBytes));
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  uint64_t random = 0;
  if (!SystemRandom(&random)) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  if (!UninstallerLeaf(package, random, leaf, MAX_PATH + 1)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  // Written under a temporary name and flushed first: the copy's own name
  // never names a part of it.
  PendingFile pending;
  uint32_t serial = 0;
  if (!pending.Create(folder.Get(), leaf, GENERIC_WRITE, &serial)) return false;
  uint64_t copied = 0;
  for (;;) {
    DWORD got = 0, put = 0;
    if (!ReadFile(source, buffer.Get(), kCopyChunkBytes, &got, nullptr)) return false;
    if (got == 0) break;
    if (!WriteFile(pending.Get(), buffer.Get(), got, &put, nullptr)) return false;
    if (put != got) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    copied += got;
  }
  if (copied != size) {
    SetLastError(ERROR_READ_FAULT);
    return false;
  }
  return pending.Flush() && pending.PutInPlace(leaf, ReplaceOrderOn(folder.Get()));
}

bool SetText(HKEY key, const wchar_t* name, const wchar_t* value) {
  const DWORD bytes = static_cast<DWORD>((TextLength(value) + 1) * sizeof(wchar_t));
  const LONG rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const wchar_t* name, DWORD value) {
  const LONG rc = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

bool WriteEntry(const EntryPlace& place, const TargetFolder& folder, const wchar_t* leaf, uint64_t copyBytes,
                const EntryFacts& facts) {
  wchar_t copy[kFolderPathChars], log[kFolderPathChars];
  wchar_t uninstall[kCommandChars], quiet[kCommandChars];
  if (!PathIn(folder, leaf, copy, kFolderPathChars) || !PathIn(folder, kUninstallLogName, log, kFolderPathChars)) {
    return false;
  }
  // Apps & features starts it by CreateProcess, which takes no longer path.
  if (TextLength(copy) > kMaxPathChars || !UninstallCommand(copy, facts.plugins, log, false, uninstall, kCommandChars) ||
      !UninstallCommand(copy, facts.plugins, log, true, quiet, kCommandChars)) {
    SetLastError(ERROR_BAD_PATHNAME);  // too long, or a name the setup's reading would cut short
    return false;
  }
  const uint64_t kibibytes = (facts.bytes + copyBytes + 1023) / 1024;
  ScopedRegKey user, key;
  const HKEY hive = EntryHive(place, &user);
  if (hive == nullptr) return false;
  const LONG rc = RegCreateKeyExW(hive, kEntryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | place.view,
                                  nullptr, key.Receive(), nullptr);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  return SetText(key.Get(), L"DisplayName", kEntryName) && SetText(key.Get(), L"DisplayVersion", facts.package) &&
         SetText(key.Get(), L"Publisher", kPublisher) && SetText(key.Get(), L"InstallLocation", facts.plugins) &&
         SetNumber(key.Get(), L"EstimatedSize", kibibytes > MAXDWORD ? MAXDWORD : static_cast<DWORD>(kibibytes)) &&
         SetText(key.Get(), L"DisplayIcon", copy) && SetText(key.Get(), L"UninstallString", uninstall) &&
         SetText(key.Get(), L"QuietUninstallString", quiet) && SetNumber(key.Get(), L"NoModify", 1) &&
         SetNumber(key.Get(), L"NoRepair", 1);
}

bool DeleteEntryKey(const EntryPlace& place) {
  ScopedRegKey user;
  const HKEY hive = EntryHive(place, &user);
  if (hive == nullptr) return false;
  const LONG rc = RegDeleteKeyExW(hive, kEntryKey, place.view, 0);
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return true;
  SetLastError(static_cast<DWORD>(rc));
  return false;
}

// Deletes the copy at `leaf` in `folder`; the running `setup`'s own file is
// marked to go at the next restart instead.
void DeleteCopy(const TargetFolder& folder, const wchar_t* leaf, HMODULE setup) {
  constexpr RelativeOpen kCopy = {FILE_READ_DATA | FILE_READ_ATTRIBUTES | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  FILE_OPEN, FILE_NON_DIRECTORY_FILE, 0, nullptr};
  ScopedFileHandle copy;
  ItemFacts facts;
  const size_t length = TextLength(leaf);
  if (OpenInFolder(folder.Get(), leaf, length, kCopy, &copy) != OpenOutcome::kOpened ||
      !folder.Holds(copy.Get(), leaf, length, &facts)) {
    return;  // another program holds it, or it is no plain file: the next installation tries again
  }
  if (!IsFileOfImage(copy.Get(), setup)) {
    (void)MarkForDeletion(copy.Get(), true);  // one that stays is tried again next time
    return;
  }
  // The record's folder, which the run trusts (RecordFolderTrusted), holds
  // it, so its name still leads to it at the restart. An unelevated run may
  // not schedule (the list is in HKLM): its copy stays until the next
  // installation sweeps it.
  wchar_t path[kFolderPathChars];
  if (PathIn(folder, leaf, path, kFolderPathChars)) (void)MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Every copy in `folder` but the one at `keep` (may be null).
void DeleteCopies(const TargetFolder& folder, const wchar_t* keep, HMODULE setup) {
  // A copy not listed is deleted by a later installation.
  (void)ForEachFileIn(folder.Get(), [&](const wchar_t* leaf) {
    if (!IsUninstallerLeaf(leaf)) return;
    if (keep != nullptr && CompareStringOrdinal(leaf, -1, keep, -1, TRUE) == CSTR_EQUAL) return;
    DeleteCopy(folder, leaf, setup);
  });
}

}  // namespace

EntryPlace EntryPlaceFor(RunAccount account) {
  if (RecordPlaceFor(account) == RecordPlace::kUser) return {HKEY_CURRENT_USER, 0};
  return {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY};
}

bool KeepEntry(const TargetFolder& recordFolder, RunAccount account, HMODULE setup, const EntryFacts& facts) {
  const EntryPlace place = EntryPlaceFor(account);
  ScopedFileHandle source;
  LARGE_INTEGER size = {};
  wchar_t leaf[MAX_PATH + 1] = {};
  // An administrator's filtered token keeps the user's own record, which the
  // user's programs may change; the setup asks for the highest rights it can
  // have, so Apps & features would start that copy elevated.
  const bool allowed = place.hive != HKEY_CURRENT_USER || !IsFilteredAdministrator();
  if (!allowed) SetLastError(kErrorElevationRequired);
  const bool copied = allowed && OpenFileOfImage(setup, &source) && GetFileSizeEx(source.Get(), &size) &&
                      CopyInto(recordFolder, source.Get(), static_cast<uint64_t>(size.QuadPart), facts.package, leaf);
  if (!copied || !WriteEntry(place, recordFolder, leaf, static_cast<uint64_t>(size.QuadPart), facts)) {
    const DWORD error = GetLastError();
    if (copied) DeleteCopy(recordFolder, leaf, nullptr);
    (void)DeleteEntryKey(place);  // the run tells of `error`, the one that counts
    SetLastError(error);
    return false;
  }
  DeleteCopies(recordFolder, leaf, setup);
  return true;
}

bool RemoveEntry(const TargetFolder& recordFolder, RunAccount account, HMODULE setup) {
  // An entry that stays keeps the copy it runs.
  if (!DeleteEntryKey(EntryPlaceFor(account))) return false;
  if (recordFolder.Held()) DeleteCopies(recordFolder, nullptr, setup);
  return true;
}

bool RemoveEntryOf(const wchar_t* plugins, const TargetFolder& recordFolder, RunAccount account, HMODULE setup) {
  const EntryPlace place = EntryPlaceFor(account);
  ScopedRegKey user, key;
  const HKEY hive = EntryHive(place, &user);
  if (hive == nullptr) return false;
  const LONG rc = RegOpenKeyExW(hive, kEntryKey, 0, KEY_QUERY_VALUE | place.view, key.Receive());
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  wchar_t location[kFolderPathChars] = {};
  DWORD bytes = sizeof location - sizeof(wchar_t), type = 0;
  const LONG read = rc != ERROR_SUCCESS ? rc
                    : RegQueryValueExW(key.Get(), L"InstallLocation", nullptr, &type,
                                       reinterpret_cast<BYTE*>(location), &bytes);
  // No location, or one longer than any Plugins folder: none of ours.
  if (read == ERROR_FILE_NOT_FOUND || read == ERROR_MORE_DATA || (read == ERROR_SUCCESS && type != REG_SZ)) {
    return true;
  }
  if (read != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(read));
    return false;
  }
  if (CompareStringOrdinal(location, -1, plugins, -1, TRUE) != CSTR_EQUAL) return true;
  return RemoveEntry(recordFolder, account, setup);
}
