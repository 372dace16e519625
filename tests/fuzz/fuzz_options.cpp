// The options as the setup reads them (ReadOptions): whatever the command
// line, the folder and log values fit their buffers, hold no "/", and an
// option that is not there leaves its value empty. The same text taken for
// a Plugins folder: an uninstall command written for it (UninstallCommand)
// reads back as the folder it lies in and the log it names.
#include "base/text.h"
#include "install/entry_text.h"
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

  const wchar_t copy[] = L"C:\\Pixelmoor PlugIns\\PixelmoorPlugInsUninstall-1.0-0123456789abcdef.exe";
  const wchar_t log_path[] = L"C:\\Pixelmoor PlugIns\\Uninstall.log";
  wchar_t command[4096];
  if (UninstallCommand(copy, line.data(), log_path, true, command, 4096)) {
    ReadOptions(command, &options);
    FUZZ_CHECK(options.silent && options.uninstall && options.folderGiven);
    const size_t viewer = TextLength(options.folder);
    FUZZ_CHECK(viewer > 0 && viewer < TextLength(line.data()));
    for (size_t i = 0; i < viewer; ++i) FUZZ_CHECK(options.folder[i] == line[i]);
    FUZZ_CHECK(line[viewer] == L'\\' || options.folder[viewer - 1] == L'\\');
    FUZZ_CHECK(TextLength(options.log) == TextLength(log_path));
  }
  return 0;
}
