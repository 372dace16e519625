// Which archive entry names may be written below the target folder, and where
// they lie there. Pure text logic.
#pragma once

#include <stddef.h>

// The longest entry name, in its UTF-16 form, with its terminator.
constexpr unsigned kEntryNameChars = 324;

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

// `folder`, a backslash (unless `folder` ends with one) and the first `length`
// characters of `name` with each "/" as "\": where an entry's file or folder
// lies when nothing on the way is a link. False, with `path` empty, when it
// does not fit `capacity` characters.
bool EntryPathBelow(const wchar_t* folder, const wchar_t* name, size_t length, wchar_t* path,
                    size_t capacity);
