// Whether the payload is in place in a viewer folder, as an installation puts
// it there: every file with its entry's size and CRC-32. For detection rules:
// it only reads. It writes nothing and takes no lock, shows nothing, keeps no
// process-wide state and never uses the current directory.
#pragma once

#include <stddef.h>

enum class VerifyStatus : int {
  kInPlace,            // every file and folder of the payload is there, every file whole
  kDiffers,            // one is missing, differs, is not where its name says, or cannot be read
  kPayloadUnreadable,  // the payload is no archive that an installation would unpack
};

// Checks the payload (a ZIP archive's bytes in memory) against folder\Plugins\,
// `folder` being the viewer's folder as a full path. Reads each installed
// file at most once; stops at the first that is not in place.
VerifyStatus VerifyPayload(const void* payload, size_t payloadBytes, const wchar_t* folder);
