// The install log's entry format. Pure text logic.
#pragma once

#include <stddef.h>

// One entry: "<date> - <time>: <message>\n" and the 48-hyphen separator line,
// into `out` (room for `capacity` bytes, a terminator included). Each UTF-16
// code unit below 256 becomes the byte of that value; any other is stored as
// "?", and so is a control character of the date. Line ends are "\n": the
// log is written in text mode, which stores them as CR LF. Returns the
// entry's length, or 0 (out empty) when it does not fit.
size_t FormatLogEntry(const wchar_t* date, const wchar_t* time, const wchar_t* message,
                      char* out, size_t capacity);

// "HH:MM:SS", two digits each.
void FormatTimeOfDay(unsigned hour, unsigned minute, unsigned second, wchar_t out[9]);
// "YYYY-MM-DD": the date when the user's short date format cannot be had.
void FormatIsoDate(unsigned year, unsigned month, unsigned day, wchar_t out[11]);
