#include "install/engine.h"

#include <windows.h>

#include "archive/archive_rules.h"
#include "archive/memory_archive.h"
#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/folder_rights.h"
#include "fs/own_image.h"
#include "fs/temp_name.h"
#include "install/in_use.h"
#include "install/record_keeping.h"
#include "install/setup_lock.h"
#include "install/unpack.h"

namespace {

constexpr size_t kTargetChars = 520;

InstallResult ResultOf(int rc) {
  switch (rc) {
    case kUnpackOk: return {InstallStatus::kInstalled, rc};
    case kUnpackFilesSkipped: return {InstallStatus::kSomeNotInstalled, rc};
    case kUnpackTargetUnusable: return {InstallStatus::kTargetUnusable, rc};
    case kUnpackWriteFailed: return {InstallStatus::kWriteFailed, rc};
    case kUnpackReadFailed: return {InstallStatus::kArchiveUnreadable, rc};
    case kUnpackOutOfMemory: return {InstallStatus::kOutOfMemory, rc};
    case kStageFailed: return {InstallStatus::kCantStage, rc};
    default: return {InstallStatus::kArchiveDamaged, rc};  // a check's or minizip's refusal
  }
}

// Tells `observer` when a non-administrator may change `folder`.
void TellOpenToOthers(const TargetFolder& folder, InstallObserver* observer) {
  ScopedLocalMemory descriptor;
  OpenTo open;
  if (HeldFolderOpenToOthers(folder.Get(), &descriptor, &open)) {
    observer->OnOpenToOthers(folder.Path(), open.account, open.owner);
  }
}

// Holds the Plugins folder of `request.folder` (made first when asked) and
// unpacks the payload into it while no other setup installs there.
InstallResult InstallAlone(const InstallRequest& request) {
  if (request.makeMissingFolders) {
    wchar_t chain[kTargetChars];
    // Opening the folder finds out whether it is there; that is what counts.
    if (CopyText(chain, kTargetChars, request.folder)) (void)MakeFolderChain(chain, kTargetChars);
  }
  // The viewer folder is only looked in: nobody's sharing can keep a setup out.
  TargetFolder viewer, plugins;
  if (!viewer.Open(request.folder) ||
      !plugins.OpenIn(viewer, kPluginsFolderName, request.makeMissingFolders)) {
    return {InstallStatus::kTargetUnusable, 0};
  }
  if (WarnsOfOpenFolders(CurrentRunAccount()) && request.observer != nullptr) {
    TellOpenToOthers(viewer, request.observer);
    TellOpenToOthers(plugins, request.observer);
  }
  CallWatch watch;  // outlives every call it watches
  SetupLock lock;
  switch (lock.Take(plugins, request.observer)) {
    case LockOutcome::kTaken: break;
    case LockOutcome::kTimedOut: return {InstallStatus::kLockTimedOut, 0};
    case LockOutcome::kUnavailable: return {InstallStatus::kLockUnavailable, 0};
  }
  // A file in use, or a folder held so that nothing in it can be renamed,
  // would keep its old release among the new ones: nothing changes while one
  // is. A payload that cannot be read here is refused by unpacking, before
  // anything is written.
  // So is a file of an earlier release that this one drops, which goes.
  MemoryArchive archive;
  const bool opened = archive.Open(request.payload, request.payloadBytes);
  RecordKeeping record(request.recordFolder, CurrentRunAccount(), plugins, request.observer, request.setup);
  if (opened) {
    switch (record.Read(archive.Get())) {
      case RecordKeeping::Start::kReady: break;
      case RecordKeeping::Start::kTimedOut: return {InstallStatus::kLockTimedOut, 0};
      case RecordKeeping::Start::kOutOfMemory: return {InstallStatus::kOutOfMemory, 0};
    }
    const size_t in_use = CountFilesInUse(archive.Get(), plugins, InUseFor::kReplacing, request.observer) +
                          record.CountDroppedInUse();
    if (in_use > 0) return {InstallStatus::kFilesInUse, 0};
  }
  SweepLeftovers(plugins, plugins.Get(), L"", &watch);
  InstallRecord installed;  // what took its name, with its digest, for a run that keeps a record
  InstallResult result = ResultOf(StagePayloadArchive(request.payload, request.payloadBytes, plugins, request.observer,
                                                      &watch, opened && record.KeepsRecord() ? &installed : nullptr));
  // What the release dropped goes once every entry was tried; the record says
  // what is installed after any run that may have put files in place (a
  // damaged or unreadable entry ends the run after those before it).
  const bool unpacked = result.status == InstallStatus::kInstalled || result.status == InstallStatus::kSomeNotInstalled;
  if (opened && unpacked && !record.RemoveDropped(&watch)) result.status = InstallStatus::kSomeNotInstalled;
  const bool cut_short = result.status == InstallStatus::kWriteFailed ||
                         ((result.status == InstallStatus::kArchiveDamaged ||
                           result.status == InstallStatus::kArchiveUnreadable) && installed.Count() > 0);
  if (opened && (unpacked || cut_short)) record.Write(archive.Get(), request.package, installed);
  return result;
}

// The temp folder for the staged copy: where the system offers it, the one
// that only SYSTEM may use when the setup runs as SYSTEM.
DWORD TempFolder(wchar_t* path, DWORD capacity) {
  using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto get_temp_path2 = reinterpret_cast<GetTempPath2>(
      reinterpret_cast<void*>(kernel != nullptr ? GetProcAddress(kernel, "GetTempPath2W") : nullptr));
  return get_temp_path2 != nullptr ? get_temp_path2(capacity, path) : GetTempPathW(capacity, path);
}

}  // namespace

InstallResult InstallPayload(const InstallRequest& request) {
  InstallResult result;
  // folder\Plugins\ must fit the 259 characters a Windows path may have; a
  // "\\?\" before a drive does not count, as the path is the same.
  const size_t drive = DriveAt(request.folder);
  const size_t prefix = drive == kNoDrive ? 0 : drive;
  wchar_t target[kTargetChars];
  if (!IsFullPath(request.folder)) {
    result = {InstallStatus::kTargetUnusable, 0};  // a relative folder would need a current directory
  } else if (!CopyText(target, kTargetChars, request.folder) ||
             !AppendBackslashIfMissing(target, kTargetChars) ||
             !AppendText(target, kTargetChars, kPluginsFolderName) ||
             TextLength(target) - prefix + 1 > kMaxPathChars) {
    result = {InstallStatus::kPathTooLong, 0};
  } else {
    result = InstallAlone(request);
  }
  if (request.observer != nullptr) request.observer->OnDone(result);
  return result;
}

int StagePayloadArchive(const void* payload, size_t payloadBytes, const TargetFolder& target,
                        InstallObserver* observer, CallWatch* watch, InstallRecord* installed) {
  if (payload == nullptr || payloadBytes == 0 || payloadBytes > MAXDWORD) return kStageFailed;

  wchar_t folder[kTargetChars] = {};
  const DWORD length = TempFolder(folder, kTargetChars);
  if (length == 0 || length >= kTargetChars || !AppendBackslashIfMissing(folder, kTargetChars)) {
    return kStageFailed;
  }
  // Other users' programs may write to the temp folder (as SYSTEM it is
  // Windows' own): the copy is made new under a name nobody can know ahead.
  // Nobody else can open, replace or rename it, and it is deleted when its
  // last handle closes, also when the setup is killed.
  ScopedFileHandle staged;
  for (int attempt = 0; attempt < 4 && !staged; ++attempt) {
    uint64_t random = 0;
    wchar_t path[kTargetChars];
    wchar_t leaf[64];
    if (!SystemRandom(&random) || !StagedArchiveLeaf(kStagedArchiveStem, random, leaf, 64) ||
        !CopyText(path, kTargetChars, folder) || !AppendText(path, kTargetChars, leaf)) {
      return kStageFailed;
    }
    staged.Reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!staged && GetLastError() != ERROR_FILE_EXISTS) return kStageFailed;
  }
  DWORD put = 0;
  const DWORD size = static_cast<DWORD>(payloadBytes);
  if (!staged || !WriteFile(staged.Get(), payload, size, &put, nullptr) || put != size) {
    return kStageFailed;
  }
  // Unpacking reads through a handle that cannot write to the same open file.
  HANDLE read_only = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), staged.Get(), GetCurrentProcess(), &read_only,
                       FILE_GENERIC_READ, FALSE, 0)) {
    return kStageFailed;
  }
  ScopedFileHandle copy(read_only);
  return UnpackArchive(copy.Get(), target, observer, watch, installed);
}
