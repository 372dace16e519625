#include "report/install_plugins.h"

#include <windows.h>

#include "framework/winapp.h"
#include "install/engine.h"
#include "report/install_log.h"
#include "report/outcome.h"
#include "res/setup_identity.h"
#include "text/path_split.h"

int g_silent = 0;

namespace {

constexpr size_t kFullFolderChars = 520;

// The payload resource of the program's own module; false when it is missing or empty.
bool FindPayload(const void** bytes, size_t* size) {
  HMODULE module = AfxGetResourceHandle();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kPayloadId), kPayloadType);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return false;
  *bytes = LockResource(loaded);
  *size = SizeofResource(module, found);
  return *bytes != nullptr && *size != 0;
}

InstallResult Install(const wchar_t* folder) {
  InstallRequest request = {};
  if (!FindPayload(&request.payload, &request.payloadBytes)) {
    return {InstallStatus::kCantStage, 0};
  }
  // Only a folder with a drive (also behind \\?\) is created; a relative one
  // is taken from where the run started, and the engine is given the full path.
  request.makeMissingFolders = DriveAt(folder) != kNoDrive;
  wchar_t full[kFullFolderChars];
  request.folder = folder;
  if (!IsFullPath(folder)) {
    const DWORD length = GetFullPathNameW(folder, kFullFolderChars, full, nullptr);
    if (length == 0 || length >= kFullFolderChars) return {InstallStatus::kPathTooLong, 0};
    request.folder = full;
  }
  return InstallPayload(request);
}

}  // namespace

int InstallPlugins(const wchar_t* folder, const wchar_t* caption) {
  // The cursor and the box are all the feedback there is: neither can fail usefully.
  if (!g_silent) (void)SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const OutcomeReport& report = ReportFor(Install(folder).status);
  if (!g_silent) (void)SetCursor(LoadCursorW(nullptr, IDC_ARROW));

  wchar_t text[kMessageChars];
  (void)LoadMessage(report.message, text, kMessageChars);  // empty when missing: still reported
  if (!g_silent) {
    (void)MessageBoxW(GetActiveWindow(), text, caption, report.icon);
  } else if (report.logged) {
    WriteInstallLog(text);
  }
  return report.exitCode;
}
