// Files of the payload that another program holds: replacing or removing one
// of them would fail halfway and leave a mix of two releases under a running
// viewer, so a run looks for them before it changes anything.
#pragma once

#include <stddef.h>

#include "fs/target_folder.h"
#include "install/install_observer.h"
#include "unzip.h"

// Opens each existing file of the archive's entries below `plugins` as
// replacing it needs, relative to the folder held above it: for DELETE and
// for writing (which a running program's mapped image refuses), without
// sharing, and closes it again. Tells `observer` (may be null) of each that
// another opener keeps from that. Makes, deletes and sweeps nothing; a file
// that is missing, denied or behind a link is left to the run to report.
// Returns how many are in use.
size_t CountFilesInUse(unzFile archive, const TargetFolder& plugins, InUseObserver* observer);
