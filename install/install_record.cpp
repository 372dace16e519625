#include "install/install_record.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "base/path_split.h"
#include "base/scoped.h"
#include "base/text.h"
#include "fs/pending_file.h"
#include "fs/relative_file.h"
#include "install/removal.h"

namespace {

constexpr wchar_t kByteOrderMark = 0xFEFF;

// A REG_SZ value of HKLM's CurrentVersion key that is a full path.
bool ReadProgramFiles(const wchar_t* value, wchar_t* path) {
  DWORD bytes = kFolderPathChars * sizeof(wchar_t);
  // A REG_SZ alone, which comes back terminated; never expanded, since an
  // elevated run's variables may be its unelevated user's.
  return RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", value,
                      RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, path, &bytes) == ERROR_SUCCESS &&
         IsFullPath(path);
}

// Appends one line and its line break to the text being written.
class RecordText {
 public:
  ~RecordText() { free(text_); }
  bool AddLine(const wchar_t* line) {
    const size_t length = wcslen(line);
    if (length + 3 > room_ - used_) {
      const size_t room = (room_ + length + 3) * 2;
      void* grown = realloc(text_, room * sizeof(wchar_t));
      if (grown == nullptr) return false;
      text_ = static_cast<wchar_t*>(grown);
      room_ = room;
    }
    wmemcpy(text_ + used_, line, length);
    used_ += length;
    text_[used_++] = L'\r';
    text_[used_++] = L'\n';
    return true;
  }
  const wchar_t* Text() const { return text_; }
  size_t Bytes() const { return used_ * sizeof(wchar_t); }

 private:
  wchar_t* text_ = nullptr;
  size_t used_ = 0, room_ = 0;
};

}  // namespace

RecordPlace RecordPlaceFor(RunAccount account) {
  return account == RunAccount::kNotElevated ? RecordPlace::kUser : RecordPlace::kMachine;
}

bool RecordFolderFor(RunAccount account, wchar_t* path) {
  path[0] = 0;
  if (RecordPlaceFor(account) == RecordPlace::kMachine) {
    if (!ReadProgramFiles(L"ProgramFilesDir (x86)", path) && !ReadProgramFiles(L"ProgramFilesDir", path)) {
      return false;
    }
  } else {
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", path, kFolderPathChars);
    if (length == 0 || length >= kFolderPathChars || !IsFullPath(path) ||
        !AppendBackslashIfMissing(path, kFolderPathChars) || !AppendText(path, kFolderPathChars, L"Programs")) {
      path[0] = 0;
      return false;
    }
  }
  return AppendBackslashIfMissing(path, kFolderPathChars) && AppendText(path, kFolderPathChars, kRecordFolderName);
}

bool RecordFolderTrusted(RunAccount account, PSECURITY_DESCRIPTOR descriptor, PSID runningUser) {
  if (RecordPlaceFor(account) == RecordPlace::kUser) return true;
  OpenTo open;
  return descriptor != nullptr && !FindOpenToOthers(descriptor, runningUser, &open);
}

RecordFolderOpen OpenRecordFolder(const wchar_t* path, RunAccount account, bool make, TargetFolder* folder) {
  wchar_t parent[kFolderPathChars];
  if (!IsFullPath(path) || !CopyText(parent, kFolderPathChars, path)) {
    SetLastError(ERROR_BAD_PATHNAME);
    return RecordFolderOpen::kFailed;
  }
  if (make) {
    wchar_t chain[kFolderPathChars];
    // Whether it is there is what opening it finds out.
    if (CopyText(chain, kFolderPathChars, path)) (void)MakeFolderChain(chain, kFolderPathChars);
  }
  size_t length = wcslen(parent);
  while (length > 0 && parent[length - 1] == L'\\') parent[--length] = 0;
  wchar_t* leaf = wcsrchr(parent, L'\\');
  if (leaf == nullptr || leaf[1] == 0) {
    SetLastError(ERROR_BAD_PATHNAME);
    return RecordFolderOpen::kFailed;
  }
  *leaf++ = 0;
  // "C:" alone would be the drive's current directory.
  if (parent[0] != 0 && parent[wcslen(parent) - 1] == L':') (void)AppendText(parent, kFolderPathChars, L"\\");
  TargetFolder above;
  bool missing = false;
  if (!above.Open(parent)) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RecordFolderOpen::kMissing
                                                                          : RecordFolderOpen::kFailed;
  }
  if (!folder->OpenIn(above, leaf, false, &missing)) {
    if (missing) return RecordFolderOpen::kMissing;
    return GetLastError() == kErrorThroughLink ? RecordFolderOpen::kRefused : RecordFolderOpen::kFailed;
  }
  ScopedLocalMemory descriptor;
  if (RecordPlaceFor(account) == RecordPlace::kMachine && !ReadHeldSecurity(folder->Get(), &descriptor)) {
    return RecordFolderOpen::kFailed;
  }
  TokenUserRecord user;
  return RecordFolderTrusted(account, descriptor.Get(), ProcessUser(&user)) ? RecordFolderOpen::kOpened
                                                                            : RecordFolderOpen::kRefused;
}

InstallRecord::~InstallRecord() { free(files_); }

bool InstallRecord::AddFile(const RecordedFile& file) {
  wchar_t line[kRecordLineChars];
  if (!FileLine(file, line)) return false;  // what could not be written back is not taken
  if (Find(file.name) != nullptr) return true;
  if (count_ == room_) {
    const size_t room = room_ == 0 ? 32 : room_ * 2;
    void* grown = realloc(files_, room * sizeof *files_);
    if (grown == nullptr) return false;
    files_ = static_cast<RecordedFile*>(grown);
    room_ = room;
  }
  files_[count_] = file;
  for (wchar_t* c = files_[count_].name; *c != 0; ++c) {
    if (*c == L'\\') *c = L'/';
  }
  ++count_;
  return true;
}

const RecordedFile* InstallRecord::Find(const wchar_t* name) const {
  for (size_t i = 0; i < count_; ++i) {
    if (SameItemName(files_[i].name, name)) return &files_[i];
  }
  return nullptr;
}

bool InstallRecord::SetPackage(const wchar_t* version) {
  wchar_t line[kRecordLineChars];
  return PackageLine(version, line) && CopyText(package_, kPackageChars, version);
}

bool InstallRecord::SetPlugins(const TargetFolder& plugins) {
  wchar_t line[kRecordLineChars];
  return PlainPathForm(plugins.Path(), plugins_, kRecordLineChars) && PluginsLine(plugins_, line);
}

bool InstallRecord::Describes(const TargetFolder& plugins) const {
  wchar_t plain[kRecordLineChars];
  return plugins_[0] != 0 && PlainPathForm(plugins.Path(), plain, kRecordLineChars) &&
         CompareStringOrdinal(plain, -1, plugins_, -1, TRUE) == CSTR_EQUAL;
}

RecordRead InstallRecord::Read(const TargetFolder& folder) {
  const RecordRead read = ReadLines(folder);
  if (read != RecordRead::kRead) {
    const DWORD error = GetLastError();  // what the caller tells
    count_ = 0;
    package_[0] = plugins_[0] = 0;
    SetLastError(error);
  }
  return read;
}

RecordRead InstallRecord::ReadLines(const TargetFolder& folder) {
  count_ = 0;
  package_[0] = plugins_[0] = 0;
  constexpr RelativeOpen kRead = {FILE_GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                                  FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, 0, nullptr};
  ScopedFileHandle file;
  switch (OpenInFolder(folder.Get(), kRecordFileName, wcslen(kRecordFileName), kRead, &file)) {
    case OpenOutcome::kOpened: break;
    case OpenOutcome::kMissing: return RecordRead::kMissing;
    case OpenOutcome::kOtherKind: return RecordRead::kRefused;
    default: return RecordRead::kFailed;
  }
  ItemFacts facts;
  if (!folder.Holds(file.Get(), kRecordFileName, wcslen(kRecordFileName), &facts) || facts.links != 1 ||
      facts.size > kMostRecordBytes || facts.size % sizeof(wchar_t) != 0) {
    return RecordRead::kRefused;
  }
  const DWORD bytes = static_cast<DWORD>(facts.size);
  ScopedMalloc buffer(malloc(bytes + sizeof(wchar_t)));
  DWORD got = 0;
  if (!buffer || !ReadFile(file.Get(), buffer.Get(), bytes, &got, nullptr)) return RecordRead::kFailed;
  if (got != bytes) return RecordRead::kRefused;  // it changed since its size was read
  const wchar_t* text = static_cast<const wchar_t*>(buffer.Get());
  const wchar_t* end = text + got / sizeof(wchar_t);
  if (text == end || *text++ != kByteOrderMark) return RecordRead::kRefused;
  bool first = true;
  while (text < end) {
    const wchar_t* stop = text;
    while (stop < end && *stop != L'\n') ++stop;
    size_t length = static_cast<size_t>(stop - text);
    if (length > 0 && text[length - 1] == L'\r') --length;
    if (length >= kRecordLineChars) return RecordRead::kRefused;
    if (first) {
      const size_t stem = wcslen(kRecordFormatStem);
      if (length <= stem || wmemcmp(text, kRecordFormatStem, stem) != 0) return RecordRead::kRefused;
      if (length != wcslen(kRecordFirstLine) || wmemcmp(text, kRecordFirstLine, length) != 0) {
        return RecordRead::kOtherFormat;
      }
      first = false;
    } else {
      wchar_t value[kRecordLineChars];
      RecordedFile named;
      switch (ReadRecordLine(text, length, value, &named)) {
        // A line given twice could say two things: which is meant cannot be known.
        case RecordLine::kPackage:
          if (package_[0] != 0 || !CopyText(package_, kPackageChars, value)) return RecordRead::kRefused;
          break;
        case RecordLine::kPlugins:
          if (plugins_[0] != 0 || !CopyText(plugins_, kRecordLineChars, value)) return RecordRead::kRefused;
          break;
        case RecordLine::kFile:
          if (Find(named.name) != nullptr) return RecordRead::kRefused;
          if (!AddFile(named)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return RecordRead::kFailed;
          }
          break;
        case RecordLine::kOther: break;
        case RecordLine::kBad: return RecordRead::kRefused;
      }
    }
    text = stop + 1;
  }
  return first || package_[0] == 0 || plugins_[0] == 0 ? RecordRead::kRefused : RecordRead::kRead;
}

bool InstallRecord::Write(const TargetFolder& folder) const {
  RecordText text;
  wchar_t line[kRecordLineChars] = {kByteOrderMark, 0};
  bool made = AppendText(line, kRecordLineChars, kRecordFirstLine) && text.AddLine(line) &&
              PackageLine(package_, line) && text.AddLine(line) && PluginsLine(plugins_, line) && text.AddLine(line);
  for (size_t i = 0; made && i < count_; ++i) made = FileLine(files_[i], line) && text.AddLine(line);
  if (!made) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  if (text.Bytes() > kMostRecordBytes) {  // the next run would refuse it unread
    SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  // A killed run's pending copy, or an old record it had moved aside.
  SweepLeftovers(folder, folder.Get(), L"");
  PendingFile pending;
  uint32_t serial = 0;
  DWORD put = 0;
  const DWORD bytes = static_cast<DWORD>(text.Bytes());
  if (!pending.Create(folder.Get(), kRecordFileName, GENERIC_WRITE, &serial) ||
      !WriteFile(pending.Get(), text.Text(), bytes, &put, nullptr)) {
    return false;
  }
  if (put != bytes) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return pending.Flush() && pending.PutInPlace(kRecordFileName, ReplaceOrderOn(folder.Get()));
}

bool DeleteRecord(const TargetFolder& folder) {
  constexpr RelativeOpen kDelete = {DELETE, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE, 0, nullptr};
  ScopedFileHandle file;
  ItemFacts facts;
  switch (OpenInFolder(folder.Get(), kRecordFileName, wcslen(kRecordFileName), kDelete, &file)) {
    case OpenOutcome::kOpened: break;
    case OpenOutcome::kMissing: return true;
    default: return false;
  }
  return folder.Holds(file.Get(), kRecordFileName, wcslen(kRecordFileName), &facts) &&
         MarkForDeletion(file.Get(), true);
}

RecordFound ReadRecordOf(const wchar_t* recordFolder, RunAccount account, const TargetFolder& plugins, bool make,
                         TargetFolder* folder, SetupLock* lock, InstallRecord* record, RemovalObserver* observer) {
  if (recordFolder == nullptr) return RecordFound::kNone;
  auto tell = [&](RecordProblem problem) {
    const DWORD error = GetLastError();
    if (observer != nullptr) observer->OnRecordProblem(recordFolder, problem, error);
  };
  switch (OpenRecordFolder(recordFolder, account, make, folder)) {
    case RecordFolderOpen::kOpened: break;
    case RecordFolderOpen::kMissing: return RecordFound::kNone;
    case RecordFolderOpen::kRefused: tell(RecordProblem::kUntrusted); return RecordFound::kKept;
    case RecordFolderOpen::kFailed: tell(RecordProblem::kUnreadable); return RecordFound::kKept;
  }
  switch (lock->Take(*folder, nullptr)) {
    case LockOutcome::kTaken: break;
    case LockOutcome::kTimedOut: return RecordFound::kTimedOut;
    case LockOutcome::kUnavailable: tell(RecordProblem::kUnreadable); return RecordFound::kKept;
  }
  switch (record->Read(*folder)) {
    case RecordRead::kRead: return record->Describes(plugins) ? RecordFound::kThisFolder : RecordFound::kOtherFolder;
    case RecordRead::kMissing: return RecordFound::kNone;
    case RecordRead::kRefused: tell(RecordProblem::kDamaged); return RecordFound::kDamaged;
    case RecordRead::kOtherFormat: tell(RecordProblem::kDamaged); return RecordFound::kKept;
    case RecordRead::kFailed: tell(RecordProblem::kUnreadable); return RecordFound::kKept;
  }
  return RecordFound::kKept;
}
