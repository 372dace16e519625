#include "install/install.h"

#include <windows.h>

#include <sddl.h>

#include <direct.h>
#include <errno.h>

#include "framework/scoped.h"
#include "framework/winapp.h"
#include "install/install_log.h"
#include "install/messages.h"
#include "install/pending_file.h"
#include "install/unpack.h"
#include "res/setup_identity.h"
#include "text/path_split.h"
#include "text/text.h"

int g_silent = 0;

namespace {

constexpr size_t kMaxFolderChars = 259;

void ReportFailure(const wchar_t* caption, const wchar_t* startDir) {
  // Unpacking has moved the current directory into the Plugins folder; the log
  // belongs beside the other entries, where the run started.
  if (startDir[0] != 0) (void)_wchdir(startDir);
  wchar_t text[kInstallPathChars];
  LoadMessage(kMsgCantInstall, text, kInstallPathChars);
  if (g_silent) {
    WriteInstallLog(text);
  } else {
    MessageBoxW(GetActiveWindow(), text, caption, MB_ICONERROR);
  }
}

// Makes the Plugins folder `target` and unpacks the payload into it while no
// other setup installs: setups started together would otherwise truncate each
// other's staged archive. Returns 0 on success.
int InstallAlone(wchar_t* target) {
  // Any user's setup may wait on the mutex and own it, whichever setup made it
  // (one run as SYSTEM by a deployment, one elevated, one not); each asks only
  // for the rights a wait needs.
  ScopedLocalMemory security;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(A;;0x00100001;;;WD)(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
          reinterpret_cast<PSECURITY_DESCRIPTOR*>(security.Receive()), nullptr)) {
    return -1;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.Get(), FALSE};
  ScopedKernelHandle mutex(
      CreateMutexExW(&attributes, kInstallMutexName, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
  if (!mutex) return -1;
  const DWORD waited = WaitForSingleObject(mutex.Get(), kInstallWaitMilliseconds);
  // An abandoned mutex is owned all the same: its setup was ended midway.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return -1;
  ScopedMutexOwnership owned(mutex.Get());

  (void)MakeFolderChain(target, kInstallPathChars);  // unpacking fails if it is missing
  return StagePayloadArchive(kPayloadId, kPayloadType, kStagedArchiveName, target);
}

}  // namespace

int InstallPlugins(const wchar_t* folder, const wchar_t* caption) {
  wchar_t start_dir[kInstallPathChars];
  if (_wgetcwd(start_dir, kInstallPathChars) == nullptr) start_dir[0] = 0;

  // folder\Plugins\ must fit the 259 characters a Windows path may have.
  wchar_t target[kInstallPathChars];
  if (!CopyText(target, kInstallPathChars, folder) ||
      !AppendBackslashIfMissing(target, kInstallPathChars) ||
      !AppendText(target, kInstallPathChars, L"Plugins") ||
      TextLength(target) + 1 > kMaxFolderChars) {
    ReportFailure(caption, start_dir);
    return -1;
  }

  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const int rc = InstallAlone(target);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));

  if (rc != 0) {
    ReportFailure(caption, start_dir);
  } else if (!g_silent) {
    wchar_t text[kInstallPathChars];
    LoadMessage(kMsgInstalled, text, kInstallPathChars);
    MessageBoxW(GetActiveWindow(), text, caption, MB_ICONINFORMATION);
  }
  return rc;
}

int MakeFolderChain(wchar_t* path, size_t capacity) {
  if (!AppendBackslashIfMissing(path, capacity)) return 0;
  PathParts parts;
  SplitPath(path, &parts);
  if (parts.drive[0] == 0) return 0;

  // Entering the folder tells that it exists; the current directory is put back.
  wchar_t current[MAX_PATH];
  if (_wgetcwd(current, MAX_PATH) != nullptr && _wchdir(path) == 0) {
    (void)_wchdir(current);
    return 1;
  }

  for (wchar_t* p = path; *p != 0; ++p) {
    if (*p != L'\\' || p == path) continue;
    *p = 0;
    // An existing component or the bare drive ("C:") fails harmlessly.
    const bool missing_parent = _wmkdir(path) != 0 && errno == ENOENT;
    *p = L'\\';
    if (missing_parent) return 0;
  }
  return (_wmkdir(path) != 0 && errno == ENOENT) ? 0 : 1;
}

int StagePayloadArchive(int id, const wchar_t* type, const wchar_t* fileName,
                        const wchar_t* target) {
  HMODULE module = AfxGetResourceHandle();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return -1;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return -1;
  const void* bytes = LockResource(loaded);
  const DWORD size = SizeofResource(module, found);
  if (bytes == nullptr || size == 0) return -1;

  wchar_t temp_path[kInstallPathChars] = {};
  const DWORD length = GetTempPathW(kInstallPathChars, temp_path);
  if (length == 0 || length >= kInstallPathChars) return -1;
  if (!AppendBackslashIfMissing(temp_path, kInstallPathChars) ||
      !AppendText(temp_path, kInstallPathChars, fileName)) {
    return -1;
  }

  // The user's other programs can write to the temp folder: the copy is made
  // new under a name of its own and renamed over the staged name, which
  // replaces whatever is there (a leftover copy, a link or a hard link itself,
  // never what a link leads to). Nobody else can open, replace or rename it,
  // and it is deleted when its last handle closes, also when the setup is killed.
  ScopedFileHandle copy;
  {
    PendingFile staged;
    DWORD put = 0;
    if (!staged.Create(temp_path, GENERIC_READ | GENERIC_WRITE,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE) ||
        !WriteFile(staged.Get(), bytes, size, &put, nullptr) || put != size ||
        !staged.PutInPlace(temp_path)) {
      return -1;
    }
    // Unpacking reads through a handle that cannot write to the same open file.
    HANDLE read_only = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), staged.Get(), GetCurrentProcess(), &read_only,
                         FILE_GENERIC_READ, FALSE, 0)) {
      return -1;
    }
    copy.Reset(read_only);
  }
  return UnpackArchive(copy.Get(), target);
}
