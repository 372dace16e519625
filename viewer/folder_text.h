// Deriving the viewer's folder from registry texts. Pure text logic; the
// registry reads are in viewer_folder.h.
#pragma once

#include <stddef.h>

#include "base/option_names.h"  // kFolderChars
// The viewer's executable, in the registered command and in a running process.
constexpr wchar_t kViewerExecutable[] = L"p_moor32.exe";

// The folder of the executable named by the registered open command, ending in
// a backslash. A quoted command's executable is what lies between its first
// two quotes; an unquoted one's, as Windows writes one without blanks
// (C:\Pixelmoor\p_moor32.exe "%1"), is the path up to the first
// "\p_moor32.exe" (in any case) that a blank, a quote or the end follows,
// and must be a full path. Returns 1 and fills `folder`, or 0 (folder empty) when the command is empty,
// does not name "p_moor32.exe" (case-insensitively), or the folder would not fit.
int FolderFromOpenCommand(const wchar_t* command, wchar_t folder[kFolderChars]);

// True when `text` still holds an environment variable's reference, "%NAME%"
// with a name of one or more characters other than blanks, quotes,
// backslashes and "%": what expanding leaves of a variable it does not know.
// A command's "%1" is none.
bool HasUnexpandedVariable(const wchar_t* text);

// `programFiles` with a backslash and "Pixelmoor" appended. Returns 0, leaving
// `folder` unchanged, when that would not fit.
int FolderFromProgramFiles(const wchar_t* programFiles, wchar_t folder[kFolderChars]);
