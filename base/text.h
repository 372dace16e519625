// Bounded operations on zero-terminated UTF-16 text in fixed buffers.
// Pure: no OS calls, so the same code builds for Windows and for the native fuzzers.
#pragma once

#include <stddef.h>

// Length of `text`, wchar_t being UTF-16 on Windows and wider elsewhere.
size_t TextLength(const wchar_t* text);

// Copies `src` into `dst` (room for `capacity` characters including the terminator).
// Returns false, leaving `dst` empty, when `src` does not fit whole.
bool CopyText(wchar_t* dst, size_t capacity, const wchar_t* src);

// Copies at most capacity - 1 characters of `src`; the rest is dropped.
void CopyTextCut(wchar_t* dst, size_t capacity, const wchar_t* src);

// Appends `src` to `dst`. Returns false, leaving `dst` unchanged, when it does not fit.
bool AppendText(wchar_t* dst, size_t capacity, const wchar_t* src);

// Appends `value` in decimal, with leading zeros to at least `minDigits` digits.
// Returns false, leaving `dst` unchanged, when it does not fit.
bool AppendDecimal(wchar_t* dst, size_t capacity, unsigned long value, unsigned minDigits);

// Appends a backslash unless `dst` ends with one. False when there is no room.
bool AppendBackslashIfMissing(wchar_t* dst, size_t capacity);

// Copies the 7-bit ASCII `src` (a module's or function's name) into `dst`.
// Returns false, leaving `dst` empty, when it does not fit whole or holds
// another character.
bool WidenAscii(wchar_t* dst, size_t capacity, const char* src);

// The first occurrence of `needle` in `text` (case-sensitive), or null.
const wchar_t* FindText(const wchar_t* text, const wchar_t* needle);

// Removes trailing U+0020 blanks.
void TrimTrailingBlanks(wchar_t* text);

// True for a C0 or C1 control character or DEL: text another program (or a
// user's settings) chose could forge a log entry with one.
inline bool IsControlCharacter(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
