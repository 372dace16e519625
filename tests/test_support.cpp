#include "test_support.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <stdio.h>

#include <vector>

#include "base/scoped.h"
#include "install/engine.h"
#include "install/setup_lock.h"
#include "res/setup_identity.h"
#include "unzip.h"
// iowin32.h needs unzip.h (ioapi.h) ahead of it.
#include "iowin32.h"

namespace {

std::wstring ScratchRoot() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"PIXELMOOR_SCRATCH", buffer, MAX_PATH);
  std::wstring root;
  if (n > 0 && n < MAX_PATH) {
    root = buffer;
  } else {
    GetTempPathW(MAX_PATH, buffer);
    root = std::wstring(buffer) + L"pixelmoor-tests";
  }
  CreateDirectoryW(root.c_str(), nullptr);
  return root;
}

void ListInto(const std::wstring& root, const std::wstring& rel,
              std::map<std::wstring, bool>* out, bool deep = true) {
  WIN32_FIND_DATAW found;
  ScopedFindHandle find(FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &found));
  if (!find) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    (*out)[rel + name + (folder ? L"\\" : L"")] = folder;
    if (folder && deep) ListInto(root, rel + name + L"\\", out);
  } while (FindNextFileW(find.Get(), &found));
}

}  // namespace

std::wstring MakeScratchFolder(const std::wstring& name) {
  const std::wstring path = ScratchRoot() + L"\\" + name;
  RemoveTree(path);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  ScopedFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find.Get(), &found));
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  ScopedFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return ok && written == bytes.size() && file.Close();
}

HANDLE OpenToRead(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::optional<std::string> ReadBytes(const std::wstring& path) {
  ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
  if (!file) return std::nullopt;
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    out.append(buffer, got);
  }
  return out;
}

bool ReadFileTimes(const std::wstring& path, FILETIME* created, FILETIME* written) {
  ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  FILETIME accessed;
  return file && GetFileTime(file.Get(), created, &accessed, written);
}

std::string Brief(const std::wstring& path) {
  const auto bytes = ReadBytes(path);
  if (!bytes) return "(no file)";
  return bytes->size() <= 64 ? *bytes : "(" + std::to_string(bytes->size()) + " bytes)";
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::map<std::wstring, bool> ListTree(const std::wstring& root) {
  std::map<std::wstring, bool> out;
  ListInto(root, L"", &out);
  return out;
}

std::map<std::wstring, bool> ListTreeShallow(const std::wstring& dir) {
  std::map<std::wstring, bool> out;
  ListInto(dir, L"", &out, false);
  return out;
}

std::wstring CurrentDirectory() {
  wchar_t buffer[1024];
  const DWORD n = GetCurrentDirectoryW(1024, buffer);
  return n > 0 && n < 1024 ? std::wstring(buffer) : std::wstring();
}

std::wstring Widen(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

bool SetMachineBytes(const std::wstring& key, const wchar_t* value, const void* data,
                     DWORD bytes, DWORD type) {
  ScopedRegKey h;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      h.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(h.Get(), value, 0, type, static_cast<const BYTE*>(data), bytes) ==
         ERROR_SUCCESS;
}

bool SetMachineString(const std::wstring& key, const wchar_t* value, const std::wstring& data,
                      DWORD type) {
  return SetMachineBytes(key, value, data.c_str(),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)), type);
}

std::optional<std::wstring> GetMachineString(const std::wstring& key, const wchar_t* value) {
  ScopedRegKey h;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, h.Receive()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<wchar_t> buffer(4096, 0);
  DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(h.Get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                       &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(buffer.data());
}

void DeleteMachineKey(const std::wstring& key) {
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

void DeleteMachineValue(const std::wstring& key, const wchar_t* value) {
  ScopedRegKey h;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, h.Receive()) ==
      ERROR_SUCCESS) {
    RegDeleteValueW(h.Get(), value);
  }
}

SYSTEMTIME DecodeDosDateTime(uint32_t dos) {
  SYSTEMTIME t = {};
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  t.wYear = static_cast<WORD>(1980 + (date >> 9));
  t.wMonth = static_cast<WORD>((date >> 5) & 0xF);
  t.wDay = static_cast<WORD>(date & 0x1F);
  t.wHour = static_cast<WORD>(time >> 11);
  t.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
  t.wSecond = static_cast<WORD>((time & 0x1F) * 2);
  return t;
}

SYSTEMTIME AsLocalTime(const FILETIME& utc) {
  FILETIME local;
  FileTimeToLocalFileTime(&utc, &local);
  SYSTEMTIME t = {};
  FileTimeToSystemTime(&local, &t);
  t.wDayOfWeek = 0;
  t.wMilliseconds = 0;
  return t;
}

std::string Describe(const SYSTEMTIME& t) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
           t.wHour, t.wMinute, t.wSecond);
  return buffer;
}

std::map<std::string, ArchivedFile> ReadArchive(const std::wstring& path) {
  std::map<std::string, ArchivedFile> out;
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  unzFile zip = unzOpen2_64(path.c_str(), &functions);
  if (zip == nullptr) return out;
  for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    unz_file_info64 info;
    char name[1024];
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
      break;
    }
    ArchivedFile& file = out[name];
    file.dos_date_time = static_cast<uint32_t>(info.dosDate);
    file.folder = name[0] != 0 && name[strlen(name) - 1] == '/';
    if (file.folder || unzOpenCurrentFile(zip) != UNZ_OK) continue;
    char buffer[65536];
    int got;
    while ((got = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) file.data.append(buffer, got);
    unzCloseCurrentFile(zip);
  }
  unzClose(zip);
  return out;
}

std::wstring TodayShortDate() {
  wchar_t date[256];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 256) == 0) {
    return L"";
  }
  return date;
}

std::wstring WindowsPath(const char* unix_path) {
  std::wstring path = L"Z:" + Widen(unix_path);
  for (auto& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

namespace {

// Wine's own export that names the Unix file behind a Windows path.
std::string UnixPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto to_unix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) return "";
  char* name = to_unix(path.c_str());
  if (name == nullptr) return "";
  std::string unix_path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return unix_path;
}

// The system's name for what `path` leads to; empty when it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
  ScopedFileHandle item(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  wchar_t name[1024];
  if (!item || GetFinalPathNameByHandleW(item.Get(), name, 1024, 0) - 1 >= 1023) return L"";
  return name;
}

// Wine starts a Unix program that a Windows process names by its Unix path,
// but does not tell reliably that it did, nor when it ends.
void RunUnixProgram(const std::wstring& program, const std::wstring& args) {
  HANDLE process = StartProcess(program, args, L"C:\\");
  if (process != nullptr) CloseHandle(process);
}

}  // namespace

bool PlantUnixLink(const std::wstring& link, const std::wstring& target) {
  const std::string from = UnixPath(target), at = UnixPath(link);
  if (from.empty() || at.empty()) return false;
  RunUnixProgram(L"/bin/ln", L"-sfn \"" + Widen(from) + L"\" \"" + Widen(at) + L"\"");
  const std::wstring leads_to = FinalPath(target);
  for (int i = 0; i < 500; ++i) {
    if (!leads_to.empty() && FinalPath(link) == leads_to) return true;
    Sleep(10);
  }
  return false;
}

bool RemoveUnixLink(const std::wstring& link) {
  const std::string at = UnixPath(link);
  if (at.empty()) return false;
  RunUnixProgram(L"/bin/rm", L"-f \"" + Widen(at) + L"\"");
  for (int i = 0; i < 500; ++i) {
    WIN32_FIND_DATAW found;
    ScopedFindHandle find(FindFirstFileW(link.c_str(), &found));
    if (!find) return true;
    Sleep(10);
  }
  return false;
}

bool SwapForUnixLink(const std::wstring& folder, const std::wstring& movedTo,
                     const std::wstring& target) {
  const std::string from = UnixPath(folder), to = UnixPath(movedTo);
  if (from.empty() || to.empty()) return false;
  RunUnixProgram(L"/bin/mv", L"\"" + Widen(from) + L"\" \"" + Widen(to) + L"\"");
  for (int i = 0; i < 500 && !IsFolder(movedTo); ++i) Sleep(10);
  return IsFolder(movedTo) && PlantUnixLink(folder, target);
}

std::wstring FixedStagedArchivePath() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"PX32_plugins.zip";
}

std::vector<std::wstring> StagedArchives() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::vector<std::wstring> found;
  for (const auto& [name, folder] : ListTreeShallow(temp)) {
    if (!folder && name.rfind(L"PX32_plugins-", 0) == 0) found.push_back(std::wstring(temp) + name);
  }
  return found;
}

HANDLE StartProcess(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
                    const wchar_t* environment, const wchar_t* desktop) {
  std::wstring line = exe.empty() ? args : L"\"" + exe + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.lpDesktop = const_cast<wchar_t*>(desktop);
  PROCESS_INFORMATION pi;
  const DWORD flags = environment != nullptr ? CREATE_UNICODE_ENVIRONMENT : 0;
  if (!CreateProcessW(exe.empty() ? nullptr : exe.c_str(), &line[0], nullptr, nullptr, FALSE, flags,
                      const_cast<wchar_t*>(environment), cwd.c_str(), &si, &pi)) {
    // Told here, so that a run that never started is not mistaken for an outcome.
    fprintf(stderr, "could not start %ls %ls: Windows error %lu\n", exe.c_str(), args.c_str(), GetLastError());
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

long RunToEnd(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
              const wchar_t* environment, DWORD patience, const wchar_t* desktop) {
  ScopedKernelHandle process(StartProcess(exe, args, cwd, environment, desktop));
  if (!process) return -2;
  if (WaitForSingleObject(process.Get(), patience) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 99);
    return -1;
  }
  DWORD code = 0;
  return GetExitCodeProcess(process.Get(), &code) ? static_cast<long>(code) : -2;
}

// The lock file in the folder's Plugins folder, made as a setup makes it if missing.
InstallLockHold::InstallLockHold(const std::wstring& viewerFolder, const wchar_t* below) {
  const std::wstring plugins = viewerFolder + below;
  for (size_t at = plugins.find(L'\\', 3); at != std::wstring::npos; at = plugins.find(L'\\', at + 1)) {
    CreateDirectoryW(plugins.substr(0, at).c_str(), nullptr);  // what is there already stays
  }
  CreateDirectoryW(plugins.c_str(), nullptr);
  const HANDLE lock = CreateFileW((plugins + L"\\" + kLockFileName).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  0, nullptr, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (lock != INVALID_HANDLE_VALUE) lock_ = lock;
}

bool InstallLockHold::Release() {
  if (lock_ == nullptr) return false;
  const bool released = CloseHandle(lock_) != FALSE;
  lock_ = nullptr;
  return released;
}

void ExpectPayloadInstalled(const std::wstring& plugins, const std::wstring& payload_path) {
  const auto payload = ReadArchive(payload_path);
  ASSERT_FALSE(payload.empty());
  auto tree = ListTree(plugins);
  ASSERT_FALSE(tree.empty()) << "nothing installed in " << Narrow(plugins);
  size_t files = 0;
  for (const auto& [name, entry] : payload) {
    std::wstring path = Widen(name);
    for (auto& c : path) c = c == L'/' ? L'\\' : c;
    ASSERT_TRUE(tree.count(path)) << name << " is missing";
    tree.erase(path);
    if (entry.folder) continue;
    ++files;
    const auto bytes = ReadBytes(plugins + L"\\" + path);
    ASSERT_TRUE(bytes && *bytes == entry.data) << name << " differs from the payload";
    FILETIME created, written;
    ASSERT_TRUE(ReadFileTimes(plugins + L"\\" + path, &created, &written)) << name;
    const std::string expected = Describe(DecodeDosDateTime(entry.dos_date_time));
    EXPECT_EQ(Describe(AsLocalTime(created)), expected) << name << " creation time";
    EXPECT_EQ(Describe(AsLocalTime(written)), expected) << name << " last-write time";
  }
  EXPECT_GT(files, 0u);
  for (const auto& [extra, folder] : tree) ADD_FAILURE() << "not from the payload: " << Narrow(extra);
}

bool ViewerStandIn::Start(const std::wstring& exe, const std::wstring& cwd, bool window) {
  Stop();
  process_ = StartProcess(exe, window ? L"120" : L"hidden 120", cwd);
  if (process_ == nullptr) return false;
  if (!window) {
    // Running once the system can tell what it runs.
    wchar_t image[MAX_PATH];
    DWORD length = MAX_PATH;
    for (int i = 0; i < 300 && !QueryFullProcessImageNameW(process_, 0, image, &length); ++i) {
      length = MAX_PATH;
      Sleep(100);
    }
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
  }
  for (int i = 0; i < 300 && FindWindowW(L"Pixelmoor", nullptr) == nullptr; ++i) Sleep(100);
  return FindWindowW(L"Pixelmoor", nullptr) != nullptr;
}

void ViewerStandIn::Stop() {
  if (process_ == nullptr) return;
  HWND w = FindWindowW(L"Pixelmoor", nullptr);
  if (w != nullptr) PostMessageW(w, WM_CLOSE, 0, 0);
  // One without a window is ended at once.
  if (WaitForSingleObject(process_, w != nullptr ? 10000 : 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
  process_ = nullptr;
}

bool MakeSetupCarrying(const std::wstring& setup, const std::string& payload, const std::wstring& exe) {
  if (!CopyFileW(setup.c_str(), exe.c_str(), FALSE)) return false;
  HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
  if (update == nullptr) return false;
  const BOOL put = UpdateResourceW(update, L"ZIP", MAKEINTRESOURCEW(IDR_PAYLOAD),
                                   MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   const_cast<char*>(payload.data()), static_cast<DWORD>(payload.size()));
  return EndUpdateResourceW(update, !put) && put;
}
