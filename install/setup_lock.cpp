#include "install/setup_lock.h"

#include <sddl.h>
#include <wchar.h>

#include "base/text.h"
#include "fs/folder_rights.h"
#include "fs/relative_file.h"

namespace {

constexpr unsigned long kPollMilliseconds = 50;

// Windows 10 1607's disposition with flags; the build's headers are set for
// Windows 7, so its documented values are spelled out here. Older systems and
// some file systems (FAT, some network shares) refuse the call.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionFlags {
  DWORD flags;
};
constexpr DWORD kDeleteFlag = 0x1;
constexpr DWORD kPosixSemanticsFlag = 0x2;

// Marks the lock file to go when its handle closes, also when the setup is
// killed. Where the system offers it, the name goes then even while someone
// who may only look at the folder keeps the file open for its attributes
// (which sharing does not stop); else with the last handle.
bool MarkLockForDeletion(HANDLE file) {
  DispositionFlags dispose = {kDeleteFlag | kPosixSemanticsFlag};
  return SetFileInformationByHandle(file, kDispositionInfoEx, &dispose, sizeof dispose) ||
         MarkForDeletion(file, true);
}

}  // namespace

bool MakeLockSecurity(bool elevated, ScopedLocalMemory* security) {
  // Protected: nothing is inherited from the folder. The owner (the elevated
  // administrator, whose unelevated programs share the user) may only read it.
  wchar_t sddl[256] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;RC;;;OW)";
  if (!elevated) {
    wchar_t user[128];
    if (!UserSidText(user, 128) || !AppendText(sddl, 256, L"(A;;FA;;;") ||
        !AppendText(sddl, 256, user) || !AppendText(sddl, 256, L")")) {
      return false;
    }
  }
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(
             sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(security->Receive()),
             nullptr) != 0;
}


LockOutcome SetupLock::Take(const TargetFolder& plugins, InstallObserver* observer) {
  ScopedLocalMemory security;
  // An account that cannot be told only adds the user to who may take the lock.
  const RunAccount account = CurrentRunAccount();
  const bool elevated = account == RunAccount::kSystem || account == RunAccount::kElevated;
  if (!MakeLockSecurity(elevated, &security)) return LockOutcome::kUnavailable;
  const RelativeOpen how = {DELETE | FILE_READ_ATTRIBUTES, 0, FILE_OPEN_IF,
                            FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_HIDDEN, security.Get()};
  const size_t length = wcslen(kLockFileName);
  const ULONGLONG deadline = GetTickCount64() + kInstallWaitMilliseconds;
  bool told = false;
  for (;;) {
    const OpenOutcome opened = OpenInFolder(plugins.Get(), kLockFileName, length, how, &file_);
    if (opened == OpenOutcome::kOpened) break;
    if (opened != OpenOutcome::kBusy) return LockOutcome::kUnavailable;
    if (!told && observer != nullptr) observer->OnWaiting();
    told = true;
    if (GetTickCount64() >= deadline) return LockOutcome::kTimedOut;
    Sleep(kPollMilliseconds);
  }
  // Only a plain file of its own is deleted on release, never what a link leads to.
  ItemFacts info;
  if (!plugins.Holds(file_.Get(), kLockFileName, length, &info) ||
      (info.attributes & FILE_ATTRIBUTE_DIRECTORY) || info.links != 1 ||
      !MarkLockForDeletion(file_.Get())) {
    file_.Reset();
    return LockOutcome::kUnavailable;
  }
  return LockOutcome::kTaken;
}
