// The entry-name check: whatever it accepts names no place outside the target
// folder and nothing Windows would read as a drive, stream or device.
#include <wctype.h>

#include <string>

#include "install/entry_name.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<wchar_t> name = TextFromBytes(data, size);
  (void)IsEmptyArchiveRecord(data, size);
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
    begin = end + 1;
  }
  return 0;
}
