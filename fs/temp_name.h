// The names of the temporary files a new file is written to before it
// replaces the old one, and how a later setup knows them. Pure text logic.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The name of the temporary file an entry is written to before it replaces
// `name`: in the same folder (`name` up to its last separator), "~px", the two
// numbers in hexadecimal and ".tmp". False, with `temp` empty, when it does not
// fit `capacity` characters.
bool SiblingTempName(const wchar_t* name, uint32_t process, uint32_t serial,
                     wchar_t* temp, size_t capacity);

// True for a file name (no folder part) that SiblingTempName makes: "~px", one
// to eight lowercase hexadecimal digits, "-", one to eight more, ".tmp".
bool IsSiblingTempLeaf(const wchar_t* leaf);

// The name a plug-in that is being replaced is moved to first, beside it in
// its folder: "~px", the two numbers in hexadecimal as SiblingTempName has
// them, ".", the plug-in's own name `leaf`, and ".old", so that it never ends
// as a plug-in's name does. False, with `aside` empty, when it does not fit
// `capacity` characters.
bool AsideLeaf(const wchar_t* leaf, uint32_t process, uint32_t serial, wchar_t* aside,
               size_t capacity);

// For a name of AsideLeaf's form, the plug-in's own name, into `leaf` (room
// for `capacity` characters). False, with `leaf` empty, for any other name or
// when it does not fit.
bool AsideOwner(const wchar_t* aside, wchar_t* leaf, size_t capacity);

// The staged archive's name in the temp folder: `stem` ("PX32_plugins"), "-",
// `random` in sixteen hexadecimal digits and ".zip". Unique and never guessed
// ahead, so nothing another user puts in the temp folder can be in its way.
// False, with `leaf` empty, when it does not fit `capacity` characters.
bool StagedArchiveLeaf(const wchar_t* stem, uint64_t random, wchar_t* leaf, size_t capacity);
