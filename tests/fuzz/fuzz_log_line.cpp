// The install log's entry: one byte per code unit, the message's line ends
// kept, always closed by the separator line.
#include <string>

#include "report/log_text.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Date, time and message, split at the first two code units of value 1.
  std::vector<wchar_t> text = TextFromBytes(data, size);
  const wchar_t* fields[3] = {L"", L"", L""};
  int field = 0;
  fields[0] = text.data();
  for (size_t i = 0; text[i] != 0 && field < 2; ++i) {
    if (text[i] == 1) {
      text[i] = 0;
      fields[++field] = &text[i + 1];
    }
  }
  char out[2048];
  const size_t n = FormatLogEntry(fields[0], fields[1], fields[2], out, sizeof out);
  FUZZ_CHECK(out[n] == 0);
  if (n == 0) return 0;  // did not fit: nothing written
  const std::string entry(out, n);
  const std::string separator = std::string(48, '-') + "\n";
  FUZZ_CHECK(entry.size() >= separator.size());
  FUZZ_CHECK(entry.compare(entry.size() - separator.size(), separator.size(), separator) == 0);
  return 0;
}
