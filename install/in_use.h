// Files of the payload that another program holds: replacing or removing one
// of them would fail halfway and leave a mix of two releases under a running
// viewer, so a run looks for them before it changes anything.
#pragma once

#include <stddef.h>

#include "fs/target_folder.h"
#include "install/install_observer.h"
#include "install/install_record.h"
#include "unzip.h"

// What the run will do to the files it finds.
enum class InUseFor {
  kReplacing,  // renamed aside or over (PendingFile::PutInPlace), others' sharing left alone
  kRemoving,   // read and deleted through one handle that lets others only read
};

// Opens each existing file of the archive's entries below `plugins` as `use`
// needs, relative to the folder held above it, and closes it again: for
// DELETE, sharing what `use` leaves shared (everything when replacing, reading
// when removing); and for writing, which a mapped image (a loaded plug-in)
// refuses although Windows would let it be renamed. So a reader that shares
// writing and deleting, or a handle for attributes only, does not count; a
// holder that denies either does. When replacing, also opens Plugins and each folder that
// holds a file of the payload as a rename there opens it (RenamesRefusedIn).
// Tells `observer` (may be null) of each file or folder that another opener
// keeps from that: a folder by its entry name with its final separator, the
// Plugins folder by its full path. Makes, deletes and sweeps nothing; a file
// that is missing, denied or behind a link is left to the run to report.
// Returns how many are in use.
size_t CountFilesInUse(unzFile archive, const TargetFolder& plugins, InUseFor use,
                       InUseObserver* observer);

// The same for the files `record` names below `plugins` (where `pick` is
// null, every one; otherwise those whose `pick[i]` is set), as removing them
// needs (InUseFor::kRemoving).
size_t CountRecordedInUse(const InstallRecord& record, const bool* pick, const TargetFolder& plugins,
                          InUseObserver* observer);
