// Real silent runs while the world around them fails: a full disk, a read-only
// Plugins folder, an unwritable temporary folder, a current directory where
// the log cannot be written, a payload resource that is missing or empty, and
// a setup killed halfway.
// Each must end with exit code 1, report the failure as "Can't install all
// files!" where a log can be written, keep every file whole (what was there
// before, or what was installed before the failure), and touch nothing else.
//   fault_tests SETUP.exe PAYLOAD.zip FULL_DRIVE READONLY_DRIVE NO_PAYLOAD.exe EMPTY_PAYLOAD.exe
//               BIG_PAYLOAD.exe
// The drives are letters mapped by faults.sh to a small and to a read-only
// tmpfs, or "-" when they could not be made (those cases are skipped).
#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "message_texts.h"
#include "test_support.h"

namespace {

std::wstring g_setup, g_payload, g_full, g_readonly, g_no_payload, g_empty_payload, g_big_payload;


class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteMachineKey(kViewerClassKey);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = MakeScratchFolder(Widen(std::string("faults.") + info->name()));
  }
  // Runs `exe` silently in `cwd` with the environment `env` (null: this one's).
  DWORD Run(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
            const wchar_t* env = nullptr) {
    const long code = RunToEnd(exe, args, cwd, env);
    EXPECT_NE(code, -2) << "the setup did not start";
    EXPECT_NE(code, -1) << "the setup hung";
    return static_cast<DWORD>(code);
  }
  // The log in `dir` holds exactly one entry, kMsgCantInstall.
  void ExpectOneMessage7(const std::wstring& dir) {
    const std::string log = ReadBytes(dir + L"\\Pixelmoor_Install.log").value_or("");
    EXPECT_NE(log.find(FirstLine(kCantInstallText)), std::string::npos) << "log: " << log;
    EXPECT_EQ(log.find(std::string(48, '-')), log.rfind(std::string(48, '-'))) << "one entry only: " << log;
  }
  // A setup that has nothing to install reports it and writes nothing.
  void ExpectFailsInstallingNothing(const std::wstring& setup) {
    const std::wstring run = dir_ + L"\\run";
    CreateDirectoryW(run.c_str(), nullptr);
    EXPECT_EQ(Run(setup, L"/silent /folder=" + run + L"\\Viewer", run), 1u);
    ExpectOneMessage7(run);
    EXPECT_EQ(ListTree(run + L"\\Viewer\\Plugins").size(), 0u);
  }
  std::wstring dir_;
};

TEST_F(Faults, FullDiskFailsKeepingEveryFileWhole) {
  if (g_full == L"-") GTEST_SKIP() << "no small tmpfs drive could be mounted";
  const std::wstring viewer = g_full + L":\\Viewer";
  const std::wstring plugins = viewer + L"\\Plugins\\";
  const auto payload = ReadArchive(g_payload);
  // An older installation: a short stand-in for each of the payload's top-level files.
  RemoveTree(viewer);
  ASSERT_TRUE(CreateDirectoryW(viewer.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
  std::map<std::string, std::string> old;
  for (const auto& [name, entry] : payload) {
    if (entry.folder || name.find('/') != std::string::npos) continue;
    old[name] = "older " + name;
    ASSERT_TRUE(WriteBytes(plugins + Widen(name), old[name]));
  }
  EXPECT_EQ(Run(g_setup, L"/silent /folder=" + viewer, dir_), 1u);
  ExpectOneMessage7(dir_);
  // Every file there is whole: its archive's bytes, or the older file's.
  size_t installed = 0, kept = 0, broken = 0;
  for (const auto& [name, folder] : ListTree(plugins)) {
    if (folder) continue;
    std::string key = Narrow(name);
    for (auto& c : key) c = c == '\\' ? '/' : c;
    ASSERT_TRUE(payload.count(key)) << "not from the payload: " << key;
    const auto bytes = ReadBytes(plugins + name);
    if (bytes && *bytes == payload.at(key).data) {
      ++installed;
    } else if (bytes && old.count(key) && *bytes == old[key]) {
      ++kept;
    } else {
      ++broken;
      ADD_FAILURE() << "neither the old file nor the new one: " << key;
    }
  }
  for (const auto& [name, data] : old) EXPECT_TRUE(Exists(plugins + Widen(name))) << "lost " << name;
  EXPECT_GT(installed, 0u) << "nothing before the failure was kept";
  EXPECT_GT(kept, 0u) << "the disk filled only after every older file was replaced";
  std::cout << "full disk: " << installed << " files installed, " << kept << " older files kept, "
            << broken << " broken\n";
  for (const auto& [name, folder] : ListTree(g_full + L":")) {
    EXPECT_EQ(name.rfind(L"Viewer\\", 0), 0u) << "outside the Plugins folder: " << Narrow(name);
  }
}

TEST_F(Faults, ReadOnlyPluginsFolderFails) {
  if (g_readonly == L"-") GTEST_SKIP() << "no read-only tmpfs drive could be mounted";
  EXPECT_EQ(Run(g_setup, L"/silent /folder=" + g_readonly + L":\\Viewer", dir_), 1u);
  ExpectOneMessage7(dir_);
}

TEST_F(Faults, UnwritableTemporaryFolderFailsWithoutInstalling) {
  // TEMP and TMP name a folder that does not exist (and could not be made).
  std::wstring env;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* p = strings; *p != 0; p += wcslen(p) + 1) {
    if (_wcsnicmp(p, L"TEMP=", 5) != 0 && _wcsnicmp(p, L"TMP=", 4) != 0) env += std::wstring(p) + L'\0';
  }
  FreeEnvironmentStringsW(strings);
  const std::wstring missing = dir_ + L"\\no\\such\\temp";
  env += L"TEMP=" + missing + L'\0' + L"TMP=" + missing + L'\0' + L'\0';
  EXPECT_EQ(Run(g_setup, L"/silent /folder=" + dir_ + L"\\Viewer", dir_, env.c_str()), 1u);
  ExpectOneMessage7(dir_);
  EXPECT_FALSE(Exists(dir_ + L"\\Viewer\\Plugins\\Px_Png.dll")) << "installed without a staged copy";
  EXPECT_FALSE(Exists(missing));
}

// Without a log the exit code is the only report left, and it still tells.
TEST_F(Faults, UnwritableLogDirectoryStillEndsWithTheFailure) {
  if (g_readonly == L"-") GTEST_SKIP() << "no read-only tmpfs drive could be mounted";
  // A failing run (no drive Q:) started where the log cannot be written.
  ASSERT_FALSE(IsFolder(L"Q:\\"));
  EXPECT_EQ(Run(g_setup, L"/silent /folder=Q:\\Viewer", g_readonly + L":\\"), 1u);
}

// The size of the temporary file a setup writes a plug-in to in `folder`, or 0.
uint64_t PendingFileSize(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  ScopedFindHandle find(FindFirstFileW((folder + L"~px*.tmp").c_str(), &found));
  if (!find) return 0;
  return (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

// A setup killed while it writes a large plug-in (a deployment tool's time
// limit, a shutdown): the file it was replacing stays whole, and the staged
// copy goes with the process.
TEST_F(Faults, KilledHalfwayKeepsTheOldFileAndTheNextSetupClearsWhatItLeft) {
  const std::wstring plugins = dir_ + L"\\Viewer\\Plugins\\";
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"\\Viewer").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(plugins + L"Big.dat", "the older plug-in"));
  ScopedKernelHandle setup(
      StartProcess(g_big_payload, L"/silent /folder=" + dir_ + L"\\Viewer", dir_));
  ASSERT_TRUE(setup);
  uint64_t written = 0;
  for (int i = 0; i < 60000 && written < (16u << 20); ++i) {
    Sleep(1);
    written = PendingFileSize(plugins);
  }
  TerminateProcess(setup.Get(), 99);
  EXPECT_EQ(WaitForSingleObject(setup.Get(), 10000), WAIT_OBJECT_0);
  EXPECT_GE(written, 16u << 20) << "killed before it was halfway";
  EXPECT_EQ(Brief(plugins + L"Big.dat"), "the older plug-in");
  bool staged = true;
  for (int i = 0; i < 50 && (staged = !StagedArchives().empty()); ++i) Sleep(100);
  EXPECT_FALSE(staged) << "the staged copy outlived the setup";
  std::cout << "killed after " << (written >> 20) << " MiB of the new file\n";

  std::vector<std::string> left;
  for (const auto& [name, folder] : ListTree(plugins)) {
    if (name.rfind(L"~px", 0) == 0) left.push_back(Narrow(name));
  }
  EXPECT_EQ(left, std::vector<std::string>{}) << "the killed setup's new file outlived it";

  // A setup killed between taking the deletion mark off and the rename (or an
  // older one) leaves its temporary file: the next setup into that folder
  // deletes it. A temporary file that a running setup holds, and other
  // names, stay.
  ASSERT_TRUE(WriteBytes(plugins + L"~px1f-2.tmp", "a killed setup's"));
  ScopedFileHandle running(CreateFileW((plugins + L"~px1-0.tmp").c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(running);
  ASSERT_TRUE(WriteBytes(plugins + L"~px-mine.tmp", "not a setup's"));
  EXPECT_EQ(Run(g_setup, L"/silent /folder=" + dir_ + L"\\Viewer", dir_), 0u);
  running.Reset();
  left.clear();
  for (const auto& [name, folder] : ListTree(plugins)) {
    if (name.rfind(L"~px", 0) == 0) left.push_back(Narrow(name));
  }
  EXPECT_EQ(left, (std::vector<std::string>{"~px-mine.tmp", "~px1-0.tmp"}));
  EXPECT_EQ(Brief(plugins + L"Big.dat"), "the older plug-in");
}

// Another process, which Windows' sharing would stop and Wine's does not,
// moves the Plugins folder away while a large plug-in is written and puts a
// link at its name: nothing lands where the link leads.
TEST_F(Faults, HeldFolderSwappedForALinkMidRunGetsNothingThrough) {
  const std::wstring viewer = dir_ + L"\\Viewer", plugins = viewer + L"\\Plugins\\";
  const std::wstring outside = dir_ + L"\\outside";
  ASSERT_TRUE(CreateDirectoryW(viewer.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(plugins + L"Big.dat", "the older plug-in"));
  ScopedKernelHandle setup(StartProcess(g_big_payload, L"/silent /folder=" + viewer, dir_));
  ASSERT_TRUE(setup);
  uint64_t written = 0;
  for (int i = 0; i < 60000 && written < (4u << 20); ++i) {
    Sleep(1);
    written = PendingFileSize(plugins);
  }
  ASSERT_GE(written, 4u << 20) << "the new file was not seen being written";
  ASSERT_TRUE(SwapForUnixLink(viewer + L"\\Plugins", viewer + L"\\Moved", outside));
  EXPECT_EQ(WaitForSingleObject(setup.Get(), 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(setup.Get(), &code);
  EXPECT_EQ(code, 1u) << "the plug-in could not be put in place";
  const auto through = ListTree(outside);
  for (const auto& [name, folder] : through) ADD_FAILURE() << "written through the link: " << Narrow(name);
  EXPECT_EQ(Brief(viewer + L"\\Moved\\Big.dat"), "the older plug-in");
  EXPECT_TRUE(RemoveUnixLink(viewer + L"\\Plugins"));
}

TEST_F(Faults, MissingPayloadFails) { ExpectFailsInstallingNothing(g_no_payload); }

TEST_F(Faults, EmptyPayloadFails) { ExpectFailsInstallingNothing(g_empty_payload); }

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 8) {
    fprintf(stderr,
            "usage: fault_tests SETUP.exe PAYLOAD.zip FULL_DRIVE READONLY_DRIVE NO_PAYLOAD.exe "
            "EMPTY_PAYLOAD.exe BIG_PAYLOAD.exe\n");
    return 2;
  }
  g_setup = WindowsPath(argv[1]);
  g_payload = WindowsPath(argv[2]);
  g_full = Widen(argv[3]);
  g_readonly = Widen(argv[4]);
  g_no_payload = WindowsPath(argv[5]);
  g_empty_payload = WindowsPath(argv[6]);
  g_big_payload = WindowsPath(argv[7]);
  return RUN_ALL_TESTS();
}
