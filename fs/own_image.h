// The file the running setup was loaded from, held by a handle that is
// checked to be that very file: its name may have come to lead to another
// one since (a file renamed away and another put in its place).
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/scoped.h"

// True when the open `file` (opened with FILE_READ_DATA) is the file that
// the loaded module `image` was mapped from.
bool IsFileOfImage(HANDLE file, HMODULE image);

// Opens the file of the loaded module `image` for reading, sharing only
// reading (so that nobody renames, deletes or writes it while it is open),
// into `file`, and keeps it only when IsFileOfImage. False otherwise, with
// the last error.
bool OpenFileOfImage(HMODULE image, ScopedFileHandle* file);

// Eight random bytes from the system's generator (BCrypt's RNG provider,
// which Vista has too). False when it cannot be had.
bool SystemRandom(uint64_t* random);
