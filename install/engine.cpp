#include "install/engine.h"

#include <windows.h>

#include <sddl.h>

#include "framework/scoped.h"
#include "install/archive_rules.h"
#include "install/pending_file.h"
#include "install/unpack.h"
#include "text/path_split.h"
#include "text/text.h"

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

// Makes the Plugins folder `target` and unpacks the payload into it while no
// other setup installs: setups started together would otherwise truncate each
// other's staged archive.
InstallResult InstallAlone(const InstallRequest& request, wchar_t* target) {
  // Any user's setup may wait on the mutex and own it, whichever setup made it
  // (one run as SYSTEM by a deployment, one elevated, one not); each asks only
  // for the rights a wait needs.
  ScopedLocalMemory security;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(A;;0x00100001;;;WD)(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
          reinterpret_cast<PSECURITY_DESCRIPTOR*>(security.Receive()), nullptr)) {
    return {InstallStatus::kLockUnavailable, 0};
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.Get(), FALSE};
  ScopedKernelHandle mutex(
      CreateMutexExW(&attributes, kInstallMutexName, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
  if (!mutex) return {InstallStatus::kLockUnavailable, 0};
  DWORD waited = WaitForSingleObject(mutex.Get(), 0);
  if (waited == WAIT_TIMEOUT) {
    if (request.observer != nullptr) request.observer->OnWaiting();
    waited = WaitForSingleObject(mutex.Get(), kInstallWaitMilliseconds);
  }
  if (waited == WAIT_TIMEOUT) return {InstallStatus::kLockTimedOut, 0};
  // An abandoned mutex is owned all the same: its setup was ended midway.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return {InstallStatus::kLockUnavailable, 0};
  ScopedMutexOwnership owned(mutex.Get());

  // Unpacking finds out whether the folder is there; its result is what counts.
  if (request.makeMissingFolders) (void)MakeFolderChain(target, kTargetChars);
  return ResultOf(StagePayloadArchive(request.payload, request.payloadBytes, kStagedArchiveName,
                                      target, request.observer));
}

}  // namespace

InstallResult InstallPayload(const InstallRequest& request) {
  InstallResult result;
  // folder\Plugins\ must fit the 259 characters a Windows path may have.
  wchar_t target[kTargetChars];
  if (!IsFullPath(request.folder)) {
    result = {InstallStatus::kTargetUnusable, 0};  // a relative folder would need a current directory
  } else if (!CopyText(target, kTargetChars, request.folder) ||
             !AppendBackslashIfMissing(target, kTargetChars) ||
             !AppendText(target, kTargetChars, kPluginsFolderName) ||
             TextLength(target) + 1 > kMaxPathChars) {
    result = {InstallStatus::kPathTooLong, 0};
  } else {
    result = InstallAlone(request, target);
  }
  if (request.observer != nullptr) request.observer->OnDone(result);
  return result;
}

int MakeFolderChain(wchar_t* path, size_t capacity) {
  if (!AppendBackslashIfMissing(path, capacity)) return 0;
  PathParts parts;
  SplitPath(path, &parts);
  if (parts.drive[0] == 0) return 0;

  const DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 1;

  // A missing parent is the one failure that counts; an existing component or
  // the bare drive ("C:") fails harmlessly.
  auto missing_parent = [](const wchar_t* folder) {
    if (CreateDirectoryW(folder, nullptr)) return false;
    const DWORD error = GetLastError();
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
  };
  for (wchar_t* p = path; *p != 0; ++p) {
    if (*p != L'\\' || p == path) continue;
    *p = 0;
    const bool missing = missing_parent(path);
    *p = L'\\';
    if (missing) return 0;
  }
  return missing_parent(path) ? 0 : 1;
}

int StagePayloadArchive(const void* payload, size_t payloadBytes, const wchar_t* fileName,
                        const wchar_t* target, InstallObserver* observer) {
  if (payload == nullptr || payloadBytes == 0 || payloadBytes > MAXDWORD) return kStageFailed;

  wchar_t temp_path[kTargetChars] = {};
  const DWORD length = GetTempPathW(kTargetChars, temp_path);
  if (length == 0 || length >= kTargetChars) return kStageFailed;
  if (!AppendBackslashIfMissing(temp_path, kTargetChars) ||
      !AppendText(temp_path, kTargetChars, fileName)) {
    return kStageFailed;
  }

  // The user's other programs can write to the temp folder: the copy is made
  // new under a name of its own and renamed over the staged name, which
  // replaces whatever is there (a leftover copy, a link or a hard link itself,
  // never what a link leads to). Nobody else can open, replace or rename it,
  // and it is deleted when its last handle closes, also when the setup is killed.
  ScopedFileHandle copy;
  {
    uint32_t serial = 0;
    PendingFile staged;
    DWORD put = 0;
    const DWORD size = static_cast<DWORD>(payloadBytes);
    if (!staged.Create(temp_path, GENERIC_READ | GENERIC_WRITE,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, &serial) ||
        !WriteFile(staged.Get(), payload, size, &put, nullptr) || put != size ||
        !staged.PutInPlace(temp_path)) {
      return kStageFailed;
    }
    // Unpacking reads through a handle that cannot write to the same open file.
    HANDLE read_only = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), staged.Get(), GetCurrentProcess(), &read_only,
                         FILE_GENERIC_READ, FALSE, 0)) {
      return kStageFailed;
    }
    copy.Reset(read_only);
  }
  return UnpackArchive(copy.Get(), target, observer);
}
