// The one rule by which a Windows path is split into drive, directory, name and
// extension. Pure text logic.
#pragma once

#include <stddef.h>

constexpr size_t kPathPartChars = 256;  // 255 characters and the terminator
// The most characters a Windows path may have (MAX_PATH less the terminator).
constexpr size_t kMaxPathChars = 259;

struct PathParts {
  wchar_t drive[3];  // "X:" when the second character is a colon, else empty
  wchar_t dir[kPathPartChars];   // up to and including the last "\" or "/"
  wchar_t name[kPathPartChars];  // up to the last dot after the directory
  wchar_t ext[kPathPartChars];   // that dot and the rest
};

// Splits `path`. When the directory, the name or the extension would be longer
// than 255 characters, all four parts are empty.
void SplitPath(const wchar_t* path, PathParts* parts);

// True for a path that says where it is without a current directory: a drive
// and a separator ("C:\"), or two backslashes (UNC, "\\?\").
bool IsFullPath(const wchar_t* path);

// Where a drive ("X:") begins in `path`: 0 for "X:...", 4 for the system's
// forms "\\?\X:..." and "\\.\X:..."; kNoDrive for anything else (UNC, relative).
constexpr size_t kNoDrive = static_cast<size_t>(-1);
size_t DriveAt(const wchar_t* path);

// `path` as programs name it (what GetFinalPathNameByHandleW gives, in the
// form a process's image or the Restart Manager takes): without "\\?\" or
// "\\.\" before a drive, and "\\?\UNC\server\..." as "\\server\...", into
// `out` (room for `capacity` characters). False, `out` empty, when it does
// not fit.
bool PlainPathForm(const wchar_t* path, wchar_t* out, size_t capacity);
