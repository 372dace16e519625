// The entry-name check: whatever it accepts names no place outside the target
// folder and nothing Windows would read as a drive, stream or device; and the
// temporary file written for an accepted name lies in that name's own folder,
// and the path its real location is compared with is the name below the folder.
#include <wctype.h>

#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "archive/zip_records.h"
#include "fs/temp_name.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// Windows reads a component as a device by its part before the first dot,
// blanks dropped at its end, in any case: "nul.txt", "Com1 .log".
bool NamesDevice(const std::wstring& part) {
  std::wstring stem = part.substr(0, part.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c;
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0)) {
    return false;
  }
  const wchar_t digit = stem[3];
  return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<wchar_t> name = TextFromBytes(data, size);
  (void)IsEmptyArchiveRecord(data, size);
  (void)IsSiblingTempLeaf(name.data());
  if (!IsPlainRelativeName(name.data())) return 0;
  const std::wstring n(name.data());
  FUZZ_CHECK(!n.empty() && !IsEntrySeparator(n[0]));
  FUZZ_CHECK(n.find(L':') == std::wstring::npos);
  // Every component is a real name: not empty (but the last), not "." or "..".
  size_t begin = 0;
  while (begin <= n.size()) {
    size_t end = begin;
    while (end < n.size() && !IsEntrySeparator(n[end])) ++end;
    const std::wstring part = n.substr(begin, end - begin);
    if (end < n.size()) FUZZ_CHECK(!part.empty());
    FUZZ_CHECK(part != L"." && part != L"..");
    if (!part.empty()) FUZZ_CHECK(part.back() != L'.' && part.back() != L' ');
    for (wchar_t c : part) FUZZ_CHECK(c >= 32);
    FUZZ_CHECK(!NamesDevice(part));
    begin = end + 1;
  }

  std::vector<wchar_t> temp(n.size() + 32);
  if (n.back() != L'/' && n.back() != L'\\' &&
      SiblingTempName(n.c_str(), static_cast<uint32_t>(size), 0xFFFFFFFFu, temp.data(), temp.size())) {
    const std::wstring t(temp.data());
    const size_t folder = n.find_last_of(L"/\\") + 1;  // 0 when there is no folder part
    FUZZ_CHECK(t.compare(0, folder, n, 0, folder) == 0);
    FUZZ_CHECK(t.find_first_of(L"/\\", folder) == std::wstring::npos);
    FUZZ_CHECK(t != n && IsPlainRelativeName(t.c_str()));
    FUZZ_CHECK(IsSiblingTempLeaf(t.c_str() + folder));
  }

  // The place it is checked against: the folder, one backslash, the name with
  // backslashes only, and nothing cut, or nothing at all when it does not fit.
  const std::wstring folder = size % 2 ? L"\\\\?\\C:\\V\\Plugins" : L"\\\\?\\C:\\";
  std::vector<wchar_t> below(folder.size() + n.size() + 2 - size % 3);
  if (EntryPathBelow(folder.c_str(), n.c_str(), n.size(), below.data(), below.size())) {
    std::wstring expected = folder.back() == L'\\' ? folder : folder + L'\\';
    for (wchar_t c : n) expected += IsEntrySeparator(c) ? L'\\' : c;
    FUZZ_CHECK(std::wstring(below.data()) == expected);
  } else {
    FUZZ_CHECK(below[0] == 0 && size % 3 != 0);
  }
  return 0;
}
