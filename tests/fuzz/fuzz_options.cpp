// The silent run's option reading: "/folder=" found anywhere, its value read
// and cleaned as the setup does it.
#include "silent/command_line.h"
#include "base/text.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<wchar_t> line = TextFromBytes(data, size);
  wchar_t copy[520];
  CopyTextCut(copy, 520, line.data());
  const wchar_t* option = FindText(copy, L"/folder=");
  if (option == nullptr) return 0;
  wchar_t folder[520];
  const size_t stop = ReadOptionValue(option, folder, 8, 260);
  FUZZ_CHECK(stop >= 8 && stop <= 260);
  const size_t read = TextLength(folder);
  FUZZ_CHECK(read == stop - 8);
  for (size_t i = 0; i < read; ++i) FUZZ_CHECK(folder[i] != L'/');
  CleanOptionValue(folder);
  FUZZ_CHECK(TextLength(folder) <= read);
  return 0;
}
