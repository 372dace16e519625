// Reading the silent run's options. Pure text logic.
#pragma once

#include <stddef.h>

#include "base/option_names.h"
#include "viewer/folder_text.h"

// Where the folder and log options' values start, after "/folder=" and "/log=".
constexpr size_t kFolderValueStart = sizeof kFolderOption / sizeof kFolderOption[0] - 1;
constexpr size_t kLogValueStart = sizeof kLogOption / sizeof kLogOption[0] - 1;

// Copies text[start] onwards into `value` while the index is below
// min(length of text, limit) and the character is not "/": the next option, or
// any slash, ends the value. `value` needs room for limit - start + 1 characters.
// Returns the index at which copying stopped.
size_t ReadOptionValue(const wchar_t* text, wchar_t* value, size_t start, size_t limit);

// Trailing blanks, then one closing and one opening double quote, then trailing
// blanks again. Leading blanks stay.
void CleanOptionValue(wchar_t* value);

// Room for "/log="'s value, before environment variables are expanded.
constexpr size_t kLogPathChars = 520;

// The command line's options, read once at start-up by the rules above.
struct SetupOptions {
  bool help = false;       // "/?"
  bool verify = false;     // "/verify"
  bool silent = false;     // "/silent" without "/verify"
  bool uninstall = false;  // "/uninstall"
  bool app = false;        // "/app" in the first kCommandCopyChars - 1 characters
  bool folderGiven = false;             // "/folder=" there too
  wchar_t folder[kFolderChars] = {};    // its value, cleaned
  bool logGiven = false;                // "/log=" anywhere
  wchar_t log[kLogPathChars] = {};      // its value, cleaned
};

// Reads `commandLine` (the whole process command line) into `options`.
void ReadOptions(const wchar_t* commandLine, SetupOptions* options);
