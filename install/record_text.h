// The installation record's lines: what a run that installed leaves of what
// is now installed from the package, for updates and /uninstall of any later
// release to read. Pure text logic: no OS calls, so it is fuzzed natively.
//
// The record is UTF-16LE text with a byte-order mark, one line each, ended
// by CR LF (a reader takes LF alone too):
//
//   Pixelmoor PlugIns installation record, format 1
//   Package: 4.57
//   Plugins: C:\Program Files (x86)\Pixelmoor\Plugins
//   File: <size> <SHA-256> <CRC-32> <name>
//
// A file's size is decimal bytes, its SHA-256 64 hex digits and its CRC-32
// 8 (written in lower case, read in either), its name its path below Plugins
// with "\" between folders, last on the line so that it may hold blanks. A
// reader ignores a line whose keyword it does not know (later releases add
// lines that way) and refuses a record of another format, which a change an
// earlier release would misread must take.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "archive/entry_name.h"

// The first line: the stem, then the format's number.
constexpr wchar_t kRecordFormatStem[] = L"Pixelmoor PlugIns installation record, format ";
constexpr wchar_t kRecordFirstLine[] = L"Pixelmoor PlugIns installation record, format 1";
constexpr size_t kRecordLineChars = 1200;  // the longest line a reader takes, with its terminator
constexpr size_t kPackageChars = 32;

// A file the record names.
struct RecordedFile {
  wchar_t name[kEntryNameChars];  // below Plugins, "/" between folders, as the payload's entries
  uint64_t size;
  unsigned char sha256[32];
  uint32_t crc;
};

// One line, without its line break, into `line` (kRecordLineChars). False
// when it does not fit.
bool PackageLine(const wchar_t* version, wchar_t* line);
bool PluginsLine(const wchar_t* plugins, wchar_t* line);
bool FileLine(const RecordedFile& file, wchar_t* line);

enum class RecordLine {
  kPackage,  // the package version, into `text`
  kPlugins,  // the Plugins folder's full path, into `text`
  kFile,     // a file, into `file`
  kOther,    // a keyword this release does not know, or an empty line: ignored
  kBad,      // a known keyword whose value is refused: the record is damaged
};

// Reads one line of `length` characters (no line break); a file's name
// comes with "/" between its folders. `text` has room
// for kRecordLineChars. A file's name must be a plain relative path
// (IsPlainRelativeName) naming a file; a folder path must be full.
RecordLine ReadRecordLine(const wchar_t* line, size_t length, wchar_t* text, RecordedFile* file);
