// The path split: the parts fit their buffers, and when they are not all
// empty they are the path itself, in order.
#include <wchar.h>

#include <string>

#include "base/path_split.h"
#include "base/text.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<wchar_t> path = TextFromBytes(data, size);
  PathParts parts;
  SplitPath(path.data(), &parts);
  FUZZ_CHECK(TextLength(parts.drive) <= 2);
  FUZZ_CHECK(TextLength(parts.dir) < kPathPartChars);
  FUZZ_CHECK(TextLength(parts.name) < kPathPartChars);
  FUZZ_CHECK(TextLength(parts.ext) < kPathPartChars);
  const std::wstring joined =
      std::wstring(parts.drive) + parts.dir + parts.name + parts.ext;
  if (!joined.empty()) FUZZ_CHECK(joined == std::wstring(path.data()));
  if (parts.ext[0] != 0) FUZZ_CHECK(parts.ext[0] == L'.');
  return 0;
}
