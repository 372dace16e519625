// Runs the built setup as an unattended deployment would: "/silent" with the
// folder options, the registry set or not, the viewer running or not. Checks
// the install log's exact bytes and the installed tree against the payload.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped.h"
#include "message_texts.h"
#include "report/exit_code.h"
#include "res/setup_identity.h"
#include "test_support.h"
#include "zip_builder.h"

namespace {

std::wstring g_setup;    // the setup program
std::wstring g_payload;  // the archive it carries
std::wstring g_viewer;   // the stand-in for the running viewer
std::wstring g_planted;  // a DLL that marks where it was loaded

const wchar_t kVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

const char kNoFolder[] = "No install folder!";
// Wine's Restart Manager names no program.
const char kHeldByUnknown[] = "\nHeld by a program the Restart Manager cannot name";

// Runs the setup in `cwd` and returns its exit code (-1 when it did not end).
long RunSetup(const std::wstring& args, const std::wstring& cwd) {
  return RunToEnd(g_setup, args, cwd);
}

// The install log as it must read: each entry "<date> - HH:MM:SS: <message>"
// and the separator, CR LF line ends, one byte per character.
void ExpectLog(const std::wstring& dir, const std::vector<std::string>& messages) {
  const auto log = ReadBytes(dir + L"\\Pixelmoor_Install.log");
  if (messages.empty()) {
    EXPECT_FALSE(log) << "unexpected log: " << log.value_or("");
    return;
  }
  ASSERT_TRUE(log) << "no install log in " << Narrow(dir);
  const std::string date = Narrow(TodayShortDate());
  size_t at = 0;
  for (const std::string& message : messages) {
    ASSERT_LE(at, log->size()) << "fewer entries than expected: " << *log;
    std::string crlf;
    for (char c : message) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string head = log->substr(at, date.size() + 3);
    EXPECT_EQ(head, date + " - ") << *log;
    const std::string time = log->substr(at + date.size() + 3, 8);
    EXPECT_TRUE(time.size() == 8 && isdigit(time[0]) && isdigit(time[1]) && time[2] == ':' &&
                isdigit(time[3]) && isdigit(time[4]) && time[5] == ':' && isdigit(time[6]) &&
                isdigit(time[7]))
        << "time '" << time << "'";
    at += date.size() + 11;
    const std::string body = ": " + crlf + "\r\n" + std::string(48, '-') + "\r\n";
    EXPECT_EQ(log->substr(at, body.size()), body) << *log;
    at += body.size();
  }
  EXPECT_EQ(at, log->size()) << "more in the log than expected: " << log->substr(at);
}

// The messages of the log at `path`, entry by entry, without date and time.
std::vector<std::string> LogMessages(const std::wstring& path) {
  std::vector<std::string> messages;
  const std::string log = ReadBytes(path).value_or("");
  const std::string separator = "\r\n" + std::string(48, '-') + "\r\n";
  for (size_t at = 0, end; (end = log.find(separator, at)) != std::string::npos;
       at = end + separator.size()) {
    const size_t time = log.find(" - ", at);
    std::string message = time < end ? log.substr(time + 13, end - time - 13) : log.substr(at, end - at);
    for (size_t crlf; (crlf = message.find("\r\n")) != std::string::npos;) message.erase(crlf, 1);
    messages.push_back(message);
  }
  return messages;
}

// What "/log=" records of a run of exit code `code` that worked on `folder`,
// around the run's own entries (one that ends in "*" given by how it begins).
void ExpectRecordedRun(const std::wstring& log, const std::wstring& folder, int code,
                       const std::vector<std::string>& between) {
  const auto messages = LogMessages(log);
  ASSERT_EQ(messages.size(), between.size() + 3) << ::testing::PrintToString(messages);
  const std::string start = std::string(SETUP_CAPTION) + " " + std::to_string(kVersionMajor) + "." +
                            std::to_string(kVersionMinor) + " started, ";
  EXPECT_EQ(messages[0].substr(0, start.size()), start) << messages[0];
  EXPECT_NE(messages[0].find("\nCommand line: "), std::string::npos) << messages[0];
  EXPECT_EQ(messages[1], "Folder: " + Narrow(folder));
  for (size_t i = 0; i < between.size(); ++i) {
    const std::string& want = between[i];
    const bool prefix = !want.empty() && want.back() == '*';
    EXPECT_EQ(prefix ? messages[2 + i].substr(0, want.size() - 1) : messages[2 + i],
              prefix ? want.substr(0, want.size() - 1) : want);
  }
  EXPECT_EQ(messages.back(), "Finished with exit code " + std::to_string(code) + ": " +
                                 Narrow(ExitCodeWords(code)));
}

std::map<std::wstring, std::string> Snapshot(const std::wstring& root);

// Where a run elevated or as SYSTEM keeps its installation record (Wine runs
// every program elevated): in the 32-bit Program Files folder.
std::wstring MachineRecordFolder() {
  auto folder = GetMachineString(kVersionKey, L"ProgramFilesDir (x86)");
  if (!folder) folder = GetMachineString(kVersionKey, L"ProgramFilesDir");
  return folder.value_or(L"C:\\Program Files") + L"\\Pixelmoor PlugIns";
}
std::wstring MachineRecord() { return MachineRecordFolder() + L"\\InstallRecord.txt"; }

// The record's lines, read from its UTF-16 text (byte-order mark dropped).
std::vector<std::string> RecordLines() {
  const std::string bytes = ReadBytes(MachineRecord()).value_or("");
  std::wstring text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2) {
    lines.push_back(Narrow(text.substr(at, end - at)));
  }
  return lines;
}
// The names of the files the record names, "/" between folders as in the archive.
std::set<std::string> RecordedNames() {
  std::set<std::string> names;
  for (std::string line : RecordLines()) {
    if (line.compare(0, 6, "File: ") != 0) continue;
    line = line.substr(line.find(' ', line.find(' ', line.find(' ', 6) + 1) + 1) + 1);
    for (char& c : line) c = c == '\\' ? '/' : c;
    names.insert(line);
  }
  return names;
}
// The payload's file names, with `extra` added.
std::set<std::string> PayloadFiles(const std::set<std::string>& extra = {}) {
  std::set<std::string> names = extra;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (!entry.folder) names.insert(name);
  }
  return names;
}

void ExpectInstalled(const std::wstring& plugins) { ExpectPayloadInstalled(plugins, g_payload); }

// No file or folder of the payload is in `plugins`.
void ExpectNoneInstalled(const std::wstring& plugins) {
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    EXPECT_FALSE(Exists(plugins + L"\\" + Widen(name))) << name << " was installed";
  }
}


// The payload's first file at the top of the Plugins folder, and its bytes.
std::pair<std::string, std::string> TopFile() {
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (!entry.folder && name.find('/') == std::string::npos && !entry.data.empty()) {
      return {name, entry.data};
    }
  }
  return {};
}

// The payload's first file inside a payload folder, and that folder's entry name.
std::pair<std::string, std::string> InnerFile() {
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    const size_t slash = name.rfind('/');
    if (!entry.folder && slash != std::string::npos) return {name, name.substr(0, slash + 1)};
  }
  return {};
}

class SilentSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteMachineKey(L"SOFTWARE\\Classes\\Pixelmoor");
    program_files_ = GetMachineString(kVersionKey, L"ProgramFilesDir").value_or(L"");
    ASSERT_FALSE(program_files_.empty());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = MakeScratchFolder(Widen(std::string("silent.") + info->name()));
    app_plugins_ = program_files_ + L"\\Pixelmoor\\Plugins";
    RemoveTree(app_plugins_);
    // Each case starts with no record: one of an earlier case's folder would be told as replaced.
    RemoveTree(MachineRecordFolder());
  }
  void TearDown() override {
    DeleteMachineKey(L"SOFTWARE\\Classes\\Pixelmoor");
    RemoveTree(program_files_ + L"\\Pixelmoor");
    RemoveTree(MachineRecordFolder());
    viewer_.Stop();
  }
  void RegisterViewer(const std::wstring& command) {
    ASSERT_TRUE(SetMachineString(kViewerCommandKey, nullptr, command));
  }
  // Runs the setup in the scratch folder and expects its exit code: 0 installed,
  // 1 failed, 2 the viewer is running, 3 no install folder.
  void Run(const std::wstring& args, long code = 0) {
    EXPECT_EQ(RunSetup(args, dir_), code) << Narrow(args);
  }
  // Only the log, if any, and the listed folders are in the scratch folder.
  void ExpectNothingElse(std::vector<std::wstring> allowed = {}) {
    allowed.push_back(L"Pixelmoor_Install.log");
    for (const auto& [name, folder] : ListTree(dir_)) {
      bool ok = false;
      for (const auto& a : allowed) ok = ok || name.compare(0, a.size(), a) == 0;
      EXPECT_TRUE(ok) << "unexpected " << Narrow(name);
    }
  }
  void StartViewer() { ASSERT_TRUE(viewer_.Start(g_viewer, dir_)); }
  void StopViewer() { viewer_.Stop(); }
  std::wstring dir_, program_files_, app_plugins_;
  ViewerStandIn viewer_;
};

TEST_F(SilentSetup, FolderOptionInstallsIntoItsPluginsFolderCreatingParents) {
  Run(L"/silent /folder=" + dir_ + L"\\Apps\\Viewer");
  ExpectInstalled(dir_ + L"\\Apps\\Viewer\\Plugins");
  ExpectLog(dir_, {});
}

TEST_F(SilentSetup, TrailingBackslashGivesTheSameTarget) {
  Run(L"/silent /folder=" + dir_ + L"\\Viewer\\");
  ExpectInstalled(dir_ + L"\\Viewer\\Plugins");
  ExpectNothingElse({L"Viewer\\"});
}

TEST_F(SilentSetup, QuotedFolderWithBlankLosesItsQuotes) {
  Run(L"/silent /folder=\"" + dir_ + L"\\My Apps\\Viewer\\\"");
  ExpectInstalled(dir_ + L"\\My Apps\\Viewer\\Plugins");
  ExpectLog(dir_, {});
}

TEST_F(SilentSetup, FolderEndsAtTheNextOption) {
  Run(L"/silent /folder=" + dir_ + L"\\Viewer /other");
  ExpectInstalled(dir_ + L"\\Viewer\\Plugins");
  ExpectLog(dir_, {});
}

TEST_F(SilentSetup, ExistingPluginsAreOverwritten) {
  CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr);
  CreateDirectoryW((dir_ + L"\\V\\Plugins").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(dir_ + L"\\V\\Plugins\\Px_Png.dll", "an older plug-in"));
  Run(L"/silent /folder=" + dir_ + L"\\V");
  ExpectInstalled(dir_ + L"\\V\\Plugins");
}

TEST_F(SilentSetup, TemporaryCopyIsGoneAfterwards) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  EXPECT_EQ(StagedArchives().size(), 0u);
  Run(L"/silent /folder=Q:\\V", 1);
  EXPECT_EQ(StagedArchives().size(), 0u);
}

TEST_F(SilentSetup, OnlySilentWithoutRegisteredViewerLogsTwoEntries) {
  Run(L"/silent", 3);
  ExpectLog(dir_, {kNoViewerFolderText, kNoFolder});
  ExpectNothingElse();
}

TEST_F(SilentSetup, AppWithoutRegisteredViewerInstallsBelowProgramFiles) {
  Run(L"/silent /app");
  ExpectLog(dir_, {kNoViewerFolderText});
  ExpectInstalled(app_plugins_);
}

TEST_F(SilentSetup, AppWinsOverFolder) {
  Run(L"/silent /folder=" + dir_ + L"\\Viewer /app");
  ExpectInstalled(app_plugins_);
  EXPECT_FALSE(Exists(dir_ + L"\\Viewer"));
  ExpectLog(dir_, {});
}

TEST_F(SilentSetup, RegisteredViewerFolderIsUsed) {
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\p_moor32.exe\" \"%1\"");
  Run(L"/silent");
  ExpectInstalled(dir_ + L"\\Reg\\Plugins");
  ExpectLog(dir_, {});
}

TEST_F(SilentSetup, RegisteredExecutableInCapitalsIsAccepted) {
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\P_MOOR32.EXE\" \"%1\"");
  Run(L"/silent");
  ExpectInstalled(dir_ + L"\\Reg\\Plugins");
}

TEST_F(SilentSetup, RegisteredOtherExecutableGivesNoFolder) {
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\other.exe\" \"%1\"");
  Run(L"/silent", 3);
  ExpectLog(dir_, {kNoViewerFolderText, kNoFolder});
  ExpectNothingElse();
}

// A command as Windows writes one without quotes, and one stored expandable.
TEST_F(SilentSetup, UnquotedOrExpandableRegisteredCommandGivesItsFolder) {
  RegisterViewer(dir_ + L"\\Reg\\p_moor32.exe \"%1\"");
  Run(L"/silent");
  ExpectInstalled(dir_ + L"\\Reg\\Plugins");
  // A system variable, which every run may expand.
  ASSERT_TRUE(SetMachineString(kViewerCommandKey, nullptr, L"\"%ProgramFiles%\\Pixelmoor\\p_moor32.exe\" \"%1\"",
                               REG_EXPAND_SZ));
  Run(L"/silent");
  ExpectInstalled(app_plugins_);
  ExpectLog(dir_, {});
}

TEST_F(SilentSetup, EmptyFolderValueIgnoresTheRegistry) {
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\p_moor32.exe\" \"%1\"");
  Run(L"/silent /folder=", 3);
  ExpectLog(dir_, {kNoFolder});
  Run(L"/silent /folder=/other", 3);
  ExpectLog(dir_, {kNoFolder, kNoFolder});
  ExpectNothingElse();
}

TEST_F(SilentSetup, LeadingBlankIsKeptSoTheFolderHasNoDrive) {
  Run(L"/silent \"/folder= " + dir_ + L"\\Viewer\"", 1);
  ExpectLog(dir_, {kCantInstallText});
  ExpectNothingElse();
}

TEST_F(SilentSetup, UncFolderIsNotCreatedAndFails) {
  Run(L"/silent /folder=\\\\nohost\\share\\viewer", 1);
  ExpectLog(dir_, {kCantInstallText});
  ExpectNothingElse();
}

TEST_F(SilentSetup, RelativeFolderUsesAnExistingPluginsFolderBelowTheCurrentDirectory) {
  Run(L"/silent /folder=rel\\viewer", 1);
  ExpectLog(dir_, {kCantInstallText});
  ExpectNothingElse();

  DeleteFileW((dir_ + L"\\Pixelmoor_Install.log").c_str());
  CreateDirectoryW((dir_ + L"\\rel").c_str(), nullptr);
  CreateDirectoryW((dir_ + L"\\rel\\viewer").c_str(), nullptr);
  CreateDirectoryW((dir_ + L"\\rel\\viewer\\Plugins").c_str(), nullptr);
  Run(L"/silent /folder=rel\\viewer");
  ExpectLog(dir_, {});
  ExpectInstalled(dir_ + L"\\rel\\viewer\\Plugins");
}

TEST_F(SilentSetup, TwoRunsOnAMissingDriveAddTwoEntries) {
  ASSERT_FALSE(IsFolder(L"Q:\\")) << "this test needs no drive Q:";
  Run(L"/silent /folder=Q:\\Viewer", 1);
  Run(L"/silent /folder=Q:\\Viewer", 1);
  ExpectLog(dir_, {kCantInstallText, kCantInstallText});
  ExpectNothingElse();
}

TEST_F(SilentSetup, FolderTooLongForThePluginsPathFailsWithoutTouchingTheDisk) {
  // 251 characters: with "\Plugins\" it would pass the 259 a path may have.
  std::wstring folder = dir_ + L"\\";
  folder += std::wstring(251 - folder.size(), L'v');
  Run(L"/silent /folder=" + folder, 1);
  ExpectLog(dir_, {kCantInstallText});
  ExpectNothingElse();
}

TEST_F(SilentSetup, FailureAfterUnpackingBeganIsLoggedWhereTheRunStarted) {
  CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr);
  CreateDirectoryW((dir_ + L"\\V\\Plugins").c_str(), nullptr);
  const std::wstring kept = dir_ + L"\\V\\Plugins\\Px_Png.dll";
  ASSERT_TRUE(WriteBytes(kept, "read-only"));
  ASSERT_TRUE(SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY));
  Run(L"/silent /folder=" + dir_ + L"\\V", 1);
  // With /log=, exit code 1 says which file and why.
  Run(L"/silent /folder=" + dir_ + L"\\V /log=" + dir_ + L"\\run.log", 1);
  SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
  ExpectLog(dir_, {kCantInstallText});
  ExpectRecordedRun(dir_ + L"\\run.log", dir_ + L"\\V", 1,
                    {"Not installed: Px_Png.dll\nWindows error 5: *", kCantInstallText});
  EXPECT_FALSE(Exists(dir_ + L"\\V\\Plugins\\Pixelmoor_Install.log"));
  EXPECT_TRUE(ReadBytes(kept) == std::string("read-only")) << "the read-only file was replaced";
  EXPECT_TRUE(Exists(dir_ + L"\\V\\Plugins\\Px_Tiff.dll")) << "the rest is still unpacked";
}

TEST_F(SilentSetup, RunningViewerWithAKnownFolderLogsOnlyThatAndInstallsNothing) {
  StartViewer();
  Run(L"/silent /folder=" + dir_ + L"\\Viewer", 2);
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\p_moor32.exe\" \"%1\"");
  Run(L"/silent", 2);
  Run(L"/silent /app", 2);
  ExpectLog(dir_, {kViewerRunningText, kViewerRunningText, kViewerRunningText});
  EXPECT_FALSE(Exists(app_plugins_));
  ExpectNothingElse();
}

TEST_F(SilentSetup, RunningViewerWithNoFolderLogsOnlyNoInstallFolder) {
  StartViewer();
  Run(L"/silent /folder=", 3);
  ExpectLog(dir_, {kNoFolder});
}

TEST_F(SilentSetup, ViewerClosedAgainAllowsTheInstallation) {
  StartViewer();
  StopViewer();
  Run(L"/silent /folder=" + dir_ + L"\\Viewer");
  ExpectInstalled(dir_ + L"\\Viewer\\Plugins");
}

TEST_F(SilentSetup, FolderEntryBlockedByAFileFails) {
  std::string folder_entry;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (entry.folder) folder_entry = name.substr(0, name.size() - 1);
  }
  ASSERT_FALSE(folder_entry.empty()) << "the payload has no folder entry";
  CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr);
  CreateDirectoryW((dir_ + L"\\V\\Plugins").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(dir_ + L"\\V\\Plugins\\" + Widen(folder_entry), "in the way"));
  Run(L"/silent /folder=" + dir_ + L"\\V", 1);
  ExpectLog(dir_, {kCantInstallText});
}

// The chosen folder's owner decides what its "Plugins" is: a link there, to
// anywhere, is refused before anything is written.
TEST_F(SilentSetup, PluginsFolderThatIsALinkIsRefusedWritingNothing) {
  const std::wstring outside = dir_ + L"\\outside";
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(PlantUnixLink(dir_ + L"\\V\\Plugins", outside));
  Run(L"/silent /folder=" + dir_ + L"\\V", 1);
  ExpectLog(dir_, {kCantInstallText});
  EXPECT_EQ(ListTree(outside).size(), 0u) << "written through the link";
  EXPECT_TRUE(RemoveUnixLink(dir_ + L"\\V\\Plugins"));
}

TEST_F(SilentSetup, FolderInTheSystemsOwnFormInstallsWhole) {
  Run(L"/silent /folder=\\\\?\\" + dir_ + L"\\V");
  ExpectLog(dir_, {});
  ExpectInstalled(dir_ + L"\\V\\Plugins");
}

// The log belongs where the run started, also once another process has moved
// that folder away and put a link at its name while the run waited (which
// Windows' sharing would refuse and Wine's does not). Wine then cannot tell
// where a file made in the moved folder lies, so the entry is lost there;
// it must never go where the link leads.
TEST_F(SilentSetup, LogStaysInTheStartDirectoryWhenItsNameIsTakenOver) {
  std::string folder_entry;  // blocked by a file, so that the run fails and logs
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (entry.folder) folder_entry = name.substr(0, name.size() - 1);
  }
  ASSERT_FALSE(folder_entry.empty()) << "the payload has no folder entry";
  const std::wstring start = dir_ + L"\\start", moved = dir_ + L"\\moved";
  const std::wstring elsewhere = dir_ + L"\\elsewhere";
  ASSERT_TRUE(CreateDirectoryW(start.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  InstallLockHold other = HoldInstallLock(dir_ + L"\\V");
  ASSERT_TRUE(other.Held());
  ASSERT_TRUE(WriteBytes(dir_ + L"\\V\\Plugins\\" + Widen(folder_entry), "in the way"));
  ScopedKernelHandle run(StartProcess(g_setup, L"/silent /folder=" + dir_ + L"\\V", start));
  ASSERT_TRUE(run);
  EXPECT_EQ(WaitForSingleObject(run.Get(), 3000), static_cast<DWORD>(WAIT_TIMEOUT)) << "it did not wait";
  ASSERT_TRUE(SwapForUnixLink(start, moved, elsewhere));
  EXPECT_TRUE(other.Release());
  EXPECT_EQ(WaitForSingleObject(run.Get(), 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(run.Get(), &code);
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(Brief(elsewhere + L"\\Pixelmoor_Install.log"), "(no file)") << "logged through the link";
  printf("the moved start directory's log: %s\n", Brief(moved + L"\\Pixelmoor_Install.log").c_str());
  EXPECT_TRUE(RemoveUnixLink(start));
}

// Setups started together take turns: each waits for the one installing.
TEST_F(SilentSetup, SetupsStartedTogetherEachInstallWhole) {
  const std::wstring args = L"/silent /folder=" + dir_ + L"\\V";
  HANDLE runs[3];
  for (HANDLE& run : runs) ASSERT_NE(run = StartProcess(g_setup, args, dir_), nullptr);
  EXPECT_EQ(WaitForMultipleObjects(3, runs, TRUE, 120000), WAIT_OBJECT_0);
  for (HANDLE run : runs) {
    DWORD code = 99;
    GetExitCodeProcess(run, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(run);
  }
  ExpectLog(dir_, {});
  ExpectInstalled(dir_ + L"\\V\\Plugins");
}

TEST_F(SilentSetup, WaitsWhileAnotherSetupInstalls) {
  InstallLockHold other = HoldInstallLock(dir_ + L"\\V");
  ASSERT_TRUE(other.Held());
  HANDLE run = StartProcess(g_setup, L"/silent /folder=" + dir_ + L"\\V", dir_);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(WaitForSingleObject(run, 3000), static_cast<DWORD>(WAIT_TIMEOUT)) << "it did not wait";
  ExpectNoneInstalled(dir_ + L"\\V\\Plugins");
  EXPECT_TRUE(other.Release());
  EXPECT_EQ(WaitForSingleObject(run, 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(run, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(run);
  ExpectInstalled(dir_ + L"\\V\\Plugins");
}

// Another process, of the user or (as SYSTEM's temp folder is shared) of
// another user, can write to the temp folder and, for a viewer folder a
// standard user made, below the Plugins folder. The setup runs elevated:
// nothing there may stop it or lead its writes to the user's other files.
TEST_F(SilentSetup, NothingAtTheOnceFixedStagedNameStopsOrMisleadsTheSetup) {
  const std::wstring fixed = FixedStagedArchivePath();
  ASSERT_TRUE(CreateDirectoryW(fixed.c_str(), nullptr));
  Run(L"/silent /folder=" + dir_ + L"\\V");
  ExpectInstalled(dir_ + L"\\V\\Plugins");
  ASSERT_TRUE(RemoveDirectoryW(fixed.c_str()));

  {
    ScopedFileHandle held(CreateFileW(fixed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(held);
    Run(L"/silent /folder=" + dir_ + L"\\W");
    ExpectInstalled(dir_ + L"\\W\\Plugins");
  }

  const std::wstring victim = dir_ + L"\\the user's file.txt";
  ASSERT_TRUE(WriteBytes(victim, "the user's own words"));
  ASSERT_TRUE(PlantUnixLink(fixed, victim));
  Run(L"/silent /folder=" + dir_ + L"\\X");
  EXPECT_EQ(Brief(victim), "the user's own words") << "written through the link";
  ExpectInstalled(dir_ + L"\\X\\Plugins");
  EXPECT_TRUE(RemoveUnixLink(fixed));
}

// Deployment tools retry 1618 later. Its own ctest case, run with the tests'
// short-wait setup (the shipped wait, two minutes, is checked in
// SetupLockWait). It leaves the registry alone, so that it can run beside the
// other suites.
TEST(LockTimeout, LockNeverFreedEndsWith1618AfterTheWholeWait) {
  const std::wstring dir = MakeScratchFolder(L"silent.LockNeverFreed");
  InstallLockHold other = HoldInstallLock(dir + L"\\V");
  ASSERT_TRUE(other.Held());
  const ULONGLONG start = GetTickCount64();
  // Uninstalling waits for the same lock, at the same time.
  ScopedKernelHandle uninstall(StartProcess(g_setup, L"/silent /uninstall /folder=" + dir + L"\\V", dir));
  ASSERT_TRUE(uninstall);
  const ULONGLONG wait = PIXELMOOR_TEST_INSTALL_WAIT_MS;
  EXPECT_EQ(RunToEnd(g_setup, L"/silent /folder=" + dir + L"\\V", dir, nullptr, wait + 60000), 1618);
  const ULONGLONG waited = GetTickCount64() - start;
  EXPECT_GE(waited, wait - 1000) << "it gave up early";
  EXPECT_LT(waited, wait + 30000) << "it waited too long";
  EXPECT_EQ(WaitForSingleObject(uninstall.Get(), 30000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(uninstall.Get(), &code);
  EXPECT_EQ(code, 1618u) << "uninstalling";
  ExpectLog(dir, {kAnotherSetupRunningText, kAnotherSetupRunningText});
  ExpectNoneInstalled(dir + L"\\V\\Plugins");
}

// Setups into other folders take turns at the one record: its lock, held
// for good, ends the run as Plugins' lock does, before anything changed.
TEST(LockTimeout, RecordLockNeverFreedEndsWith1618ChangingNothing) {
  const std::wstring dir = MakeScratchFolder(L"silent.RecordLockNeverFreed");
  const std::wstring record = MachineRecordFolder();
  const size_t last = record.rfind(L'\\');
  InstallLockHold other(record.substr(0, last), record.c_str() + last);
  ASSERT_TRUE(other.Held());
  const auto before = ReadBytes(MachineRecord());  // another suite's, if any
  EXPECT_EQ(RunToEnd(g_setup, L"/silent /folder=" + dir + L"\\V", dir, nullptr, PIXELMOOR_TEST_INSTALL_WAIT_MS + 60000),
            1618);
  ExpectLog(dir, {kAnotherSetupRunningText});
  ExpectNoneInstalled(dir + L"\\V\\Plugins");
  EXPECT_EQ(ReadBytes(MachineRecord()), before);
}

// ---- /uninstall ----

using Uninstall = SilentSetup;

TEST_F(Uninstall, RemovesEveryFileAndFolderOfThePayloadAndKeepsPlugins) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\V");
  ExpectLog(dir_, {});
  EXPECT_TRUE(IsFolder(dir_ + L"\\V\\Plugins"));
  for (const auto& [name, folder] : ListTree(dir_ + L"\\V\\Plugins")) ADD_FAILURE() << "left: " << Narrow(name);
}

TEST_F(Uninstall, ChangedAndForeignFilesStayAndTheChangedOnesAreLogged) {
  const auto [top, bytes] = TopFile();
  ASSERT_FALSE(top.empty()) << "the payload has no file at its top";
  std::string inner, inner_bytes;  // a file in a payload folder: its folder must stay
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (!entry.folder && name.find('/') != std::string::npos) inner = name, inner_bytes = entry.data;
  }
  ASSERT_FALSE(inner.empty()) << "the payload has no file in a folder";
  const std::wstring plugins = dir_ + L"\\V\\Plugins\\";
  std::wstring inner_path = Widen(inner);
  for (auto& c : inner_path) c = c == L'/' ? L'\\' : c;
  Run(L"/silent /folder=" + dir_ + L"\\V");
  ASSERT_TRUE(WriteBytes(plugins + Widen(top), bytes + "changed"));
  ASSERT_TRUE(WriteBytes(plugins + inner_path, inner_bytes + "changed"));
  ASSERT_TRUE(WriteBytes(plugins + L"Foreign.dll", "theirs"));
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\V");
  std::vector<std::string> logged;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (name == top || name == inner) logged.push_back(std::string(kKeptChangedText) + "\n" + name);
  }
  ExpectLog(dir_, logged);
  std::set<std::string> left;
  for (const auto& [name, folder] : ListTree(plugins)) {
    if (!folder) left.insert(Narrow(name));
  }
  EXPECT_EQ(left, (std::set<std::string>{Narrow(inner_path), "Foreign.dll", top}));
}

// A plug-in held open by another program: removing the rest would break
// the release that is in use.
TEST_F(Uninstall, FileInUseStopsItBeforeAnythingIsRemoved) {
  const auto [top, bytes] = TopFile();
  ASSERT_FALSE(top.empty()) << "the payload has no file at its top";
  const std::wstring plugins = dir_ + L"\\V\\Plugins\\";
  Run(L"/silent /folder=" + dir_ + L"\\V");
  {
    ScopedFileHandle in_use(CreateFileW((plugins + Widen(top)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(in_use);
    Run(L"/silent /uninstall /folder=" + dir_ + L"\\V", 2);
  }
  ExpectLog(dir_, {"In use: " + top + kHeldByUnknown, kFilesInUseText});
  ExpectInstalled(plugins);
}

// A console whose current directory is a payload folder keeps that folder
// from being deleted: the files go, and the emptied folder stays and is told.
TEST_F(Uninstall, FolderThatIsAProgramsCurrentDirectoryStaysAndIsLogged) {
  const auto [inner, inner_folder] = InnerFile();
  ASSERT_FALSE(inner.empty()) << "the payload has no file in a folder";
  const std::string folder_name = inner_folder.substr(0, inner_folder.size() - 1);
  std::wstring folder = dir_ + L"\\V\\Plugins\\" + Widen(folder_name);
  for (auto& c : folder) c = c == L'/' ? L'\\' : c;
  Run(L"/silent /folder=" + dir_ + L"\\V");
  {
    // This test program's own current directory, as a console's would be.
    struct InFolder {
      wchar_t before[MAX_PATH] = {};
      ~InFolder() { EXPECT_TRUE(SetCurrentDirectoryW(before)); }
    } in_folder;
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, in_folder.before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    Run(L"/silent /uninstall /folder=" + dir_ + L"\\V");
  }
  ExpectLog(dir_, {"Kept in use: " + folder_name + "\nThe folder is empty, but another program has it open."});
  EXPECT_TRUE(Exists(folder)) << "the folder in use went";
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    EXPECT_TRUE(entry.folder || !Exists(dir_ + L"\\V\\Plugins\\" + Widen(name))) << name << " stayed";
  }
}

TEST_F(Uninstall, RunningViewerRemovesNothing) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  StartViewer();
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\V", 2);
  ExpectLog(dir_, {kViewerRunningText});
  StopViewer();
  ExpectInstalled(dir_ + L"\\V\\Plugins");
}

TEST_F(Uninstall, NothingInstalledEndsWith0AndMakesNothing) {
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\V");
  ExpectLog(dir_, {});
  EXPECT_FALSE(Exists(dir_ + L"\\V"));
}

// A payload folder that another process turned into a link: what it leads
// to is not the setup's to remove.
TEST_F(Uninstall, PayloadFolderThatIsALinkKeepsWhatItLeadsTo) {
  std::string folder_entry;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (entry.folder) folder_entry = name.substr(0, name.size() - 1);
  }
  ASSERT_FALSE(folder_entry.empty()) << "the payload has no folder entry";
  const std::wstring plugins = dir_ + L"\\V\\Plugins\\", outside = dir_ + L"\\outside";
  Run(L"/silent /folder=" + dir_ + L"\\V");
  ASSERT_TRUE(MoveFileW((plugins + Widen(folder_entry)).c_str(), outside.c_str()));
  ASSERT_TRUE(PlantUnixLink(plugins + Widen(folder_entry), outside));
  const auto before = ListTree(outside);
  ASSERT_FALSE(before.empty());
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\V", 1);
  ExpectLog(dir_, {kCantUninstallText});
  EXPECT_EQ(ListTree(outside), before) << "removed through the link";
  EXPECT_TRUE(RemoveUnixLink(plugins + Widen(folder_entry)));
}

// ---- /verify ----

// What a folder holds, to tell that a run wrote nothing: every name, size and
// last-write time.
std::map<std::wstring, std::string> Snapshot(const std::wstring& root) {
  std::map<std::wstring, std::string> out;
  for (const auto& [name, folder] : ListTree(root)) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW((root + L"\\" + name).c_str(), GetFileExInfoStandard, &data);
    out[name] = std::to_string(data.nFileSizeLow) + " " + std::to_string(data.ftLastWriteTime.dwLowDateTime);
  }
  return out;
}

// Release A: the shipped payload and three files that release B (the
// built setup) no longer carries, one of them in a folder of its own.
class Update : public SilentSetup {
 protected:
  // Made once for the cases: copying the setup is what takes the time.
  static void SetUpTestSuite() {
    std::vector<ZipEntry> entries;
    for (const auto& [name, entry] : ReadArchive(g_payload)) {
      entries.push_back(entry.folder ? FolderEntry(name) : FileEntry(name, entry.data));
    }
    entries.push_back(FileEntry("Dropped.dll", "a plug-in of release A only"));
    entries.push_back(FileEntry("Gone/Old.dll", "another, in a folder of A only"));
    entries.push_back(FileEntry("Changed.ini", "as A installed it"));
    release_a_ = MakeScratchFolder(L"silent.Update") + L"\\A.exe";
    if (!MakeSetupCarrying(g_setup, BuildZip(entries), release_a_)) release_a_.clear();
  }
  void SetUp() override {
    SilentSetup::SetUp();
    ASSERT_FALSE(release_a_.empty()) << "release A could not be made";
    plugins_ = dir_ + L"\\V\\Plugins\\";
    ASSERT_EQ(RunToEnd(release_a_, L"/silent /folder=" + dir_ + L"\\V", dir_), 0);
    ASSERT_EQ(RecordedNames(), PayloadFiles({"Dropped.dll", "Gone/Old.dll", "Changed.ini"}));
    ASSERT_TRUE(WriteBytes(plugins_ + L"Changed.ini", "as the user changed it"));
  }
  static std::wstring release_a_;
  std::wstring plugins_;
};
std::wstring Update::release_a_;

TEST_F(Update, WhatTheNewReleaseDropsGoesAndAChangedFileStays) {
  Run(L"/silent /folder=" + dir_ + L"\\V /log=" + dir_ + L"\\run.log");
  EXPECT_FALSE(Exists(plugins_ + L"Dropped.dll"));
  EXPECT_FALSE(Exists(plugins_ + L"Gone"));
  EXPECT_EQ(ReadBytes(plugins_ + L"Changed.ini").value_or(""), "as the user changed it");
  ExpectRecordedRun(dir_ + L"\\run.log", dir_ + L"\\V", 0, {std::string(kKeptChangedText) + "\nChanged.ini"});
  EXPECT_EQ(RecordedNames(), PayloadFiles());
  const auto lines = RecordLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Pixelmoor PlugIns installation record, format 1");
  EXPECT_EQ(lines[1], "Package: " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor));
  EXPECT_EQ(lines[2], "Plugins: " + Narrow(plugins_.substr(0, plugins_.size() - 1)));
}

TEST_F(Update, ADroppedFileInUseStopsItBeforeAnythingChanges) {
  const auto before = Snapshot(plugins_);
  const auto record = ReadBytes(MachineRecord());
  {
    ScopedFileHandle holder(CreateFileW((plugins_ + L"Dropped.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    Run(L"/silent /folder=" + dir_ + L"\\V", 2);
  }
  EXPECT_EQ(Snapshot(plugins_), before);
  EXPECT_EQ(ReadBytes(MachineRecord()), record);
}

// One that cannot be removed ends the run with 1, and stays recorded for the next run.
TEST_F(Update, ADroppedFileThatCannotBeRemovedStaysRecorded) {
  ASSERT_TRUE(SetFileAttributesW((plugins_ + L"Dropped.dll").c_str(), FILE_ATTRIBUTE_READONLY));
  Run(L"/silent /folder=" + dir_ + L"\\V", 1);
  ASSERT_TRUE(SetFileAttributesW((plugins_ + L"Dropped.dll").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(Exists(plugins_ + L"Dropped.dll"));
  EXPECT_FALSE(Exists(plugins_ + L"Gone"));
  EXPECT_EQ(RecordedNames(), PayloadFiles({"Dropped.dll"}));
}

// Any release's /uninstall goes by the record of the release installed.
TEST_F(Update, UninstallByAnotherReleaseRemovesWhatTheRecordNames) {
  ASSERT_TRUE(WriteBytes(plugins_ + L"Changed.ini", "as A installed it"));  // unchanged after all
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\V");
  ExpectLog(dir_, {});
  for (const auto& [name, folder] : ListTree(plugins_)) ADD_FAILURE() << "left: " << Narrow(name);
  EXPECT_FALSE(Exists(MachineRecord()));
}

// A plug-in that cannot be replaced keeps its old bytes: the record names
// only what is in place.
TEST_F(SilentSetup, PartialRunRecordsOnlyWhatIsInPlace) {
  const auto [top, bytes] = TopFile();
  ASSERT_FALSE(top.empty()) << "the payload has no file at its top";
  const std::wstring plugins = dir_ + L"\\V\\Plugins\\";
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr) && CreateDirectoryW(plugins.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(plugins + Widen(top), "older"));
  ASSERT_TRUE(SetFileAttributesW((plugins + Widen(top)).c_str(), FILE_ATTRIBUTE_READONLY));
  Run(L"/silent /folder=" + dir_ + L"\\V", 1);
  ASSERT_TRUE(SetFileAttributesW((plugins + Widen(top)).c_str(), FILE_ATTRIBUTE_NORMAL));
  std::set<std::string> expected = PayloadFiles();
  expected.erase(top);
  EXPECT_EQ(RecordedNames(), expected);
}

// ---- the Apps & features entry ----

const wchar_t kEntryKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PixelmoorPlugIns32";

// The entry's key in the registry's 32-bit view, where 64-bit Windows lists 32-bit programs.
bool OpenEntry(ScopedRegKey* key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, key->Receive()) ==
         ERROR_SUCCESS;
}
std::optional<std::wstring> EntryText(const wchar_t* name) {
  ScopedRegKey key;
  wchar_t text[2048] = {};
  DWORD bytes = sizeof text - sizeof(wchar_t), type = 0;
  if (!OpenEntry(&key) || RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) !=
                  ERROR_SUCCESS || type != REG_SZ) {
    return std::nullopt;
  }
  return std::wstring(text);
}
std::optional<DWORD> EntryNumber(const wchar_t* name) {
  ScopedRegKey key;
  DWORD value = 0, bytes = sizeof value, type = 0;
  if (!OpenEntry(&key) || RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
                  ERROR_SUCCESS || type != REG_DWORD) {
    return std::nullopt;
  }
  return value;
}
// The uninstaller copies in the record's folder.
std::vector<std::wstring> Copies() {
  std::vector<std::wstring> copies;
  for (const auto& [name, folder] : ListTreeShallow(MachineRecordFolder())) {
    if (name.rfind(L"PixelmoorPlugInsUninstall-", 0) == 0) copies.push_back(name);
  }
  return copies;
}
// What Windows renames and deletes at the next restart (PendingFileRenameOperations).
std::wstring PendingDeletions() {
  ScopedRegKey session;
  std::vector<wchar_t> pending(65536, 0);
  DWORD size = static_cast<DWORD>((pending.size() - 2) * sizeof(wchar_t));
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                    session.Receive()) != ERROR_SUCCESS ||
      RegQueryValueExW(session.Get(), L"PendingFileRenameOperations", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(pending.data()), &size) != ERROR_SUCCESS) {
    return L"";
  }
  return std::wstring(pending.data(), size / sizeof(wchar_t));
}
std::wstring SystemFolder() {
  wchar_t path[MAX_PATH];
  return std::wstring(path, GetSystemDirectoryW(path, MAX_PATH));
}

class AppsEntry : public SilentSetup {
 protected:
  void SetUp() override {
    SilentSetup::SetUp();
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, KEY_WOW64_32KEY, 0);  // an earlier suite's, if any
    plugins_ = dir_ + L"\\V\\Plugins";
  }
  void TearDown() override {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, KEY_WOW64_32KEY, 0);
    SilentSetup::TearDown();
  }
  // Runs the entry's QuietUninstallString as Apps & features does: the line as written, in System32.
  long RunQuietUninstall() {
    const auto quiet = EntryText(L"QuietUninstallString");
    EXPECT_TRUE(quiet) << "no QuietUninstallString";
    return quiet ? RunToEnd(L"", *quiet, SystemFolder()) : -2;
  }
  void ExpectAllGone() {
    for (const auto& [name, folder] : ListTree(plugins_)) ADD_FAILURE() << "left: " << Narrow(name);
    EXPECT_FALSE(Exists(MachineRecord()));
    ScopedRegKey key;
    EXPECT_FALSE(OpenEntry(&key)) << "the entry is still there";
  }
  std::wstring plugins_;
};

TEST_F(AppsEntry, NamesThePackageAndACopyOfTheSetupItself) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  const auto copies = Copies();
  ASSERT_EQ(copies.size(), 1u) << ::testing::PrintToString(Narrow(MachineRecordFolder()));
  const std::wstring version = kPackageVersion;
  EXPECT_EQ(copies[0].rfind(L"PixelmoorPlugInsUninstall-" + version + L"-", 0), 0u) << Narrow(copies[0]);
  const std::wstring copy = MachineRecordFolder() + L"\\" + copies[0];
  const auto setup_bytes = ReadBytes(g_setup);
  ASSERT_TRUE(setup_bytes);
  EXPECT_TRUE(ReadBytes(copy) == setup_bytes) << "the copy is not the setup's bytes";
  const std::wstring tail = L" /uninstall /folder=\"" + dir_ + L"\\V\" /log=\"" + MachineRecordFolder() +
                            L"\\Uninstall.log\"";
  const std::map<std::wstring, std::wstring> texts = {
      {L"DisplayName", L"Pixelmoor PlugIns (32-bit)"},
      {L"DisplayVersion", version},
      {L"Publisher", L"Pixelmoor"},
      {L"InstallLocation", plugins_},
      {L"DisplayIcon", copy},
      {L"UninstallString", L"\"" + copy + L"\"" + tail},
      {L"QuietUninstallString", L"\"" + copy + L"\" /silent" + tail},
  };
  for (const auto& [name, text] : texts) EXPECT_EQ(Narrow(EntryText(name.c_str()).value_or(L"(none)")), Narrow(text)) << Narrow(name);
  uint64_t bytes = setup_bytes->size();
  for (const auto& [name, entry] : ReadArchive(g_payload)) bytes += entry.data.size();
  EXPECT_EQ(EntryNumber(L"EstimatedSize").value_or(0), (bytes + 1023) / 1024);
  EXPECT_EQ(EntryNumber(L"NoModify").value_or(0), 1u);
  EXPECT_EQ(EntryNumber(L"NoRepair").value_or(0), 1u);
}

TEST_F(AppsEntry, QuietUninstallStringAsWrittenRemovesPlugInsRecordAndEntry) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  const auto copies = Copies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(RunQuietUninstall(), 0);
  ExpectAllGone();
  const auto logged = LogMessages(MachineRecordFolder() + L"\\Uninstall.log");
  ASSERT_FALSE(logged.empty()) << "no uninstall log in the record's folder";
  EXPECT_EQ(logged.back(), "Finished with exit code 0: " + Narrow(ExitCodeWords(0)));
  // The copy that ran cannot delete itself: it goes at the next restart.
  EXPECT_NE(PendingDeletions().find(copies[0]), std::wstring::npos) << "not scheduled: " << Narrow(copies[0]);
}

// A viewer folder deleted by hand holds nothing to remove: the record and
// the entry of it go, so that Apps & features no longer lists the package.
TEST_F(AppsEntry, ViewerFolderDeletedByHandTakesTheEntryWithIt) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  RemoveTree(dir_ + L"\\V");
  EXPECT_EQ(RunQuietUninstall(), 0);
  EXPECT_FALSE(Exists(MachineRecord()));
  ScopedRegKey key;
  EXPECT_FALSE(OpenEntry(&key)) << "the entry is still there";
}

// An entry whose record is lost (deleted, or by a release before the entry)
// goes with an uninstall of the folder it names, and only of that one.
TEST_F(AppsEntry, EntryOfALostRecordGoesWithTheUninstallOfItsFolderOnly) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  ASSERT_TRUE(DeleteFileW(MachineRecord().c_str()));
  Run(L"/silent /uninstall /folder=" + dir_ + L"\\W");  // no such folder
  ScopedRegKey key;
  EXPECT_TRUE(OpenEntry(&key)) << "another folder's uninstall took the entry";
  EXPECT_EQ(RunQuietUninstall(), 0);
  ExpectAllGone();
}

// The restart deletes the copy that uninstalled; a reinstall before it made
// one of its own, which stays and uninstalls.
TEST_F(AppsEntry, ReinstallBeforeTheRestartKeepsItsOwnCopy) {
  Run(L"/silent /folder=" + dir_ + L"\\V");
  const auto first = Copies();
  ASSERT_EQ(RunQuietUninstall(), 0);
  Run(L"/silent /folder=" + dir_ + L"\\V");
  const auto second = Copies();
  ASSERT_EQ(second.size(), 1u) << "the earlier copy is swept: " << ::testing::PrintToString(first.size());
  EXPECT_NE(second, first);
  EXPECT_EQ(RunToEnd(SystemFolder() + L"\\wineboot.exe", L"-r", SystemFolder()), 0);
  EXPECT_EQ(PendingDeletions().find(first.at(0)), std::wstring::npos) << "wineboot -r left it pending";
  EXPECT_EQ(Copies(), second);
  EXPECT_EQ(RunQuietUninstall(), 0);
  ExpectAllGone();
}

class Verify : public SilentSetup {
 protected:
  // Runs /verify with `args` and expects `code`; it must write nothing, here
  // or in the temp folder.
  void ExpectVerify(const std::wstring& args, long code) {
    const auto before = Snapshot(dir_);
    EXPECT_EQ(RunSetup(L"/verify " + args, dir_), code) << Narrow(args);
    EXPECT_EQ(Snapshot(dir_), before) << "/verify wrote something";
    EXPECT_EQ(StagedArchives().size(), 0u) << "/verify staged the archive";
  }
};

// Each row starts from a fresh installation and changes one thing.
TEST_F(Verify, AnswersWhetherEveryFileIsInPlace) {
  const auto [top, bytes] = TopFile();
  ASSERT_FALSE(top.empty()) << "the payload has no file at its top";
  std::string folder_entry;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (entry.folder) folder_entry = name;
  }
  const std::wstring copy = dir_ + L"\\copy.dll";
  ASSERT_TRUE(WriteBytes(copy, bytes));
  ASSERT_FALSE(folder_entry.empty()) << "the payload has no folder entry";
  struct Case {
    const char* what;
    std::function<bool(const std::wstring& plugins)> change;
    long code;
    std::string link = "";  // the name below Plugins where the change planted a link
  };
  // A payload folder moved out whole, and a link in its place.
  const std::string top_folder = folder_entry.substr(0, folder_entry.find('/'));
  const std::wstring moved = dir_ + L"\\moved";
  const Case cases[] = {
      {"as installed", [](const std::wstring&) { return true; }, 0},
      {"one byte changed",
       [&](const std::wstring& p) {
         std::string changed = bytes;
         changed[changed.size() / 2] ^= 0x20;
         return WriteBytes(p + Widen(top), changed);
       },
       6},
      {"one file gone", [&](const std::wstring& p) { return DeleteFileW((p + Widen(top)).c_str()) != 0; }, 6},
      {"one byte more", [&](const std::wstring& p) { return WriteBytes(p + Widen(top), bytes + "x"); }, 6},
      {"a folder gone",
       [&](const std::wstring& p) {
         RemoveTree(p + Widen(folder_entry));
         return !Exists(p + Widen(folder_entry));
       },
       6},
      {"a file that is a link to a whole copy",
       [&](const std::wstring& p) {
         return DeleteFileW((p + Widen(top)).c_str()) && PlantUnixLink(p + Widen(top), copy);
       },
       6, top},
      {"a payload folder that is a link to a whole copy",
       [&](const std::wstring& p) {
         return MoveFileW((p + Widen(top_folder)).c_str(), moved.c_str()) &&
                PlantUnixLink(p + Widen(top_folder), moved);
       },
       6, top_folder},
      {"a foreign file beside them", [](const std::wstring& p) { return WriteBytes(p + L"Foreign.dll", "theirs"); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring viewer = dir_ + L"\\V", plugins = viewer + L"\\Plugins\\";
    RemoveTree(viewer);
    Run(L"/silent /folder=" + viewer);
    ASSERT_TRUE(c.change(plugins));
    ExpectVerify(L"/folder=" + viewer, c.code);
    // Deleting it the Windows way would delete the copy it leads to.
    if (!c.link.empty()) {
      ASSERT_TRUE(RemoveUnixLink(plugins + Widen(c.link)));
    }
    RemoveTree(moved);
  }
  EXPECT_EQ(Brief(copy), Brief(dir_ + L"\\V\\Plugins\\" + Widen(top))) << "the copy was changed";
  ExpectLog(dir_, {});
}

TEST_F(Verify, FolderNeverInstalledIntoAnswers6) {
  ExpectVerify(L"/folder=" + dir_ + L"\\Nothing", 6);
  EXPECT_FALSE(Exists(dir_ + L"\\Nothing"));
  CreateDirectoryW((dir_ + L"\\Empty").c_str(), nullptr);
  CreateDirectoryW((dir_ + L"\\Empty\\Plugins").c_str(), nullptr);
  ExpectVerify(L"/folder=" + dir_ + L"\\Empty", 6);
}

// Unlike installing, which logs kMsgNoViewerFolder and "No install folder!".
TEST_F(Verify, NoFolderAnswers3AndLogsNothing) {
  ExpectVerify(L"", 3);
  ExpectVerify(L"/silent", 3);
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\p_moor32.exe\" \"%1\"");
  ExpectVerify(L"/folder=", 3);
  ExpectLog(dir_, {});
}

TEST_F(Verify, FindsTheFolderAsInstallingDoes) {
  RegisterViewer(L"\"" + dir_ + L"\\Reg\\p_moor32.exe\" \"%1\"");
  Run(L"/silent");
  ExpectVerify(L"", 0);
  ExpectVerify(L"/silent", 0);
  ExpectVerify(L"/app", 6);
  Run(L"/silent /app");
  ExpectVerify(L"/app", 0);
  ExpectVerify(L"/folder=" + dir_ + L"\\Reg /app", 0);
  // A relative folder is taken from where the run starts.
  ExpectVerify(L"/folder=Reg", 0);
  // The viewer running changes nothing: verifying only reads.
  StartViewer();
  ExpectVerify(L"/folder=" + dir_ + L"\\Reg\\", 0);
}

// A process that keeps overwriting every staged archive it can find with its
// own, whole or in place.
TEST_F(SilentSetup, RaceForTheStagedArchiveNeverChangesWhatIsInstalled) {
  const std::string theirs = BuildZip({FileEntry("Intruder.dll", "not from the payload")});
  std::atomic<bool> stop{false};
  std::atomic<int> seen{0}, opened{0};
  std::thread racer([&] {
    while (!stop) {
      for (const std::wstring& staged : StagedArchives()) {
        ++seen;
        ScopedFileHandle h(CreateFileW(staged.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
        if (h) {
          DWORD put = 0;
          WriteFile(h.Get(), theirs.data(), static_cast<DWORD>(theirs.size()), &put, nullptr);
          SetEndOfFile(h.Get());
          ++opened;
        }
      }
    }
  });
  int installed = 0;
  for (int run = 0; run < 10; ++run) {
    const std::wstring plugins = dir_ + L"\\V" + std::to_wstring(run) + L"\\Plugins";
    const long code = RunSetup(L"/silent /folder=" + dir_ + L"\\V" + std::to_wstring(run), dir_);
    EXPECT_EQ(code, 0) << "run " << run;
    EXPECT_FALSE(Exists(plugins + L"\\Intruder.dll")) << "run " << run << " installed their file";
    if (code == 0) {
      ++installed;
      ExpectInstalled(plugins);
    }
  }
  stop = true;
  racer.join();
  printf("racer: saw a staged archive %d times, opened one %d times; %d of 10 runs installed\n",
         seen.load(), opened.load(), installed);
  EXPECT_EQ(installed, 10) << "a race that no run survives shows nothing";
  EXPECT_GT(seen.load(), 0) << "the racer never found a staged archive to race for";
}

TEST_F(SilentSetup, LinksInsideThePluginsFolderAreNotWrittenThrough) {
  std::string folder_entry, top_file;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (entry.folder) folder_entry = name.substr(0, name.size() - 1);
    if (!entry.folder && name.find('/') == std::string::npos) top_file = name;
  }
  ASSERT_FALSE(folder_entry.empty() || top_file.empty()) << "the payload lacks a folder or a file";
  const std::wstring plugins = dir_ + L"\\V\\Plugins\\";
  const std::wstring outside = dir_ + L"\\outside", victim = dir_ + L"\\victim.dll";
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(victim, "the user's own module"));
  ASSERT_TRUE(PlantUnixLink(plugins + Widen(folder_entry), outside));
  ASSERT_TRUE(PlantUnixLink(plugins + Widen(top_file), victim));

  Run(L"/silent /folder=" + dir_ + L"\\V", 1);
  ExpectLog(dir_, {kCantInstallText});
  EXPECT_TRUE(ListTree(outside).empty()) << "written through the folder link";
  EXPECT_EQ(Brief(victim), "the user's own module") << "written through the file link";
  EXPECT_EQ(Brief(plugins + Widen(top_file)), "the user's own module") << "the file link was replaced";
  size_t installed = 0;
  for (const auto& [name, entry] : ReadArchive(g_payload)) {
    if (entry.folder || name == top_file || name.find(folder_entry + "/") == 0) continue;
    std::wstring path = Widen(name);
    for (auto& c : path) c = c == L'/' ? L'\\' : c;
    EXPECT_TRUE(ReadBytes(plugins + path) == entry.data) << name << " is not installed";
    ++installed;
  }
  EXPECT_GT(installed, 0u) << "the rest is still installed";
  EXPECT_TRUE(RemoveUnixLink(plugins + Widen(folder_entry)));
  EXPECT_TRUE(RemoveUnixLink(plugins + Widen(top_file)));
}

// The log goes where the run started, which may be the user's to write to.
TEST_F(SilentSetup, LogThatIsALinkOrHardLinkIsNotWrittenThrough) {
  ASSERT_FALSE(IsFolder(L"Q:\\")) << "this test needs no drive Q:";
  const std::wstring log = dir_ + L"\\Pixelmoor_Install.log", victim = dir_ + L"\\victim.ini";
  ASSERT_TRUE(WriteBytes(victim, "[the user's]"));
  ASSERT_TRUE(PlantUnixLink(log, victim));
  Run(L"/silent /folder=Q:\\V", 1);
  EXPECT_EQ(Brief(victim), "[the user's]") << "logged through the link";
  ASSERT_TRUE(RemoveUnixLink(log));

  ASSERT_TRUE(CreateHardLinkW(log.c_str(), victim.c_str(), nullptr)) << GetLastError();
  Run(L"/silent /folder=Q:\\V", 1);
  EXPECT_EQ(Brief(victim), "[the user's]") << "logged through the hard link";
  ASSERT_TRUE(DeleteFileW(log.c_str()));  // that name only: the victim stays

  Run(L"/silent /folder=Q:\\V", 1);
  ExpectLog(dir_, {kCantInstallText});
}

// ---- runs a fleet deploys ----

// The log that "/log=" names, with its folders made, and not the one where
// the run started (which a deployment tool deletes).
TEST_F(SilentSetup, LogOptionOnARefusalGoesWhereItSays) {
  const std::wstring root = L"%ProgramData%\\PxTest." + Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
  wchar_t expanded[MAX_PATH];
  ASSERT_NE(ExpandEnvironmentStringsW(root.c_str(), expanded, MAX_PATH), 0u);
  RemoveTree(expanded);
  StartViewer();
  Run(L"/silent /folder=" + dir_ + L"\\V /log=" + root + L"\\Deeper\\setup.log", 2);
  ExpectRecordedRun(std::wstring(expanded) + L"\\Deeper\\setup.log", dir_ + L"\\V", 2, {kViewerRunningText});
  ExpectLog(dir_, {});
  RemoveTree(expanded);
}

TEST_F(SilentSetup, LogOptionRecordsASuccessfulRun) {
  Run(L"/silent /folder=" + dir_ + L"\\V /log=" + dir_ + L"\\run.log");
  ExpectRecordedRun(dir_ + L"\\run.log", dir_ + L"\\V", 0, {});
  ExpectInstalled(dir_ + L"\\V\\Plugins");
  ExpectNothingElse({L"V", L"run.log"});
}

// A viewer in another session has no window here: its process, running
// from the folder, refuses the run; one running from elsewhere does not.
TEST_F(SilentSetup, ViewerProcessWithoutAWindowInTheFolderRefuses) {
  CreateDirectoryW((dir_ + L"\\V").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(g_viewer.c_str(), (dir_ + L"\\V\\p_moor32.exe").c_str(), FALSE));
  ASSERT_TRUE(viewer_.Start(dir_ + L"\\V\\p_moor32.exe", dir_, false));
  Run(L"/silent /folder=" + dir_ + L"\\V", 2);
  Run(L"/silent /folder=" + dir_ + L"\\Other");
  StopViewer();
  ExpectNoneInstalled(dir_ + L"\\V\\Plugins");
  ExpectInstalled(dir_ + L"\\Other\\Plugins");
  const auto messages = LogMessages(dir_ + L"\\Pixelmoor_Install.log");
  ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(messages);
  EXPECT_EQ(messages[0], kViewerRunningText);
  EXPECT_EQ(messages[1].find("Pixelmoor runs from this folder as process "), 0u) << messages[1];
  EXPECT_NE(messages[1].find(" in session "), std::string::npos) << messages[1];
}

// An older release, while another program holds one of its files or folders.
// A holder that leaves renaming and deleting to others (antivirus, the
// indexer, a reader) keeps nothing from being replaced; one that refuses
// either would keep its old release among the new ones: not one file changes.
struct HeldCase {
  const char* what;
  const char* held;  // "top" (the top plug-in), "inner" (a payload folder) or "plugins"
  DWORD access, sharing;
  long code;
};
const HeldCase kHeldCases[] = {
    {"a plug-in, for its attributes only", "top", FILE_READ_ATTRIBUTES, 0, 0},
    {"a plug-in, by a reader that shares everything", "top", GENERIC_READ,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0},
    {"a plug-in, by a reader that denies delete", "top", GENERIC_READ, FILE_SHARE_READ, 2},
    // Writing is asked for to see a loaded image, so denying it counts too.
    {"a plug-in, by a reader that shares deleting but not writing", "top", GENERIC_READ,
     FILE_SHARE_READ | FILE_SHARE_DELETE, 2},
    {"a payload folder, without sharing", "inner", FILE_LIST_DIRECTORY, 0, 2},
    {"Plugins, without sharing", "plugins", FILE_LIST_DIRECTORY, 0, 2},
};

TEST_F(SilentSetup, OlderReleaseWhileAnotherProgramHoldsSomeOfIt) {
  const auto [top, bytes] = TopFile();
  const auto [inner, inner_folder] = InnerFile();
  ASSERT_FALSE(top.empty() || inner.empty()) << "the payload needs a file at its top and one in a folder";
  for (const HeldCase& held : kHeldCases) {
    SCOPED_TRACE(held.what);
    const std::wstring dir = MakeScratchFolder(L"silent.Held." + std::to_wstring(&held - kHeldCases));
    const std::wstring plugins = dir + L"\\V\\Plugins\\";
    ASSERT_EQ(RunSetup(L"/silent /folder=" + dir + L"\\V", dir), 0);
    for (const auto& [name, entry] : ReadArchive(g_payload)) {
      ASSERT_TRUE(entry.folder || WriteBytes(plugins + Widen(name), "older " + name));
    }
    const std::string held_name = std::string(held.held) == "top" ? top : std::string(held.held) == "inner" ? inner_folder : "";
    std::wstring held_path = plugins + Widen(held_name);
    for (auto& c : held_path) c = c == L'/' ? L'\\' : c;
    const auto before = Snapshot(plugins);
    {
      ScopedFileHandle holder(CreateFileW(held_path.c_str(), held.access, held.sharing, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      ASSERT_TRUE(holder) << Narrow(held_path);
      EXPECT_EQ(RunSetup(L"/silent /folder=" + dir + L"\\V /log=" + dir + L"\\run.log", dir), held.code);
    }
    if (held.code == 0) {
      ExpectInstalled(plugins);
      ExpectRecordedRun(dir + L"\\run.log", dir + L"\\V", 0, {});
      continue;
    }
    EXPECT_EQ(Snapshot(plugins), before);
    // The Plugins folder is named by its full path, the others as the payload names them.
    std::string named = held_name;
    if (named.empty()) {
      named = Narrow(plugins.substr(0, plugins.size() - 1));
    }
    ExpectRecordedRun(dir + L"\\run.log", dir + L"\\V", 2, {"In use: " + named + kHeldByUnknown, kFilesInUseText});
  }
}

// A copy of the setup as `folder`\\`name`.exe, for which Wine loads `dll` as
// `order` says ("native,builtin", or "" for not at all). Wine takes a
// child's overrides from its own start, not from the child's environment, so
// they are set for that program's name; DropDllOrder removes them.
std::wstring SetupWithDllOrder(const std::wstring& folder, const std::wstring& name,
                               const std::wstring& dll, const std::wstring& order) {
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + name + L".exe\\DllOverrides";
  const DWORD bytes = static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), dll.c_str(), REG_SZ, order.c_str(), bytes), 0);
  const std::wstring setup = folder + L"\\" + name + L".exe";
  EXPECT_TRUE(CopyFileW(g_setup.c_str(), setup.c_str(), FALSE));
  return setup;
}
void DropDllOrder(const std::wstring& name) {
  (void)RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + name + L".exe").c_str());
}

// A DLL named like a system DLL lies beside the setup, as in a downloads
// folder, and Wine may load a native DLL of that name. The setup takes every
// DLL but the core ones from the system folder after restricting the search,
// so the planted one never runs. ADVAPI32 was once bound when the setup
// loaded; bcrypt was never used before. Every installation loads both.
TEST_F(SilentSetup, DllPlantedBesideTheSetupNeverLoads) {
  for (const std::wstring dll : {L"advapi32", L"bcrypt"}) {
    SCOPED_TRACE(Narrow(dll));
    const std::wstring beside = MakeScratchFolder(L"planted." + dll);
    const std::wstring setup = SetupWithDllOrder(beside, L"PlantedNext", dll, L"native,builtin");
    EXPECT_TRUE(CopyFileW(g_planted.c_str(), (beside + L"\\" + dll + L".dll").c_str(), FALSE));
    EXPECT_EQ(RunToEnd(setup, L"/silent /folder=" + dir_ + L"\\" + dll, dir_), 0);
    DropDllOrder(L"PlantedNext");
    EXPECT_FALSE(Exists(beside + L"\\" + dll + L".dll.mark")) << "the planted DLL was loaded";
    ExpectInstalled(dir_ + L"\\" + dll + L"\\Plugins");
  }
}

// A system DLL that cannot be loaded ends the run, which the log names.
TEST_F(SilentSetup, SystemDllThatCannotBeLoadedEndsTheRunWith1) {
  const std::wstring setup = SetupWithDllOrder(dir_, L"WithoutBcrypt", L"bcrypt", L"");
  EXPECT_EQ(RunToEnd(setup, L"/silent /folder=" + dir_ + L"\\V /log=" + dir_ + L"\\run.log", dir_), 1);
  DropDllOrder(L"WithoutBcrypt");
  ExpectRecordedRun(dir_ + L"\\run.log", dir_ + L"\\V", 1,
                    {"Can't load the system library bcrypt.dll\nWindows error *"});
  ExpectNoneInstalled(dir_ + L"\\V\\Plugins");
}

// A deployment tool runs the setup where no one sees its windows (a window
// station of its own here): without /silent it would wait for ever.
TEST_F(SilentSetup, WithoutSilentWhereNoOneCanAnswerItEndsWith5) {
  HWINSTA station = CreateWindowStationW(L"PxNoOneSees", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_TRUE(station != nullptr);
  for (const wchar_t* args : {L"/folder=V", L"/?", L"/uninstall /folder=V"}) {
    EXPECT_EQ(RunToEnd(g_setup, args, dir_, nullptr, 20000, L"PxNoOneSees\\Default"), 5) << Narrow(args);
  }
  CloseWindowStation(station);
  ExpectLog(dir_, {kNeedsSilentText, kNeedsSilentText, kNeedsSilentText});
  EXPECT_FALSE(Exists(dir_ + L"\\V"));
}

TEST(TestRig, RunsUnderATimeZoneOtherThanUtc) {
  TIME_ZONE_INFORMATION tz;
  GetTimeZoneInformation(&tz);
  EXPECT_NE(tz.Bias, 0) << "set TZ so that local and UTC times differ";
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 5) {
    fprintf(stderr, "usage: silent_setup_tests SETUP.exe PAYLOAD.zip FAKE_VIEWER.exe PLANTED.dll\n");
    return 2;
  }
  g_setup = WindowsPath(argv[1]);
  g_payload = WindowsPath(argv[2]);
  g_viewer = WindowsPath(argv[3]);
  g_planted = WindowsPath(argv[4]);
  return RUN_ALL_TESTS();
}
