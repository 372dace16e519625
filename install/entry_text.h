// The Apps & features entry's texts: the name of the uninstaller copy that
// an installation keeps in the record's folder, and the uninstall commands
// that run it. Pure text logic: no OS calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

// "PixelmoorPlugInsUninstall-", the package version, "-", 16 hexadecimal
// digits and ".exe": each installation's copy has a name of its own, so that
// a copy marked to be deleted at the next restart is never the current one.
constexpr wchar_t kUninstallerStem[] = L"PixelmoorPlugInsUninstall-";
// The uninstall log's name in the record's folder.
constexpr wchar_t kUninstallLogName[] = L"Uninstall.log";

// The copy's name for `version` and `random` into `leaf`. False, `leaf`
// empty, when the version holds anything but digits and dots, or it does
// not fit `capacity` characters.
bool UninstallerLeaf(const wchar_t* version, uint64_t random, wchar_t* leaf, size_t capacity);
// True for a name UninstallerLeaf makes (of any version).
bool IsUninstallerLeaf(const wchar_t* leaf);

// The command Apps & features runs: `uninstaller` (its full path), then
// "/silent" when `quiet`, "/uninstall", "/folder=" with the viewer's
// folder (the one `plugins`, the Plugins folder's full path, lies in) and
// "/log=" with `log`, into `command`. The values are quoted after the "=",
// which the setup's reading drops, so that a blank, or the next option's
// quote, stays out of them; a drive's root ("D:\") is not, as the quote
// after its backslash would be read as a quote by programs that split the
// line. False, `command` empty, when it does not fit
// `capacity`, when "/folder=" would end beyond where the setup looks for it
// (kCommandCopyChars), when a path holds a '"' or a '/', which would end
// its value early, or the viewer's folder is empty, ends in a blank (which
// the reading drops) or would not fit the reading's kFolderChars.
bool UninstallCommand(const wchar_t* uninstaller, const wchar_t* plugins, const wchar_t* log, bool quiet,
                      wchar_t* command, size_t capacity);
