// The package's entry in Apps & features (its key below the registry's
// Uninstall key, the registry's only write), and the copy of the setup that
// its uninstall commands run. Both go where the run keeps its record
// (RecordPlaceFor): written after the record, removed with it.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "fs/folder_rights.h"
#include "fs/target_folder.h"
#include "res/setup_identity.h"

constexpr wchar_t kEntryKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" SETUP_ENTRY_KEY;

// Where a run's entry lives.
struct EntryPlace {
  HKEY hive;    // HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER: the running user's own (RegOpenCurrentUser)
  REGSAM view;  // KEY_WOW64_32KEY for the machine's, where 64-bit Windows lists 32-bit programs
};
// The machine's 32-bit view for an elevated or SYSTEM run, the user's own
// for an unelevated one, as the record's place is chosen.
EntryPlace EntryPlaceFor(RunAccount account);

// What the entry says besides the setup's names.
struct EntryFacts {
  const wchar_t* package;  // DisplayVersion
  const wchar_t* plugins;  // InstallLocation: the Plugins folder's full path
  uint64_t bytes;          // the installed files' bytes (the copy's are added)
};

// After the record in the held `recordFolder` is written: for a run that
// keeps the user's own record from an administrator's filtered token
// (IsFilteredAdministrator), nothing, with Windows error 740 (elevation required: the copy
// would be started elevated from a folder that user's programs may change).
// Otherwise puts a new copy of
// the file the running `setup` module was loaded from there (checked to be
// that file, whatever lies at its name now), byte for byte so that it keeps
// its signature, under a name of its own (UninstallerLeaf); writes the entry
// that runs it; then deletes the copies earlier installations left there
// (the running one, when it is one of them, at the next restart). False,
// with the last error, when the copy or the entry could not be made: the
// new copy is deleted then, and so is an earlier entry, which no longer
// says what is installed.
bool KeepEntry(const TargetFolder& recordFolder, RunAccount account, HMODULE setup, const EntryFacts& facts);

// After the record in `recordFolder` is deleted: deletes the entry and, when
// the folder is held (trusted, its lock taken), every copy there; the running `setup` (may
// be null), when it is one, cannot delete itself and is marked to be deleted
// at the next restart (MoveFileExW, MOVEFILE_DELAY_UNTIL_REBOOT: the only
// thing the setup ever schedules, which needs no restart). False, with the
// last error, when the entry could not be deleted: the copies then stay with
// it. A copy that stays otherwise is deleted by the next installation.
bool RemoveEntry(const TargetFolder& recordFolder, RunAccount account, HMODULE setup);

// The same, where no record describes the Plugins folder `plugins` (its
// full path as programs name it): only an entry whose InstallLocation is
// that folder goes. True also when there is no such entry.
bool RemoveEntryOf(const wchar_t* plugins, const TargetFolder& recordFolder, RunAccount account, HMODULE setup);
