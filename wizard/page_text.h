// Text logic of the destination page. Pure: no OS calls.
#pragma once

#include <stddef.h>

#include "base/path_split.h"

// The page's folder text holds at most this many characters (and a terminator).
constexpr size_t kPageFolderChars = kMaxPathChars;

// Removes trailing blanks (U+0020); then, if the text begins with a blank and is
// shorter than 260 characters, removes all leading blanks.
void TrimBlanks(wchar_t* text);

// Whether Next may install into `folder` (already trimmed): it is not empty, the
// path split finds a drive (the second character is a colon) and no part of
// 256 characters or more, and it does not fill the page's whole 259 characters
// (a picked folder that long has no room for its trailing backslash).
bool IsAcceptableInstallFolder(const wchar_t* folder);

// The folder the picker opens on: `path` cut to 259 characters, without its
// trailing backslash when it is longer than 3 characters (a drive root keeps it).
void PickerStartFolder(const wchar_t* path, wchar_t start[kPageFolderChars + 1]);

// Copies `pattern` into `out` (room for `capacity` characters), replacing its
// first `count` occurrences of "%s" by `args` in order. Returns false, leaving
// `out` empty, when the result does not fit.
bool FillPlaceholders(const wchar_t* pattern, const wchar_t* const* args, size_t count,
                      wchar_t* out, size_t capacity);

// The Next button's label for the sentence below the edit box: empty when
// `caption` contains "Next" (the template's own label stands), otherwise the
// caption as read, in double quotes. `label` has room for `capacity` characters.
void NextButtonLabel(const wchar_t* caption, wchar_t* label, size_t capacity);
