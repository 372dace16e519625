// Helpers shared by the Windows test programs.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/scoped.h"

// The handles only the tests hold, wrapped as the program's are (base/scoped.h).
// FindFirstFileW's search handles.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static BOOL Close(Handle h) { return FindClose(h); }
};
using ScopedFindHandle = Scoped<FindHandleTraits>;

// GDI objects: fonts, bitmaps, brushes.
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return DeleteObject(h); }
};
using ScopedGdiObject = Scoped<GdiObjectTraits>;

// Device contexts from CreateCompatibleDC.
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return DeleteDC(h); }
};
using ScopedMemoryDc = Scoped<MemoryDcTraits>;

// Modules from LoadLibraryExW.
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return FreeLibrary(h); }
};
using ScopedModule = Scoped<ModuleTraits>;

// A fresh, empty folder below the suite's scratch folder, named after the test.
std::wstring MakeScratchFolder(const std::wstring& name);
void RemoveTree(const std::wstring& path);

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The file opened for reading only, as the setup holds its staged archive;
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenToRead(const std::wstring& path);
std::optional<std::string> ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// What a small file holds, to compare and print; a large one by its size only.
std::string Brief(const std::wstring& path);
// The file's creation and last-write times; false when it cannot be read.
bool ReadFileTimes(const std::wstring& path, FILETIME* created, FILETIME* written);
bool IsFolder(const std::wstring& path);
// Every file and folder below `root`, as relative paths ("a\\b"), folders with a trailing "\\".
std::map<std::wstring, bool> ListTree(const std::wstring& root);
// The files and folders directly in `dir`, named as ListTree does.
std::map<std::wstring, bool> ListTreeShallow(const std::wstring& dir);

std::wstring CurrentDirectory();
std::wstring Widen(const std::string& text);  // ANSI code page
std::string Narrow(const std::wstring& text);

// HKEY_LOCAL_MACHINE values, for the folder discovery; a missing value is nullopt.
bool SetMachineString(const std::wstring& key, const wchar_t* value, const std::wstring& data,
                      DWORD type = REG_SZ);
bool SetMachineBytes(const std::wstring& key, const wchar_t* value, const void* data,
                     DWORD bytes, DWORD type);
std::optional<std::wstring> GetMachineString(const std::wstring& key, const wchar_t* value);
void DeleteMachineKey(const std::wstring& key);
void DeleteMachineValue(const std::wstring& key, const wchar_t* value);

constexpr wchar_t kViewerClassKey[] = L"SOFTWARE\\Classes\\Pixelmoor";

// The DOS date-time's fields, decoded here independently of the program.
SYSTEMTIME DecodeDosDateTime(uint32_t dos);
// A file time shown as local time, as the file's owner would read it.
SYSTEMTIME AsLocalTime(const FILETIME& utc);
std::string Describe(const SYSTEMTIME& t);

struct ArchivedFile {
  std::string data;
  uint32_t dos_date_time = 0;
  bool folder = false;
};
// Every entry of a ZIP archive on disk, read with minizip, keyed by name.
std::map<std::string, ArchivedFile> ReadArchive(const std::wstring& path);

// The current user's short date for today, as the install log writes it.
std::wstring TodayShortDate();

// A Windows path for a path of the Linux side (the Z: drive).
std::wstring WindowsPath(const char* unix_path);

// Plants a Unix symbolic link at `link` that leads to `target` (Windows paths),
// as another process of the user could: Wine shows it as a plain file or
// folder that only its final path tells apart. False when it is not there after.
bool PlantUnixLink(const std::wstring& link, const std::wstring& target);
// Removes such a link itself (Windows' delete would remove what it leads to).
bool RemoveUnixLink(const std::wstring& link);
// Moves the folder `folder` to `movedTo` and plants a link to `target` at its
// name, from the Unix side, where no sharing mode binds: a process of the
// user swapping a folder the setup holds. False when the link is not there after.
bool SwapForUnixLink(const std::wstring& folder, const std::wstring& movedTo,
                     const std::wstring& target);

// The temp folder's fixed name that setups once staged their archive at.
std::wstring FixedStagedArchivePath();
// The staged archives (PX32_plugins-*.zip) in the temp folder the tests share with the setups.
std::vector<std::wstring> StagedArchives();


// A copy of the setup at `setup` as `exe`, carrying `payload` in place of its own.
bool MakeSetupCarrying(const std::wstring& setup, const std::string& payload, const std::wstring& exe);

// Starts `exe` with `args` in `cwd`; returns its process handle, or null.
// An empty `exe` runs `args` as the whole command line, as Windows runs a
// registered command (the program is the line's first, quoted, part).
// `environment` is a Unicode environment block, or null for this process's
// own; `desktop` ("station\\desktop") the one it runs on, or null for this one's.
HANDLE StartProcess(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
                    const wchar_t* environment = nullptr, const wchar_t* desktop = nullptr);

// Starts `exe` as StartProcess does and waits for its end, `patience`
// milliseconds at most. Returns its exit code; -1 when it had to be ended (it
// hung), -2 when it did not start.
long RunToEnd(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
              const wchar_t* environment = nullptr, DWORD patience = 120000,
              const wchar_t* desktop = nullptr);

// The lock that lets one setup install into a viewer folder at a time, held
// as a setup installing into `viewerFolder` holds it, until Release or the
// end of the object. Every test that plays the other setup takes it here, so
// that how the lock is made is written down once.
class InstallLockHold {
 public:
  // `below` names the folder the lock lies in below `viewerFolder`.
  explicit InstallLockHold(const std::wstring& viewerFolder, const wchar_t* below = L"\\Plugins");
  ~InstallLockHold() { Release(); }
  InstallLockHold(const InstallLockHold&) = delete;
  InstallLockHold& operator=(const InstallLockHold&) = delete;
  bool Held() const { return lock_ != nullptr; }
  // Lets a waiting setup go on; true when the lock was held and is now free.
  bool Release();

 private:
  HANDLE lock_ = nullptr;
};
inline InstallLockHold HoldInstallLock(const std::wstring& viewerFolder) {
  return InstallLockHold(viewerFolder);
}

// The Plugins folder holds exactly the archive's entries: every file's bytes, and
// its creation and last-write times read as local time equal the entry's date-time.
void ExpectPayloadInstalled(const std::wstring& plugins, const std::wstring& payload);

constexpr wchar_t kViewerCommandKey[] = L"SOFTWARE\\Classes\\Pixelmoor\\shell\\open\\command";

// The stand-in for the running viewer: a window of the viewer's class, in a
// process of its own, until Stop (or the destructor) closes it.
class ViewerStandIn {
 public:
  ViewerStandIn() = default;
  ~ViewerStandIn() { Stop(); }
  ViewerStandIn(const ViewerStandIn&) = delete;
  ViewerStandIn& operator=(const ViewerStandIn&) = delete;
  // Starts `exe` (the stand-in program) and waits for its window; false if it
  // did not show. Without `window`, it runs with none, until stopped.
  bool Start(const std::wstring& exe, const std::wstring& cwd, bool window = true);
  void Stop();

 private:
  HANDLE process_ = nullptr;
};
