// The install log's entry format. Pure text logic.
#pragma once

#include <string>

// One entry: "<date> - <time>: <message>\n" and the 48-hyphen separator line.
// Each UTF-16 code unit below 256 becomes the byte of that value; any other is
// stored as "?". Line ends are "\n": the log is written in text mode, which
// stores them as CR LF.
std::string FormatLogEntry(const wchar_t* date, const wchar_t* time, const wchar_t* message);
