// Every hostile archive through the unpacking code and through a setup built
// with it as its payload: nothing may be written outside the Plugins folder,
// nothing may crash or hang, a silent run logs "Can't install all files!"
// and ends with exit code 1 exactly when something was not installed (else 0),
// and the temporary copy is gone. The outcomes are written as a Markdown table.
// The build-time payload check's verdict on each archive (CHECKS.txt, lines
// "<id> <exit code>", written by hostile.sh) must match: it passes exactly the
// archives the setup installs whole, but for names Windows takes for one.
//   hostile_tests --write DIR                   writes DIR\<id>.zip and DIR\cases.txt
//   hostile_tests SETUPS_DIR CHECKS.txt TABLE.md runs the cases (SETUPS_DIR\<id>.exe)
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "hostile_archives.h"
#include "install/unpack.h"
#include "message_texts.h"
#include "test_support.h"

namespace {

std::wstring g_setups;
std::map<std::string, int> g_check_of;        // the payload check's exit code per case
std::map<std::string, std::string> g_row_of;  // the table's row of each case run


std::string ResultName(int rc) {
  switch (rc) {
    case kUnpackOk: return "0 (whole)";
    case kUnpackNotAnArchive: return "not an archive";
    case kUnpackTargetUnusable: return "target unusable";
    case kUnpackWriteFailed: return "short write";
    case kUnpackReadFailed: return "read failed";
    case UNZ_ERRNO: return "archive ends early";
    case Z_DATA_ERROR: return "inflate data error";
    case kUnpackFilesSkipped: return "files skipped";
    case kUnpackBadName: return "bad name";
    case kUnpackSizeMismatch: return "size mismatch";
    case kUnpackEncrypted: return "encrypted";
    case kUnpackUnsupportedMethod: return "unsupported method";
    case kUnpackOverlap: return "overlapping data";
    case kUnpackPastTheEnd: return "data past the end";
    case UNZ_CRCERROR: return "CRC error";
    case UNZ_BADZIPFILE: return "bad zip file";
    default: return std::to_string(rc);
  }
}

// Files named by the hostile names, wherever they could have landed.
std::vector<std::wstring> StrayFiles(const std::wstring& scratch_root) {
  std::vector<std::wstring> found;
  for (const std::wstring& dir : {std::wstring(L"C:"), std::wstring(L"Z:"), scratch_root}) {
    for (const auto& [name, folder] : ListTreeShallow(dir)) {
      if (name.find(L"evil") != std::wstring::npos || name == L"local.dll") found.push_back(dir + L"\\" + name);
    }
  }
  return found;
}

class Hostile : public ::testing::TestWithParam<HostileArchive> {};

TEST_P(Hostile, StaysInsideAndTellsTheTruth) {
  const HostileArchive& c = GetParam();
  const std::wstring case_dir = MakeScratchFolder(L"hostile." + Widen(c.id));
  const std::wstring scratch_root = case_dir.substr(0, case_dir.rfind(L'\\'));
  const std::wstring start = CurrentDirectory();

  // The unpacking code, in this process.
  const std::wstring unpack = case_dir + L"\\unpack";
  ASSERT_TRUE(CreateDirectoryW(unpack.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((unpack + L"\\Plugins").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(unpack + L"\\archive.zip", c.bytes));
  ScopedFileHandle archive(OpenToRead(unpack + L"\\archive.zip"));
  const int rc = UnpackArchive(archive.Get(), (unpack + L"\\Plugins\\").c_str());
  SetCurrentDirectoryW(start.c_str());
  EXPECT_EQ(rc == kUnpackOk, c.installs_whole) << "unpacker result " << rc;

  // The setup built with it as its payload, run silently.
  const std::wstring run = case_dir + L"\\setup";
  ASSERT_TRUE(CreateDirectoryW(run.c_str(), nullptr));
  const std::wstring exe = g_setups + L"\\" + Widen(c.id) + L".exe";
  ASSERT_TRUE(Exists(exe)) << "no setup built for " << c.id;
  const long code = RunToEnd(exe, L"/silent /folder=" + run + L"\\Viewer", run);
  ASSERT_NE(code, -2) << "the setup did not start";
  EXPECT_NE(code, -1) << "the setup hung";
  EXPECT_EQ(code, c.installs_whole ? 0 : 1) << "exit code (a crash gives an exception code)";

  const std::string log = ReadBytes(run + L"\\Pixelmoor_Install.log").value_or("");
  size_t entries = 0;
  for (size_t at = log.find(std::string(48, '-')); at != std::string::npos; at = log.find(std::string(48, '-'), at + 48)) ++entries;
  const bool logged_7 = entries == 1 && log.find(FirstLine(kCantInstallText)) != std::string::npos;
  if (c.installs_whole) {
    EXPECT_TRUE(log.empty()) << "an archive that installed whole logged: " << log;
  } else {
    EXPECT_TRUE(logged_7) << "expected exactly kMsgCantInstall in the log, found: " << log;
  }

  // Nothing outside the two Plugins folders; both got the same files.
  std::vector<std::wstring> outside;
  for (const auto& [name, folder] : ListTree(case_dir)) {
    const bool allowed = name == L"unpack\\" || name == L"unpack\\archive.zip" ||
                         name.rfind(L"unpack\\Plugins\\", 0) == 0 || name == L"setup\\" ||
                         name == L"setup\\Viewer\\" || name == L"setup\\Pixelmoor_Install.log" ||
                         name.rfind(L"setup\\Viewer\\Plugins\\", 0) == 0;
    if (!allowed) outside.push_back(name);
  }
  for (const std::wstring& stray : StrayFiles(scratch_root)) outside.push_back(stray);
  for (const auto& name : outside) ADD_FAILURE() << "written outside the Plugins folder: " << Narrow(name);
  for (const std::wstring& stray : StrayFiles(scratch_root)) DeleteFileW(stray.c_str());
  const auto unpacked = ListTree(unpack + L"\\Plugins");
  EXPECT_EQ(unpacked, ListTree(run + L"\\Viewer\\Plugins")) << "the setup and the unpacker disagree";

  const bool check_ran = g_check_of.count(c.id) > 0;
  const bool check_passed = check_ran && g_check_of[c.id] == 0;
  EXPECT_TRUE(check_ran) << "the build-time check did not run on it";
  EXPECT_EQ(check_passed, c.installs_whole && !c.check_refuses_anyway)
      << "the build-time check " << (check_passed ? "passed" : "refused") << " it";

  const bool temp_left = !StagedArchives().empty();
  EXPECT_FALSE(temp_left) << "the temporary copy of the archive is left";

  size_t files = 0;
  for (const auto& [name, folder] : unpacked) files += folder ? 0 : 1;
  g_row_of[c.id] = "| " + c.what + " | " + (c.installs_whole ? "whole" : "not whole") + " | " +
                   ResultName(rc) + " | " + std::to_string(files) + " | " +
                   (log.empty() ? "nothing" : logged_7 ? "kMsgCantInstall" : "other: " + std::to_string(entries) + " entries") +
                   " | " + (outside.empty() ? "none" : std::to_string(outside.size()) + " paths") + " | " +
                   (temp_left ? "left" : "gone") + " | " + (code != -1 ? std::to_string(code) : "hung") + " | " +
                   (!check_ran ? "not run" : check_passed ? "passes" : "refuses") + " |";
}

INSTANTIATE_TEST_SUITE_P(Archives, Hostile, ::testing::ValuesIn(HostileArchives()),
                         [](const ::testing::TestParamInfo<HostileArchive>& info) { return info.param.id; });

int WriteArchives(const std::wstring& dir) {
  CreateDirectoryW(dir.c_str(), nullptr);
  std::string list;
  for (const HostileArchive& c : HostileArchives()) {
    if (!WriteBytes(dir + L"\\" + Widen(c.id) + L".zip", c.bytes)) return 1;
    list += c.id + "\n";
  }
  return WriteBytes(dir + L"\\cases.txt", list) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--write") return WriteArchives(WindowsPath(argv[2]));
  if (argc != 4) {
    fprintf(stderr, "usage: hostile_tests --write DIR | hostile_tests SETUPS_DIR CHECKS.txt TABLE.md\n");
    return 2;
  }
  g_setups = WindowsPath(argv[1]);
  const std::string checks = ReadBytes(WindowsPath(argv[2])).value_or("");
  for (size_t at = 0; at < checks.size();) {
    const size_t end = checks.find('\n', at) == std::string::npos ? checks.size() : checks.find('\n', at);
    const std::string line = checks.substr(at, end - at);
    const size_t blank = line.find(' ');
    if (blank != std::string::npos) g_check_of[line.substr(0, blank)] = atoi(line.c_str() + blank + 1);
    at = end + 1;
  }
  const int rc = RUN_ALL_TESTS();
  std::string table =
      "| archive | should install | unpacker | files kept | silent run logs | written outside | "
      "temporary copy | exit code | build-time check |\n"
      "| --- | --- | --- | ---: | --- | --- | --- | --- | --- |\n";
  for (const HostileArchive& c : HostileArchives()) {
    table += g_row_of.count(c.id) ? g_row_of[c.id] + "\n" : "| " + c.what + " | not run | | | | | | | |\n";
  }
  WriteBytes(WindowsPath(argv[3]), table);
  return rc;
}
