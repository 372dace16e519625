// Unpacking a ZIP archive into a folder, entry by entry, with minizip.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "archive/archive_rules.h"
#include "fs/call_watch.h"
#include "fs/target_folder.h"
#include "install/install_observer.h"
#include "install/install_record.h"
#include "unzip.h"

// Reads the archive through `archiveFile` (an open handle with read access,
// never opened again by its name) and writes every entry below the held
// folder `target`. Returns kUnpackNotAnArchive or kUnpackReadFailed when the
// archive cannot be opened, otherwise the result of UnpackEntries. `observer`
// (may be null) hears of the progress; `watch` (may be null) bounds the calls
// that may wait for another program; `installed` (may be null) gets each file
// that took its name, with its digest (FinishingFiles).
int UnpackArchive(HANDLE archiveFile, const TargetFolder& target, InstallObserver* observer = nullptr,
                  CallWatch* watch = nullptr, InstallRecord* installed = nullptr);
// The same below the folder at `target`, a full path, held first as it is;
// kUnpackTargetUnusable when it cannot be.
int UnpackArchive(HANDLE archiveFile, const wchar_t* target, InstallObserver* observer = nullptr);

// Writes the entries of an open archive of `archiveBytes`, positioned on its
// first entry, below the held folder `target`. The current directory is never
// used. An archive whose file entries share bytes, or whose data would run
// past its end, is refused before anything is written. Each file is written to a new file beside its
// destination and replaces the old one only once it has come out whole, so a
// failed entry leaves the old file as it was. Returns 0 when every entry was
// installed; otherwise the first error, which stops the loop (files installed
// before it stay), or kUnpackFilesSkipped after a complete loop in which a file
// could not be created or put in place, or a folder entry's folder is not there.
// Nothing is written through a link, junction or mount point below the
// target: an entry whose file or folders would be reached through one, or
// whose file is one, is skipped the same way. Every name is looked up in the
// held folder it lies in, and each file's data is on the disk before the
// file takes its name, in the order of the target's volume (ReplaceOrderOn).
int UnpackEntries(unzFile archive, uint64_t archiveBytes, const TargetFolder& target,
                  InstallObserver* observer, CallWatch* watch, InstallRecord* installed = nullptr);

// Sets the open file's creation and last-write times to the MS-DOS date-time
// (date in the high 16 bits), read as local time. Failures are ignored.
void SetEntryFileTime(HANDLE file, uint32_t dosDateTime);
