// The setup's options as its command line writes them: the silent run reads
// them (silent/command_line.h), and the Apps & features entry's uninstall
// commands are written with them. Pure text.
#pragma once

#include <stddef.h>

// The options, found as plain case-sensitive substrings anywhere in the
// command line ("/folder=" and "/app" only in its first kCommandCopyChars - 1
// characters). "/verify" wins over "/silent".
constexpr wchar_t kSilentOption[] = L"/silent";
constexpr wchar_t kFolderOption[] = L"/folder=";
constexpr wchar_t kAppOption[] = L"/app";
constexpr wchar_t kVerifyOption[] = L"/verify";
constexpr wchar_t kUninstallOption[] = L"/uninstall";
constexpr wchar_t kLogOption[] = L"/log=";
// Wins over every other option.
constexpr wchar_t kHelpOption[] = L"/?";
// How much of the command line "/folder=" and "/app" are looked for in.
constexpr size_t kCommandCopyChars = 520;
// Room for a folder with its terminator: one from the registry and the
// folders derived from it, and "/folder=" with its value, which is cut there.
constexpr size_t kFolderChars = 260;
