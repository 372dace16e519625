// Which archive entry names may be written below the target folder. Pure text logic.
#pragma once

#include <stddef.h>
#include <stdint.h>

// True for a plain relative path: components separated by "/" or "\", none of
// them empty (except after a final separator, which marks a folder entry), "."
// or "..", none ending in a dot or a blank (Windows would drop those and write
// another name), none naming a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// CONIN$, CONOUT$, with or without an extension), and no character that Windows
// gives a meaning in paths: ":", "*", "?", "\"", "<", ">", "|" or a control code.
// So no leading separator, drive, UNC or device prefix, or alternate data stream.
bool IsPlainRelativeName(const wchar_t* name);

// Entry names separate folders with "/", and "\" is taken as well.
inline bool IsEntrySeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// True when the bytes start with an end-of-central-directory record that
// describes an archive without entries (no central directory at all).
bool IsEmptyArchiveRecord(const unsigned char* bytes, size_t length);

// The name of the temporary file an entry is written to before it replaces
// `name`: in the same folder (`name` up to its last separator), "~px", the two
// numbers in hexadecimal and ".tmp". False, with `temp` empty, when it does not
// fit `capacity` characters.
bool SiblingTempName(const wchar_t* name, uint32_t process, uint32_t serial,
                     wchar_t* temp, size_t capacity);

// A file-search pattern that matches every name SiblingTempName makes.
constexpr wchar_t kSiblingTempPattern[] = L"~px*.tmp";

// True for a file name (no folder part) that SiblingTempName makes: "~px", one
// to eight lowercase hexadecimal digits, "-", one to eight more, ".tmp".
bool IsSiblingTempLeaf(const wchar_t* leaf);

// `folder`, a backslash (unless `folder` ends with one) and the first `length`
// characters of `name` with each "/" as "\": where an entry's file or folder
// lies when nothing on the way is a link. False, with `path` empty, when it
// does not fit `capacity` characters.
bool EntryPathBelow(const wchar_t* folder, const wchar_t* name, size_t length, wchar_t* path,
                    size_t capacity);
