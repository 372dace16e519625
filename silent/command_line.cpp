#include "silent/command_line.h"

#include "base/text.h"

size_t ReadOptionValue(const wchar_t* text, wchar_t* value, size_t start, size_t limit) {
  size_t n = TextLength(text);
  if (limit < n) n = limit;
  size_t i = start;
  size_t out = 0;
  for (; i < n && text[i] != L'/'; ++i) value[out++] = text[i];
  value[out] = 0;
  return i;
}

void CleanOptionValue(wchar_t* value) {
  TrimTrailingBlanks(value);
  size_t n = TextLength(value);
  if (n > 0 && value[n - 1] == L'"') value[--n] = 0;
  if (n > 0 && value[0] == L'"') {
    for (size_t i = 0; i < n; ++i) value[i] = value[i + 1];
  }
  TrimTrailingBlanks(value);
}

void ReadOptions(const wchar_t* commandLine, SetupOptions* options) {
  *options = SetupOptions{};
  options->help = FindText(commandLine, kHelpOption) != nullptr;
  options->verify = FindText(commandLine, kVerifyOption) != nullptr;
  // /verify reports by its exit code alone: no problems logged, also with /silent.
  options->silent = !options->verify && FindText(commandLine, kSilentOption) != nullptr;
  options->uninstall = FindText(commandLine, kUninstallOption) != nullptr;
  if (const wchar_t* option = FindText(commandLine, kLogOption)) {
    options->logGiven = true;
    ReadOptionValue(option, options->log, kLogValueStart, kLogValueStart + kLogPathChars - 1);
    CleanOptionValue(options->log);
  }
  // Plain substring matches, even inside a path; these two only in the first
  // kCommandCopyChars - 1 characters.
  wchar_t copy[kCommandCopyChars] = {};
  CopyTextCut(copy, kCommandCopyChars, commandLine);
  if (const wchar_t* option = FindText(copy, kFolderOption)) {
    options->folderGiven = true;
    ReadOptionValue(option, options->folder, kFolderValueStart, kFolderChars);
    CleanOptionValue(options->folder);
  }
  options->app = FindText(copy, kAppOption) != nullptr;
}
