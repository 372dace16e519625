// The installation record's lines: a file line that reads back names a
// plain relative file below Plugins, and writing it again gives a line that
// reads back as the same file.
#include <string.h>

#include "archive/entry_name.h"
#include "base/text.h"
#include "install/record_text.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<wchar_t> line = TextFromBytes(data, size);
  wchar_t text[kRecordLineChars];
  RecordedFile file;
  const RecordLine kind = ReadRecordLine(line.data(), line.size() - 1, text, &file);
  if (kind == RecordLine::kPackage || kind == RecordLine::kPlugins) {
    FUZZ_CHECK(TextLength(text) > 0 && TextLength(text) < kRecordLineChars);
    for (const wchar_t* c = text; *c != 0; ++c) FUZZ_CHECK(!IsControlCharacter(*c));
  }
  if (kind != RecordLine::kFile) return 0;
  FUZZ_CHECK(IsPlainRelativeName(file.name));
  const size_t length = TextLength(file.name);
  FUZZ_CHECK(length > 0 && !IsEntrySeparator(file.name[length - 1]));
  for (const wchar_t* c = file.name; *c != 0; ++c) FUZZ_CHECK(*c != L'\\');
  wchar_t again[kRecordLineChars];
  FUZZ_CHECK(FileLine(file, again));
  RecordedFile back;
  FUZZ_CHECK(ReadRecordLine(again, TextLength(again), text, &back) == RecordLine::kFile);
  FUZZ_CHECK(back.size == file.size && back.crc == file.crc &&
             memcmp(back.sha256, file.sha256, sizeof file.sha256) == 0 &&
             TextLength(back.name) == length && memcmp(back.name, file.name, length * sizeof(wchar_t)) == 0);
  return 0;
}
