// Trimming and the destination page's text logic, on text of any length.
#include <string>

#include "base/text.h"
#include "tests/fuzz/fuzz_input.h"
#include "wizard/page_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<wchar_t> text = TextFromBytes(data, size);
  const std::wstring before(text.data());

  std::vector<wchar_t> trailing = text;
  TrimTrailingBlanks(trailing.data());
  const std::wstring t(trailing.data());
  FUZZ_CHECK(before.compare(0, t.size(), t) == 0);
  FUZZ_CHECK(t.empty() || t.back() != L' ');

  TrimBlanks(text.data());
  const std::wstring trimmed(text.data());
  FUZZ_CHECK(trimmed.size() <= before.size());
  FUZZ_CHECK(trimmed.empty() || trimmed.back() != L' ');
  FUZZ_CHECK(before.find(trimmed) != std::wstring::npos);

  if (IsAcceptableInstallFolder(text.data())) {
    FUZZ_CHECK(trimmed.size() >= 2 && trimmed.size() < kPageFolderChars && trimmed[1] == L':');
  }
  wchar_t start[kPageFolderChars + 1];
  PickerStartFolder(before.c_str(), start);
  FUZZ_CHECK(TextLength(start) <= kPageFolderChars);

  const wchar_t* args[] = {L"4.57", L"32", L"32"};
  wchar_t filled[512];
  if (FillPlaceholders(before.c_str(), args, 3, filled, 512)) FUZZ_CHECK(TextLength(filled) < 512);
  wchar_t label[66];
  NextButtonLabel(before.c_str(), label, 66);
  FUZZ_CHECK(TextLength(label) < 66);
  return 0;
}
