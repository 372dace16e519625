#include "archive/entry_name.h"

namespace {

bool IsForbiddenChar(wchar_t c) {
  if (c < 0x20) return true;
  switch (c) {
    case L':': case L'*': case L'?': case L'"': case L'<': case L'>': case L'|':
      return true;
    default:
      return false;
  }
}

wchar_t Upper(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualsUpper(const wchar_t* begin, const wchar_t* end, const wchar_t* word) {
  const wchar_t* p = begin;
  for (; p < end && *word != 0; ++p, ++word) {
    if (Upper(*p) != *word) return false;
  }
  return p == end && *word == 0;
}

// Windows takes the part before the first dot, with trailing blanks dropped,
// as the device name: "nul.txt" and "COM1 .log" both name devices.
bool IsDeviceName(const wchar_t* begin, const wchar_t* end) {
  const wchar_t* stem_end = begin;
  while (stem_end < end && *stem_end != L'.') ++stem_end;
  while (stem_end > begin && stem_end[-1] == L' ') --stem_end;

  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL",
                                            L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (EqualsUpper(begin, stem_end, device)) return true;
  }
  if (stem_end - begin == 4 &&
      (EqualsUpper(begin, begin + 3, L"COM") || EqualsUpper(begin, begin + 3, L"LPT"))) {
    const wchar_t digit = begin[3];
    // Windows also takes the superscript digits 1-3 as port numbers.
    return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 ||
           digit == 0xB3;
  }
  return false;
}

bool IsPlainComponent(const wchar_t* begin, const wchar_t* end) {
  if (begin == end) return false;
  if (end[-1] == L'.' || end[-1] == L' ') return false;  // also "." and ".."
  for (const wchar_t* p = begin; p < end; ++p) {
    if (IsForbiddenChar(*p)) return false;
  }
  return !IsDeviceName(begin, end);
}

}  // namespace

bool IsPlainRelativeName(const wchar_t* name) {
  if (name[0] == 0) return false;
  const wchar_t* begin = name;
  for (;;) {
    const wchar_t* end = begin;
    while (*end != 0 && !IsEntrySeparator(*end)) ++end;
    if (*end == 0) {
      // A final separator leaves an empty last component: a folder entry.
      return begin == end ? begin != name : IsPlainComponent(begin, end);
    }
    if (!IsPlainComponent(begin, end)) return false;
    begin = end + 1;
  }
}

bool EntryPathBelow(const wchar_t* folder, const wchar_t* name, size_t length, wchar_t* path,
                    size_t capacity) {
  size_t folder_length = 0;
  while (folder[folder_length] != 0) ++folder_length;
  const bool separated = folder_length > 0 && folder[folder_length - 1] == L'\\';
  if (capacity == 0) return false;
  path[0] = 0;
  if (folder_length + (separated ? 0 : 1) + length + 1 > capacity) return false;
  size_t at = 0;
  for (; at < folder_length; ++at) path[at] = folder[at];
  if (!separated) path[at++] = L'\\';
  for (size_t i = 0; i < length; ++i) path[at++] = IsEntrySeparator(name[i]) ? L'\\' : name[i];
  path[at] = 0;
  return true;
}
