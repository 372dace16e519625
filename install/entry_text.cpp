#include "install/entry_text.h"

#include "base/option_names.h"
#include "base/text.h"

namespace {

constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
constexpr size_t kRandomDigits = 16;
constexpr wchar_t kExtension[] = L".exe";

bool IsVersionCharacter(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; }

bool HasNone(const wchar_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == L'"' || text[i] == L'/') return false;
  }
  return true;
}

// Appends `what` quoted: "<what>", of `length` characters.
bool AppendQuoted(wchar_t* command, size_t capacity, const wchar_t* what, size_t length) {
  const size_t at = TextLength(command);
  if (at + length + 3 > capacity) return false;
  command[at] = L'"';
  for (size_t i = 0; i < length; ++i) command[at + 1 + i] = what[i];
  command[at + 1 + length] = L'"';
  command[at + 2 + length] = 0;
  return true;
}

// Appends the value `what`, quoted unless it ends in a backslash (a drive's
// root, "D:\", which holds no blank): a program that splits the line as
// CommandLineToArgvW does would take that backslash and quote for a quote.
bool AppendValue(wchar_t* command, size_t capacity, const wchar_t* what, size_t length) {
  if (what[length - 1] != L'\\') return AppendQuoted(command, capacity, what, length);
  const size_t at = TextLength(command);
  if (at + length + 1 > capacity) return false;
  for (size_t i = 0; i < length; ++i) command[at + i] = what[i];
  command[at + length] = 0;
  return true;
}

}  // namespace

bool UninstallerLeaf(const wchar_t* version, uint64_t random, wchar_t* leaf, size_t capacity) {
  if (capacity == 0) return false;
  leaf[0] = 0;
  const size_t version_length = TextLength(version);
  if (version_length == 0) return false;
  for (size_t i = 0; i < version_length; ++i) {
    if (!IsVersionCharacter(version[i])) return false;
  }
  wchar_t digits[kRandomDigits + 2] = {L'-'};
  for (size_t i = 0; i < kRandomDigits; ++i) digits[1 + i] = kHexDigits[(random >> (60 - 4 * i)) & 0xF];
  if (!CopyText(leaf, capacity, kUninstallerStem) || !AppendText(leaf, capacity, version) ||
      !AppendText(leaf, capacity, digits) || !AppendText(leaf, capacity, kExtension)) {
    leaf[0] = 0;
    return false;
  }
  return true;
}

bool IsUninstallerLeaf(const wchar_t* leaf) {
  const size_t stem = TextLength(kUninstallerStem), length = TextLength(leaf);
  const size_t tail = 1 + kRandomDigits + TextLength(kExtension);  // "-", the digits, ".exe"
  if (length < stem + 1 + tail) return false;
  for (size_t i = 0; i < stem; ++i) {
    if (leaf[i] != kUninstallerStem[i]) return false;
  }
  const size_t dash = length - tail;
  for (size_t i = stem; i < dash; ++i) {
    if (!IsVersionCharacter(leaf[i])) return false;
  }
  if (leaf[dash] != L'-') return false;
  for (size_t i = 1; i <= kRandomDigits; ++i) {
    const wchar_t c = leaf[dash + i];
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  const wchar_t* extension = leaf + dash + 1 + kRandomDigits;  // as long as kExtension
  for (size_t i = 0; kExtension[i] != 0; ++i) {
    if (extension[i] != kExtension[i]) return false;
  }
  return true;
}

bool UninstallCommand(const wchar_t* uninstaller, const wchar_t* plugins, const wchar_t* log, bool quiet,
                      wchar_t* command, size_t capacity) {
  if (capacity == 0) return false;
  command[0] = 0;
  // The viewer's folder: the Plugins folder's path up to its last
  // backslash, which stays only after a drive ("D:\").
  const size_t plugins_length = TextLength(plugins);
  size_t viewer = plugins_length;
  while (viewer > 0 && plugins[viewer - 1] != L'\\') --viewer;
  if (viewer == 0 || viewer == plugins_length) return false;
  if (!(viewer == 3 && plugins[1] == L':')) --viewer;
  // The setup's reading drops a value's trailing blanks, and cuts "/folder="
  // with its value, quotes and all, at kFolderChars.
  if (viewer == 0 || plugins[viewer - 1] == L' ' || TextLength(kFolderOption) + viewer + 2 > kFolderChars) {
    return false;
  }
  const size_t uninstaller_length = TextLength(uninstaller), log_length = TextLength(log);
  if (uninstaller_length == 0 || log_length == 0 || !HasNone(uninstaller, uninstaller_length) ||
      !HasNone(plugins, viewer) || !HasNone(log, log_length)) {
    return false;
  }
  bool made = AppendQuoted(command, capacity, uninstaller, uninstaller_length) &&
              (!quiet || (AppendText(command, capacity, L" ") && AppendText(command, capacity, kSilentOption))) &&
              AppendText(command, capacity, L" ") && AppendText(command, capacity, kUninstallOption) &&
              AppendText(command, capacity, L" ") && AppendText(command, capacity, kFolderOption) &&
              AppendValue(command, capacity, plugins, viewer) && TextLength(command) < kCommandCopyChars &&
              AppendText(command, capacity, L" ") && AppendText(command, capacity, kLogOption) &&
              AppendQuoted(command, capacity, log, log_length);
  if (!made) command[0] = 0;
  return made;
}
