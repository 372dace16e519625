// The installation record (its lines: record_text.h): where a run keeps it,
// whether the run may trust it, and reading and writing it. One record per
// machine, or per user: it names the one Plugins folder it describes.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "fs/folder_rights.h"
#include "fs/target_folder.h"
#include "install/install_observer.h"
#include "install/record_text.h"
#include "install/setup_lock.h"

constexpr wchar_t kRecordFolderName[] = L"Pixelmoor PlugIns";
constexpr wchar_t kRecordFileName[] = L"InstallRecord.txt";
// A longer record is no record of ours: it is refused unread.
constexpr DWORD kMostRecordBytes = 8 << 20;

enum class RecordPlace {
  kMachine,  // Pixelmoor PlugIns in the 32-bit Program Files folder, where only administrators write
  kUser,     // %LOCALAPPDATA%\Programs\Pixelmoor PlugIns, the user's own
};
// By the token alone, never by whether a write happens to fail: an elevated
// or SYSTEM run keeps the machine's record, an unelevated run its own. A
// token that cannot be asked counts as elevated: reading the machine's
// record trusts no user, and only an administrator can write it.
RecordPlace RecordPlaceFor(RunAccount account);

// The record's folder for a run as `account` (a full path, no final
// backslash) into `path` (kFolderPathChars). The machine's 32-bit Program
// Files folder is the system's ProgramFilesDir (x86), or ProgramFilesDir
// where that is missing (32-bit Windows); the user's folder comes from
// LOCALAPPDATA, an unelevated run's own variable. False when it cannot be found.
bool RecordFolderFor(RunAccount account, wchar_t* path);

// True when a run as `account` may trust a record whose folder has the owner
// and DACL `descriptor` (null: unreadable): an unelevated run reads only its
// own, so any; any other run only one that nobody but administrators and
// `runningUser` (may be null), as whom it runs, may change
// (FindOpenToOthers). The folder the setup makes is owned by Administrators
// and grants its user nothing of its own, so that the user's unelevated
// programs cannot change it.
bool RecordFolderTrusted(RunAccount account, PSECURITY_DESCRIPTOR descriptor, PSID runningUser);

enum class RecordFolderOpen {
  kOpened,
  kMissing,  // no such folder (and none was to be made)
  kRefused,  // a link at its name, or others may change it (RecordFolderTrusted)
  kFailed,   // it could not be made, opened or its permissions read (last error)
};
// Holds the record's folder at `path` (a full path) in `*folder`, made first
// when missing and `make` is set (MakeFolderChain: the topmost folder made
// gets the closed DACL). The folder itself must be a plain folder in its
// parent, which is opened as it is, and one the run may trust.
RecordFolderOpen OpenRecordFolder(const wchar_t* path, RunAccount account, bool make, TargetFolder* folder);

enum class RecordRead {
  kRead,
  kMissing,  // no record in the folder
  kRefused,  // damaged: not a plain file of one name, too long, a line refused or given twice
  kOtherFormat,  // a record of another format (a later release's)
  kFailed,   // it could not be opened or read (last error)
};

// What a record says: the package, its Plugins folder and its files.
class InstallRecord {
 public:
  InstallRecord() = default;
  InstallRecord(const InstallRecord&) = delete;
  InstallRecord& operator=(const InstallRecord&) = delete;
  ~InstallRecord();

  // Reads the record in the held record folder `folder`, replacing what this one said.
  RecordRead Read(const TargetFolder& folder);
  // Writes this one as the record in `folder`, replacing the one there only
  // once it is whole on the disk. False when that cannot be done (last error).
  bool Write(const TargetFolder& folder) const;

  // False when out of memory, or `file` is not one a record can name. A file
  // named already is not added again.
  bool AddFile(const RecordedFile& file);
  size_t Count() const { return count_; }
  const RecordedFile& At(size_t i) const { return files_[i]; }
  // The file of that name (SameItemName), or null.
  const RecordedFile* Find(const wchar_t* name) const;

  bool SetPackage(const wchar_t* version);
  // The Plugins folder as the held `plugins` lies, in its drive-letter form.
  bool SetPlugins(const TargetFolder& plugins);
  const wchar_t* Plugins() const { return plugins_; }
  // True when it describes the held folder `plugins`.
  bool Describes(const TargetFolder& plugins) const;

 private:
  RecordRead ReadLines(const TargetFolder& folder);

  RecordedFile* files_ = nullptr;
  size_t count_ = 0, room_ = 0;
  wchar_t package_[kPackageChars] = {};
  wchar_t plugins_[kRecordLineChars] = {};
};

// Deletes the record in the held record folder `folder`; true also when there is none.
bool DeleteRecord(const TargetFolder& folder);

enum class RecordFound {
  kThisFolder,   // a record of the Plugins folder given
  kOtherFolder,  // a record of another one (record->Plugins() says which)
  kNone,         // no record folder, or no record in it
  kDamaged,      // a record this release refuses to read: an installation writes a new one
  kKept,         // one that is left as it is, unread: its folder untrusted or unreadable, or
                 // the record of another format or unreadable
  kTimedOut,     // another setup kept the record's lock for longer than kInstallWaitMilliseconds
};
// Opens the record's folder at `recordFolder` (may be null: the run keeps
// none; made first when `make` is set), holds it in `*folder`, takes its
// `*lock` (setups into different Plugins folders take turns at the one
// record), and reads the record into `*record`, as a run as `account` may.
// Tells `observer` (may be null) of a record or folder that cannot be used;
// a missing one is no problem.
RecordFound ReadRecordOf(const wchar_t* recordFolder, RunAccount account, const TargetFolder& plugins, bool make,
                         TargetFolder* folder, SetupLock* lock, InstallRecord* record, RemovalObserver* observer);
