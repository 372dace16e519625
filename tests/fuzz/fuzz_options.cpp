// The options as the setup reads them (ReadOptions): whatever the command
// line, the folder and log values fit their buffers, hold no "/", and an
// option that is not there leaves its value empty.
#include "base/text.h"
#include "silent/command_line.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<wchar_t> line = TextFromBytes(data, size);
  SetupOptions options;
  ReadOptions(line.data(), &options);
  const size_t folder = TextLength(options.folder);
  FUZZ_CHECK(folder <= kFolderChars - kFolderValueStart);
  for (size_t i = 0; i < folder; ++i) FUZZ_CHECK(options.folder[i] != L'/');
  FUZZ_CHECK(options.folderGiven || folder == 0);
  const size_t log = TextLength(options.log);
  FUZZ_CHECK(log < kLogPathChars);
  for (size_t i = 0; i < log; ++i) FUZZ_CHECK(options.log[i] != L'/');
  FUZZ_CHECK(options.logGiven || log == 0);
  FUZZ_CHECK(!(options.silent && options.verify));
  return 0;
}
