// Folder discovery against the (Wine) registry, the folder chain, unpacking of
// archives written here, entry times, the log file, and the engine called in
// the process as a face calls it, on the real file system.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped.h"
#include "fs/call_watch.h"
#include "fs/folder_rights.h"
#include "fs/own_image.h"
#include "fs/target_folder.h"
#include "install/apps_entry.h"
#include "install/engine.h"
#include "install/install_record.h"
#include "install/finishing_files.h"
#include "install/setup_lock.h"
#include "install/unpack.h"
#include "install/verify.h"
#include "report/install_log.h"
#include "report/outcome.h"
#include "test_support.h"
#include "viewer/viewer_folder.h"
#include "zip_builder.h"

namespace {

const std::wstring kCommandKey = kOpenCommandKey;
const std::wstring kVersionKey = kCurrentVersionKey;

class RegistryDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteMachineKey(kViewerClassKey);
    saved_program_files_ = GetMachineString(kVersionKey, kProgramFilesValue);
  }
  void TearDown() override {
    DeleteMachineKey(kViewerClassKey);
    if (saved_program_files_) {
      SetMachineString(kVersionKey, kProgramFilesValue, *saved_program_files_);
    }
  }
  std::string Found(int* rc) {
    wchar_t folder[260] = L"stale";
    *rc = FindViewerFolder(folder);
    return Narrow(folder);
  }
  std::optional<std::wstring> saved_program_files_;
};

TEST_F(RegistryDiscovery, RegisteredOpenCommandGivesTheFolder) {
  ASSERT_TRUE(SetMachineString(kCommandKey, nullptr,
                               L"\"C:\\Tools\\Pixelmoor\\p_moor32.exe\" \"%1\""));
  int rc;
  EXPECT_EQ(Found(&rc), "C:\\Tools\\Pixelmoor\\");
  EXPECT_EQ(rc, 1);
}

TEST_F(RegistryDiscovery, MissingKeyOrEmptyValueGivesNothing) {
  int rc;
  EXPECT_EQ(Found(&rc), "");
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(SetMachineString(kCommandKey, nullptr, L""));
  EXPECT_EQ(Found(&rc), "");
  EXPECT_EQ(rc, 0);
}

// An installer that writes %ProgramFiles% into the command stores it expandable.
TEST_F(RegistryDiscovery, ExpandableStringIsExpandedFirst) {
  ASSERT_TRUE(SetMachineString(kCommandKey, nullptr, L"\"%ProgramFiles%\\PX\\p_moor32.exe\"",
                               REG_EXPAND_SZ));
  wchar_t expected[MAX_PATH];
  ASSERT_GT(ExpandEnvironmentStringsW(L"%ProgramFiles%\\PX\\", expected, MAX_PATH), 0u);
  ASSERT_EQ(wcschr(expected, L'%'), nullptr) << "no ProgramFiles to expand";
  int rc;
  EXPECT_EQ(Found(&rc), Narrow(expected));
  EXPECT_EQ(rc, 1);
  // Stored as a plain string, the same text stays as it is.
  ASSERT_TRUE(SetMachineString(kCommandKey, nullptr, L"\"%ProgramFiles%\\PX\\p_moor32.exe\""));
  EXPECT_EQ(Found(&rc), "%ProgramFiles%\\PX\\");
}

TEST_F(RegistryDiscovery, ValueThatFillsOrOverflowsTheBufferCountsAsNotFound) {
  // 259 characters and the terminator fit exactly.
  std::wstring fits = L"\"C:\\" + std::wstring(240, L'v') + L"\\p_moor32.exe";
  fits.resize(259, L' ');
  ASSERT_TRUE(SetMachineString(kCommandKey, nullptr, fits));
  int rc;
  Found(&rc);
  EXPECT_EQ(rc, 1);

  // 260 characters stored without a terminator: nothing to end the text.
  const std::wstring full = fits + L" ";
  ASSERT_TRUE(SetMachineBytes(kCommandKey, nullptr, full.data(), 520, REG_SZ));
  EXPECT_EQ(Found(&rc), "");
  EXPECT_EQ(rc, 0);

  ASSERT_TRUE(SetMachineString(kCommandKey, nullptr, fits + std::wstring(100, L' ')));
  EXPECT_EQ(Found(&rc), "");
  EXPECT_EQ(rc, 0);
}

TEST_F(RegistryDiscovery, DefaultFolderIsBelowProgramFiles) {
  ASSERT_TRUE(SetMachineString(kVersionKey, kProgramFilesValue, L"D:\\Programs\\"));
  wchar_t folder[260];
  EXPECT_EQ(GetDefaultViewerFolder(folder), 1);
  EXPECT_EQ(Narrow(folder), "D:\\Programs\\Pixelmoor");
}

TEST_F(RegistryDiscovery, DefaultFolderFallsBackWhenProgramFilesIsMissingOrTooLong) {
  wchar_t folder[260];
  ASSERT_TRUE(SetMachineString(kVersionKey, kProgramFilesValue, L"C:\\" + std::wstring(252, L'p')));
  EXPECT_EQ(GetDefaultViewerFolder(folder), 1);
  EXPECT_EQ(Narrow(folder), "C:\\Pixelmoor\\");

  DeleteMachineValue(kVersionKey, kProgramFilesValue);
  EXPECT_EQ(GetDefaultViewerFolder(folder), 1);
  EXPECT_EQ(Narrow(folder), "C:\\Pixelmoor\\");
}

class InScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = CurrentDirectory();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = MakeScratchFolder(Widen(std::string(info->test_suite_name()) + "." + info->name()));
  }
  void TearDown() override { SetCurrentDirectoryW(start_.c_str()); }
  std::wstring start_, dir_;
};

using FolderChain = InScratch;

std::string SidText(void* sid) {
  ScopedLocalMemory text;
  if (!ConvertSidToStringSidA(sid, reinterpret_cast<char**>(text.Receive()))) return "?";
  return static_cast<const char*>(text.Get());
}

TEST_F(FolderChain, CreatesMissingParentsAndAppendsTheBackslash) {
  wchar_t path[520];
  wcscpy(path, (dir_ + L"\\Apps\\Viewer\\Plugins").c_str());
  EXPECT_EQ(MakeFolderChain(path, 520), 1);
  EXPECT_EQ(Narrow(path), Narrow(dir_ + L"\\Apps\\Viewer\\Plugins\\"));
  EXPECT_TRUE(IsFolder(dir_ + L"\\Apps\\Viewer\\Plugins"));
  EXPECT_EQ(CurrentDirectory(), start_);
  // An existing folder: found by entering it, and the directory is put back.
  EXPECT_EQ(MakeFolderChain(path, 520), 1);
  EXPECT_EQ(CurrentDirectory(), start_);
  // The system's own form names the same folders: "\\?\" is no folder to make.
  wcscpy(path, (L"\\\\?\\" + dir_ + L"\\Long\\Form").c_str());
  EXPECT_EQ(MakeFolderChain(path, 520), 1);
  EXPECT_TRUE(IsFolder(dir_ + L"\\Long\\Form"));
}

// Whether an item opened without following its own link lies where its name
// says: the decision that refuses a Plugins folder, a folder or a file that
// leads elsewhere. Wine shows no reparse points, so the attribute's and the
// tag's part is shown here alone: only a name surrogate is a link.
TEST(HeldFolder, OnlyAPlainItemAtItsOwnPlaceIsUsed) {
  const wchar_t* expected = L"\\\\?\\C:\\Pixelmoor\\Plugins";
  constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY, kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    const char* what;
    DWORD attributes, tag;
    const wchar_t* actual;
    bool used;
  } cases[] = {
      {"a plain folder", kDir, 0, L"\\\\?\\C:\\Pixelmoor\\Plugins", true},
      {"named in other case", kDir, 0, L"\\\\?\\c:\\PIXELMOOR\\plugins", true},
      {"a junction or mount point", kDir | kReparse, IO_REPARSE_TAG_MOUNT_POINT, L"\\\\?\\C:\\Pixelmoor\\Plugins", false},
      {"a symbolic link", kReparse, IO_REPARSE_TAG_SYMLINK, L"\\\\?\\C:\\Pixelmoor\\Plugins", false},
      {"a WOF-compressed file", kReparse, 0x80000017, L"\\\\?\\C:\\Pixelmoor\\Plugins", true},
      {"a deduplicated file", kReparse, IO_REPARSE_TAG_DEDUP, L"\\\\?\\C:\\Pixelmoor\\Plugins", true},
      {"a cloud placeholder folder", kDir | kReparse, 0x9000001A, L"\\\\?\\C:\\Pixelmoor\\Plugins", true},
      {"a OneDrive file (a cloud tag with flags)", kReparse, 0x9000701A, L"\\\\?\\C:\\Pixelmoor\\Plugins", true},
      {"a reparse point of another kind", kReparse, 0x8000001B, L"\\\\?\\C:\\Pixelmoor\\Plugins", false},
      {"a link that leads elsewhere", kDir, 0, L"\\\\?\\C:\\Windows\\System32", false},
      {"one level further down", kDir, 0, L"\\\\?\\C:\\Pixelmoor\\Plugins\\Plugins", false},
      {"a name that only begins the same", kDir, 0, L"\\\\?\\C:\\Pixelmoor\\Plugins2", false},
  };
  for (const Case& c : cases) {
    // Where no filtered file is taken (folders, the lock, the log), no reparse point is.
    EXPECT_EQ(IsPlainItemAt(c.attributes, c.tag, true, expected, c.actual), c.used)
        << c.what << ": " << Narrow(c.actual);
    EXPECT_EQ(IsPlainItemAt(c.attributes, c.tag, false, expected, c.actual),
              c.used && !(c.attributes & kReparse))
        << c.what << ", no filtered files: " << Narrow(c.actual);
  }
}

// A file system that will not name an open file in its normalized form (an
// older SMB server, Samba, a NAS) is asked for the name as opened instead;
// any other error stays a refusal.
TEST(HeldFolder, OnlyTheErrorsOfServersThatCannotNormalizeAskForTheOpenedName) {
  for (const DWORD error : {ERROR_ACCESS_DENIED, ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION, ERROR_INVALID_PARAMETER}) {
    EXPECT_TRUE(NormalizedNameRefused(error)) << error;
  }
  for (const DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY, ERROR_PATH_NOT_FOUND, ERROR_BAD_NETPATH}) {
    EXPECT_FALSE(NormalizedNameRefused(error)) << error;
  }
}

// The engine as shipped waits two minutes; only the 1618 case's own setup
// links a shorter wait.
TEST(SetupLockWait, IsTwoMinutesAsShipped) { EXPECT_EQ(kInstallWaitMilliseconds, 120000u); }

// Who may open the lock file: every ACE of the descriptor a new one gets.
TEST(SetupLockSecurity, OnlySystemAdministratorsAndAnUnelevatedSetupsUserMayTakeIt) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  ScopedKernelHandle owned(token);
  alignas(8) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD got = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &got));
  const std::string me = SidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
  for (const bool elevated : {true, false}) {
    ScopedLocalMemory security;
    ASSERT_TRUE(MakeLockSecurity(elevated, &security));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.Get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder's entries would be inherited";
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(security.Get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr) << "a null DACL lets everyone in";
    std::vector<std::string> allowed;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
      EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << "ACE " << i;
      const std::string sid = SidText(&ace->SidStart);
      // The owner's own rights would otherwise include changing who may open it.
      const DWORD mask = sid == "S-1-3-4" ? READ_CONTROL : FILE_ALL_ACCESS;
      EXPECT_EQ(ace->Mask, mask) << "ACE " << i << ", " << sid;
      allowed.push_back(sid);
    }
    std::vector<std::string> expected = {"S-1-5-18", "S-1-5-32-544", "S-1-3-4"};
    if (!elevated) expected.push_back(me);
    EXPECT_EQ(allowed, expected) << (elevated ? "elevated" : "not elevated");
  }
}

// The descriptor a folder the setup makes where none was gets: every ACE,
// and that none lets another user change it.
TEST(MadeFolderSecurity, ProtectedAndOnlyTheUnelevatedUserBesidesAdministrators) {
  const char* user = "S-1-5-21-1-2-3-1001";
  for (const bool elevated : {true, false}) {
    wchar_t sddl[512];
    ASSERT_TRUE(MadeFolderSddl(elevated ? nullptr : Widen(user).c_str(), elevated, sddl, 512));
    ScopedLocalMemory security;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(security.Receive()), nullptr))
        << Narrow(sddl);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.Get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the parent's entries would be inherited";
    PSID owner = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(security.Get(), &owner, &defaulted));
    // Elevated: not the user, whose unelevated programs could change the DACL.
    EXPECT_EQ(owner != nullptr ? SidText(owner) : "(the creator)", elevated ? "S-1-5-32-544" : "(the creator)");
    ACL* dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(security.Get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr) << "a null DACL lets everyone in";
    std::vector<std::string> entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
      char line[128];
      snprintf(line, sizeof line, "%u %02x %06lx %s", ace->Header.AceType, ace->Header.AceFlags,
               static_cast<unsigned long>(ace->Mask), SidText(&ace->SidStart).c_str());
      entries.push_back(line);
    }
    // Allowed, inherited by folders and files (03), full or read and execute.
    std::vector<std::string> expected = {"0 03 1f01ff S-1-5-18", "0 03 1f01ff S-1-5-32-544",
                                         "0 03 1200a9 S-1-5-32-545"};
    if (!elevated) expected.push_back(std::string("0 03 1f01ff ") + user);
    EXPECT_EQ(entries, expected) << (elevated ? "elevated" : "not elevated");
    OpenTo open = {};
    PSID me = nullptr;
    ScopedLocalMemory my_sid;
    ASSERT_TRUE(ConvertStringSidToSidA(user, reinterpret_cast<PSID*>(my_sid.Receive())));
    me = my_sid.Get();
    EXPECT_FALSE(FindOpenToOthers(security.Get(), me, &open)) << SidText(open.account);
  }
}

// Who besides administrators may change a folder, told by its owner and DACL.
TEST(OpenToOthers, FoundByAnAllowEntryNoEarlierDenyCancelsOrByOwnership) {
  const char* me = "S-1-5-21-1-2-3-500";
  const char* ti = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  struct Case {
    const char* what;
    std::string sddl;
    const char* found;  // "" for none
    bool owner;
  } cases[] = {
      {"administrators only", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", "", false},
      {"Program Files", std::string("O:") + ti + "D:P(A;;FA;;;" + ti + ")(A;CIIO;GA;;;" + ti +
       ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)"
       "(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)", "", false},
      {"made below a drive root", "O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)"
       "(A;CIID;LC;;;BU)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1301bf;;;AU)", "S-1-5-32-545", false},
      {"Modify for Authenticated Users", "O:SYD:(A;OICI;0x1301bf;;;AU)", "S-1-5-11", false},
      {"owned by another user", "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", "S-1-5-21-1-2-3-1001", true},
      {"owned and written by the running user", std::string("O:") + me + "D:(A;;FA;;;" + me + ")", "", false},
      {"Everyone denied first", "O:BAD:(D;;FA;;;WD)(A;;FA;;;BU)", "", false},
      {"Modify denied, full control allowed", "O:BAD:(D;;0x1301bf;;;WD)(A;;FA;;;BU)", "S-1-5-32-545", false},
      {"the same account denied first", "O:BAD:(D;;FA;;;BU)(A;;FA;;;BU)", "", false},
      {"denied only after", "O:BAD:(A;;FA;;;BU)(D;;FA;;;BU)", "S-1-5-32-545", false},
      {"another group denied", "O:BAD:(D;;FA;;;AU)(A;;FA;;;BU)", "S-1-5-32-545", false},
      {"deny of some rights only", "O:BAD:(D;;WD;;;BU)(A;;FA;;;BU)", "S-1-5-32-545", false},
      {"for what is made in it only", "O:BAD:(A;OICIIO;GA;;;BU)", "S-1-5-32-545", false},
      {"generic write", "O:BAD:(A;;GW;;;BU)", "S-1-5-32-545", false},
      {"change permissions alone", "O:BAD:(A;;WD;;;AU)", "S-1-5-11", false},
      {"read, execute and attributes", "O:BAD:(A;;0x1201a9;;;WD)", "", false},
  };
  ScopedLocalMemory running;
  ASSERT_TRUE(ConvertStringSidToSidA(me, reinterpret_cast<PSID*>(running.Receive())));
  for (const Case& c : cases) {
    ScopedLocalMemory security;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        c.sddl.c_str(), SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(security.Receive()), nullptr))
        << c.what;
    OpenTo open = {};
    const bool found = FindOpenToOthers(security.Get(), running.Get(), &open);
    EXPECT_EQ(found ? SidText(open.account) : "", c.found) << c.what;
    if (found) {
      EXPECT_EQ(open.owner, c.owner) << c.what;
    }
  }
  // No DACL at all (which Wine's SDDL parser does not make) lets everyone.
  SECURITY_DESCRIPTOR open_to_all;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open_to_all, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open_to_all, TRUE, nullptr, FALSE));
  OpenTo open = {};
  EXPECT_EQ(FindOpenToOthers(&open_to_all, running.Get(), &open) ? SidText(open.account) : "", "S-1-1-0");
}

// The record a run keeps and reads, and the Apps & features entry it
// writes, are chosen by its token, and an elevated run trusts only a folder
// nobody but administrators may change. Wine runs every program elevated,
// with every file its user's own, so it cannot show these apart end to end.
TEST(InstallRecordPlace, ChosenByTheTokenAndTrustedOnlyWhereNoOtherUserMayChangeIt) {
  const char* me = "S-1-5-21-1-2-3-500";
  const char* closed = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  const struct {
    RunAccount account;
    const char* sddl;  // null: unreadable
    RecordPlace place;
    bool trusted;
    const char* entry;  // where the Apps & features entry goes (EntryPlaceFor)
  } cases[] = {
      {RunAccount::kSystem, closed, RecordPlace::kMachine, true, "HKLM 32-bit"},
      {RunAccount::kElevated, closed, RecordPlace::kMachine, true, "HKLM 32-bit"},
      {RunAccount::kUnknown, closed, RecordPlace::kMachine, true, "HKLM 32-bit"},
      {RunAccount::kElevated, "O:BAD:(A;OICI;0x1301bf;;;BU)", RecordPlace::kMachine, false, "HKLM 32-bit"},
      {RunAccount::kSystem, "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", RecordPlace::kMachine, false, "HKLM 32-bit"},
      {RunAccount::kUnknown, "O:BAD:(A;OICI;FA;;;AU)", RecordPlace::kMachine, false, "HKLM 32-bit"},
      {RunAccount::kElevated, nullptr, RecordPlace::kMachine, false, "HKLM 32-bit"},
      // Its own user, as Wine reads every folder back: trusted (see docs/windows.md).
      {RunAccount::kElevated, "O:S-1-5-21-1-2-3-500D:(A;;FA;;;S-1-5-21-1-2-3-500)", RecordPlace::kMachine, true, "HKLM 32-bit"},
      {RunAccount::kNotElevated, "O:BAD:(A;OICI;FA;;;WD)", RecordPlace::kUser, true, "HKCU"},
      {RunAccount::kNotElevated, nullptr, RecordPlace::kUser, true, "HKCU"},
  };
  ScopedLocalMemory running;
  ASSERT_TRUE(ConvertStringSidToSidA(me, reinterpret_cast<PSID*>(running.Receive())));
  for (const auto& c : cases) {
    const std::string what = std::to_string(static_cast<int>(c.account)) + " " + (c.sddl ? c.sddl : "(unreadable)");
    ScopedLocalMemory security;
    if (c.sddl != nullptr) {
      ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
          c.sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(security.Receive()), nullptr));
    }
    EXPECT_EQ(static_cast<int>(RecordPlaceFor(c.account)), static_cast<int>(c.place)) << what;
    EXPECT_EQ(RecordFolderTrusted(c.account, security.Get(), running.Get()), c.trusted) << what;
    const EntryPlace entry = EntryPlaceFor(c.account);
    const std::string hive = entry.hive == HKEY_LOCAL_MACHINE ? "HKLM" : entry.hive == HKEY_CURRENT_USER ? "HKCU" : "?";
    EXPECT_EQ(hive + (entry.view == KEY_WOW64_32KEY ? " 32-bit" : entry.view == 0 ? "" : " ?"), c.entry) << what;
  }
  // The machine's folder from the system's 32-bit Program Files, the user's from LOCALAPPDATA.
  wchar_t path[kFolderPathChars];
  auto x86 = GetMachineString(kVersionKey, L"ProgramFilesDir (x86)");
  if (!x86) x86 = GetMachineString(kVersionKey, L"ProgramFilesDir");
  ASSERT_TRUE(RecordFolderFor(RunAccount::kElevated, path));
  EXPECT_EQ(Narrow(path), Narrow(x86.value_or(L"")) + "\\Pixelmoor PlugIns");
  ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", L"C:\\Users\\u\\AppData\\Local"));
  ASSERT_TRUE(RecordFolderFor(RunAccount::kNotElevated, path));
  EXPECT_EQ(Narrow(path), "C:\\Users\\u\\AppData\\Local\\Programs\\Pixelmoor PlugIns");
  ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", L"AppData\\Local"));
  EXPECT_FALSE(RecordFolderFor(RunAccount::kNotElevated, path)) << Narrow(path);
}

// The uninstaller copy is made from the file the setup was loaded from, and
// never from another that has come to lie at its name.
TEST(OwnImage, OnlyTheFileTheProgramWasLoadedFromIsTakenForIt) {
  ScopedFileHandle own;
  ASSERT_TRUE(OpenFileOfImage(GetModuleHandleW(nullptr), &own)) << GetLastError();
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const std::wstring copy = MakeScratchFolder(L"system.OwnImage") + L"\\copy.exe";
  ASSERT_TRUE(CopyFileW(path, copy.c_str(), FALSE));
  ScopedFileHandle other(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  EXPECT_FALSE(IsFileOfImage(other.Get(), GetModuleHandleW(nullptr))) << "a copy of the same bytes";
  EXPECT_TRUE(IsFileOfImage(own.Get(), GetModuleHandleW(nullptr)));
}

// A record is read only whole, of its own format, from a plain file in a
// plain folder; anything else is refused rather than read in part.
TEST(InstallRecordFile, OnlyAWholeRecordOfItsFormatInAPlainFolderIsRead) {
  const std::wstring dir = MakeScratchFolder(L"system.record");
  const std::wstring folder = dir + L"\\Pixelmoor PlugIns";
  const std::string sha(64, 'a');
  const std::string head = "Pixelmoor PlugIns installation record, format 1\r\nPackage: 3.1\r\nPlugins: C:\\V\\Plugins\r\n";
  const struct {
    const char* what;
    std::string text;  // written as UTF-16 with its byte-order mark
    RecordRead read;
    size_t files;
  } cases[] = {
      {"whole", head + "File: 3 " + sha + " 0000abcd Codecs\\a.dll\r\nLater: x\r\n", RecordRead::kRead, 1},
      {"lines ended by LF alone", "Pixelmoor PlugIns installation record, format 1\nPackage: 3.1\nPlugins: C:\\V\n",
       RecordRead::kRead, 0},
      {"another format", "Pixelmoor PlugIns installation record, format 2\r\nPackage: 3.1\r\nPlugins: C:\\V\r\n",
       RecordRead::kOtherFormat, 0},
      {"no record", "Pixelmoor PlugIns log\r\nPackage: 3.1\r\nPlugins: C:\\V\r\n", RecordRead::kRefused, 0},
      {"a file named twice", head + "File: 3 " + sha + " 0000abcd a.dll\r\nFile: 4 " + sha + " 0000abcd A.DLL\r\n",
       RecordRead::kRefused, 0},
      {"two folders", head + "Plugins: C:\\W\\Plugins\r\n", RecordRead::kRefused, 0},
      {"a damaged file line", head + "File: 3 " + sha + " 0000abcd ..\\a.dll\r\n", RecordRead::kRefused, 0},
      {"no Plugins line", "Pixelmoor PlugIns installation record, format 1\r\nPackage: 3.1\r\n",
       RecordRead::kRefused, 0},
  };
  for (const auto& c : cases) {
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::string bytes = "\xff\xfe";
    for (char ch : c.text) bytes += std::string{ch, '\0'};
    ASSERT_TRUE(WriteBytes(folder + L"\\InstallRecord.txt", bytes));
    TargetFolder held;
    ASSERT_EQ(OpenRecordFolder(folder.c_str(), RunAccount::kNotElevated, false, &held), RecordFolderOpen::kOpened)
        << c.what;
    InstallRecord record;
    EXPECT_EQ(static_cast<int>(record.Read(held)), static_cast<int>(c.read)) << c.what;
    EXPECT_EQ(record.Count(), c.files) << c.what;  // a refused record names nothing
  }
  // Not made unless asked; a link at the folder's name is refused, wherever it leads.
  RemoveTree(folder);
  TargetFolder held;
  EXPECT_EQ(OpenRecordFolder(folder.c_str(), RunAccount::kNotElevated, false, &held), RecordFolderOpen::kMissing);
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\elsewhere").c_str(), nullptr));
  ASSERT_TRUE(PlantUnixLink(folder, dir + L"\\elsewhere"));
  EXPECT_EQ(OpenRecordFolder(folder.c_str(), RunAccount::kNotElevated, true, &held), RecordFolderOpen::kRefused);
  EXPECT_TRUE(RemoveUnixLink(folder));
}

// Only the topmost folder made gets the closed DACL; the folders below
// inherit it, and one that was there keeps its own. Wine keeps no
// descriptor here, only the Unix mode it maps one to, which it reads back
// as a DACL: the closed one has no entry for Everyone.
TEST_F(FolderChain, OnlyTheTopmostFolderMadeGetsTheClosedDacl) {
  auto dacl_of = [](const std::wstring& path, bool* is_protected) {
    ScopedFileHandle folder(CreateFileW(path.c_str(), READ_CONTROL, 7, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!folder || GetSecurityInfo(folder.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
      return std::string("(unreadable)");
    }
    ScopedLocalMemory owned(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    *is_protected = GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED);
    ScopedLocalMemory text;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              reinterpret_cast<char**>(text.Receive()), nullptr)) {
      return std::string("(no text)");
    }
    return std::string(static_cast<const char*>(text.Get()));
  };
  wchar_t path[520];
  wcscpy(path, (dir_ + L"\\Made\\Below").c_str());
  ASSERT_EQ(MakeFolderChain(path, 520), 1);
  bool parent_protected = false, made_protected = false, below_protected = false;
  const std::string parent = dacl_of(dir_, &parent_protected);
  const std::string made = dacl_of(dir_ + L"\\Made", &made_protected);
  const std::string below_made = dacl_of(dir_ + L"\\Made\\Below", &below_protected);
  EXPECT_TRUE(made_protected || made.find(";;;WD)") == std::string::npos) << made;
  EXPECT_NE(parent.find(";;;WD)"), std::string::npos) << "the folder that was there keeps its own: " << parent;
  if (made_protected) {  // a Wine or Windows that keeps descriptors
    EXPECT_FALSE(below_protected) << below_made;
    EXPECT_NE(below_made.find("ID;"), std::string::npos) << "inherited: " << below_made;
  } else {
    EXPECT_NE(below_made.find(";;;WD)"), std::string::npos) << "made without a DACL of its own: " << below_made;
  }
}

TEST_F(FolderChain, NoDriveOrMissingDriveFails) {
  wchar_t unc[520] = L"\\\\server\\share\\viewer\\Plugins";
  EXPECT_EQ(MakeFolderChain(unc, 520), 0);
  wchar_t relative[520] = L"rel\\Plugins";
  EXPECT_EQ(MakeFolderChain(relative, 520), 0);
  wchar_t missing[520] = L"Q:\\Viewer\\Plugins";
  ASSERT_FALSE(IsFolder(L"Q:\\")) << "this test needs no drive Q:";
  EXPECT_EQ(MakeFolderChain(missing, 520), 0);
}

class Unpacking : public InScratch {
 protected:
  int Unpack(const std::vector<ZipEntry>& entries, const ZipOptions& options = {}) {
    return UnpackBytes(BuildZip(entries, options));
  }
  int UnpackBytes(const std::string& archive) {
    const std::wstring path = dir_ + L"\\archive.zip";
    EXPECT_TRUE(WriteBytes(path, archive));
    target_ = dir_ + L"\\Plugins\\";
    CreateDirectoryW(target_.c_str(), nullptr);
    ScopedFileHandle file(OpenToRead(path));
    return UnpackArchive(file.Get(), target_.c_str());
  }
  std::optional<std::string> Installed(const std::wstring& name) {
    return ReadBytes(target_ + name);
  }
  // The Plugins folder of the scratch folder, made, and held in `folder`.
  void HoldPlugins(TargetFolder* folder) {
    target_ = dir_ + L"\\Plugins\\";
    ASSERT_TRUE(CreateDirectoryW(target_.c_str(), nullptr));
    ASSERT_TRUE(folder->Open(target_.c_str()));
  }
  // Everything below the scratch folder other than the archive.
  std::map<std::wstring, bool> Written() {
    auto tree = ListTree(dir_);
    tree.erase(L"archive.zip");
    tree.erase(L"Plugins\\");
    return tree;
  }
  std::wstring target_;
};

TEST_F(Unpacking, FilesBeforeTheirFolderEntryAndBackslashNames) {
  EXPECT_EQ(Unpack({FileEntry("sub/a.dll", "alpha"), FolderEntry("sub/"),
                    FileEntry("deep\\er\\b.dll", std::string(100000, 'b')),
                    FileEntry("top.ini", "[x]")}),
            0);
  EXPECT_EQ(Installed(L"sub\\a.dll").value_or("?"), "alpha");
  EXPECT_EQ(Installed(L"deep\\er\\b.dll").value_or("?"), std::string(100000, 'b'));
  EXPECT_EQ(Installed(L"top.ini").value_or("?"), "[x]");
  EXPECT_EQ(CurrentDirectory(), start_) << "unpacking moved the current directory";
}

TEST_F(Unpacking, EmptyArchiveWritesNothingAndSucceeds) {
  EXPECT_EQ(Unpack({}), 0);
  EXPECT_TRUE(Written().empty());
  EXPECT_EQ(CurrentDirectory(), start_);
}

TEST_F(Unpacking, NotAnArchiveOrMissingTargetFails) {
  EXPECT_EQ(UnpackBytes("this is not a zip file"), kUnpackNotAnArchive);
  const std::wstring path = dir_ + L"\\archive.zip";
  WriteBytes(path, BuildZip({FileEntry("a.dll", "a")}));
  // A target that cannot be entered must not send the files to where the process stands.
  ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
  ScopedFileHandle archive(OpenToRead(path));
  EXPECT_EQ(UnpackArchive(archive.Get(), (dir_ + L"\\missing\\").c_str()), kUnpackTargetUnusable);
  EXPECT_EQ(CurrentDirectory(), dir_);
  EXPECT_FALSE(Exists(dir_ + L"\\a.dll"));
}

// Links that another process planted below the target, leading elsewhere:
// nothing goes through them, at any depth, and the rest is installed.
TEST_F(Unpacking, NothingIsWrittenThroughALinkBelowTheTarget) {
  const std::wstring plugins = dir_ + L"\\Plugins\\", outside = dir_ + L"\\outside";
  ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir_ + L"\\victim.dll", "the user's"));
  ASSERT_TRUE(CreateDirectoryW((plugins + L"ok").c_str(), nullptr));
  ASSERT_TRUE(PlantUnixLink(plugins + L"in", outside));
  ASSERT_TRUE(PlantUnixLink(plugins + L"ok\\in", outside));  // below a folder held for the entry before
  ASSERT_TRUE(PlantUnixLink(plugins + L"f.dll", dir_ + L"\\victim.dll"));
  EXPECT_EQ(Unpack({FolderEntry("in/sub/"), FileEntry("in/deeper/y.dll", "y"),
                    FileEntry("in\\z.dll", "z"), FileEntry("f.dll", "new"),
                    FileEntry("ok.dll", "ok"), FileEntry("ok/a.dll", "a"),
                    FileEntry("ok/in/b.dll", "b"), FileEntry("ok\\c.dll", "c")}),
            kUnpackFilesSkipped);
  EXPECT_TRUE(ListTree(outside).empty()) << ListTree(outside).size() << " items outside";
  EXPECT_EQ(Brief(dir_ + L"\\victim.dll"), "the user's");
  EXPECT_EQ(Installed(L"ok.dll").value_or("(missing)"), "ok");
  EXPECT_EQ(Installed(L"ok\\a.dll").value_or("(missing)"), "a");
  EXPECT_EQ(Installed(L"ok\\c.dll").value_or("(missing)"), "c");
  EXPECT_TRUE(RemoveUnixLink(plugins + L"in") && RemoveUnixLink(plugins + L"ok\\in") &&
              RemoveUnixLink(plugins + L"f.dll"));
}

TEST_F(Unpacking, ZeroLengthFileIsCreatedWithItsTime) {
  ZipEntry empty = FileEntry("empty.dat", "");
  empty.dos_date_time = 0x4E674A3D;  // 2019-03-07 09:17:58
  EXPECT_EQ(Unpack({empty}), 0);
  EXPECT_EQ(Installed(L"empty.dat").value_or("?"), "");
  FILETIME created, written;
  ASSERT_TRUE(ReadFileTimes(target_ + L"empty.dat", &created, &written));
  EXPECT_EQ(Describe(AsLocalTime(created)), "2019-03-07 09:17:58");
  EXPECT_EQ(Describe(AsLocalTime(written)), "2019-03-07 09:17:58");
}

// Held open without sharing, as by a running program. (A read-only attribute
// would do on Windows, but Wine maps it to Unix permissions, which root ignores.)
TEST_F(Unpacking, ExistingLockedFileIsSkippedTheRestInstalledAndFailureReported) {
  CreateDirectoryW((dir_ + L"\\Plugins").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(dir_ + L"\\Plugins\\locked.dll", "old"));
  HANDLE lock = CreateFileW((dir_ + L"\\Plugins\\locked.dll").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const int rc = Unpack({FileEntry("locked.dll", "new"), FileEntry("next.dll", "next")});
  CloseHandle(lock);
  EXPECT_EQ(rc, kUnpackFilesSkipped);
  EXPECT_EQ(Installed(L"locked.dll").value_or("?"), "old");
  EXPECT_EQ(Installed(L"next.dll").value_or("?"), "next");
}

TEST_F(Unpacking, ExistingFilesAreOverwritten) {
  CreateDirectoryW((dir_ + L"\\Plugins").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(dir_ + L"\\Plugins\\a.dll", std::string(5000, 'o')));
  EXPECT_EQ(Unpack({FileEntry("a.dll", "new")}), 0);
  EXPECT_EQ(Installed(L"a.dll").value_or("?"), "new");
}

TEST_F(Unpacking, CrcMismatchStopsAndKeepsWhatCameBefore) {
  ZipEntry bad = FileEntry("bad.dll", "contents");
  bad.crc = 0x12345678;
  EXPECT_EQ(Unpack({FileEntry("first.dll", "1"), bad, FileEntry("after.dll", "2")}),
            UNZ_CRCERROR);
  EXPECT_EQ(Installed(L"first.dll").value_or("?"), "1");
  EXPECT_FALSE(Installed(L"bad.dll")) << "a failed entry is not installed";
  EXPECT_FALSE(Installed(L"after.dll"));
}

// Everything the engine tells its observer, in order.
class RecordingObserver : public InstallObserver {
 public:
  void OnWaiting() override {
    calls.push_back("waiting");
    waiting = true;
  }
  void OnStarted(uint64_t e, uint64_t b) override {
    calls.push_back("started");
    entries = e, total = b;
  }
  void OnProgress(uint64_t e, uint64_t b) override {
    calls.push_back("progress");
    progress.push_back({e, b});
  }
  void OnNotInstalled(const wchar_t* name, unsigned long error) override {
    not_installed += Narrow(name) + (error != 0 ? " " : " (no error) ");
  }
  void OnInUse(const wchar_t* name, const wchar_t* path) override {
    in_use += Narrow(name) + "@" + Narrow(path) + " ";
  }
  void OnDone(const InstallResult& r) override {
    calls.push_back("done");
    done = r;
  }
  std::vector<std::string> calls;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  uint64_t entries = 0, total = 0;
  InstallResult done = {};
  std::string not_installed;  // each name, then a blank
  std::string in_use;         // each name@path, then a blank
  std::atomic<bool> waiting{false};
};

// Files are flushed while the next ones are written: one the disk refuses
// stops the run, and neither it nor any file written after it takes its name.
TEST_F(Unpacking, FileTheDiskRefusesKeepsEveryLaterOneFromItsName) {
  TargetFolder folder;
  ASSERT_NO_FATAL_FAILURE(HoldPlugins(&folder));
  RecordingObserver seen;
  {
    FinishingFiles finishing(&seen, ReplaceOrder::kAside, nullptr, &folder);
    uint32_t serial = 0;
    // A file without write access cannot be flushed, as a disk that refuses the data.
    const std::pair<const wchar_t*, DWORD> files[] = {
        {L"first.dll", GENERIC_WRITE}, {L"refused.dll", GENERIC_READ}, {L"later.dll", GENERIC_WRITE}};
    for (const auto& [name, access] : files) {
      int earlier = -1;
      PendingFile* out = finishing.NextFile(&earlier);
      ASSERT_TRUE(out != nullptr);
      EXPECT_EQ(earlier, kUnpackOk);
      ASSERT_TRUE(out->Create(folder.Get(), name, access, &serial)) << Narrow(name);
      finishing.Submit(name);
    }
    EXPECT_EQ(finishing.FinishAll(), kUnpackWriteFailed);
    EXPECT_EQ(seen.not_installed, "refused.dll later.dll ") << "each file that lost its name is told, with an error";
    EXPECT_EQ(finishing.FinishAll(), kUnpackWriteFailed) << "finished again";
  }
  const auto tree = ListTree(target_);
  std::string names;
  for (const auto& [name, is_folder] : tree) names += Narrow(name) + " ";
  EXPECT_EQ(names, "first.dll ");
}

// A setup killed between moving a plug-in aside and putting the new one in
// its place left the old one at its aside name: the next setup into that
// folder puts it back where nothing has its name, and deletes it where the
// new one is in place. One that another program holds is left alone.
TEST_F(Unpacking, PlugInsAKilledRunMovedAsideGoBackOrGo) {
  TargetFolder folder;
  ASSERT_NO_FATAL_FAILURE(HoldPlugins(&folder));
  ASSERT_TRUE(WriteBytes(target_ + L"~px1f-2.lost.dll.old", "old lost"));
  ASSERT_TRUE(WriteBytes(target_ + L"~px1f-3.replaced.dll.old", "old replaced"));
  ASSERT_TRUE(WriteBytes(target_ + L"replaced.dll", "new replaced"));
  ASSERT_TRUE(WriteBytes(target_ + L"~px1f-4.held.dll.old", "old held"));
  ASSERT_TRUE(WriteBytes(target_ + L"~px1f-5.tmp", "half written"));
  ASSERT_TRUE(CreateDirectoryW((target_ + L"taken").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(target_ + L"~px1f-6.taken.old", "old taken"));
  // A second name of someone's file is never renamed or deleted.
  ASSERT_TRUE(WriteBytes(dir_ + L"\\theirs.dll", "theirs"));
  ASSERT_TRUE(CreateHardLinkW((target_ + L"~px1f-7.linked.dll.old").c_str(), (dir_ + L"\\theirs.dll").c_str(), nullptr));
  ScopedFileHandle held(CreateFileW((target_ + L"~px1f-4.held.dll.old").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  SweepLeftovers(folder, folder.Get(), L"");
  std::string names;
  for (const auto& [name, is_folder] : ListTree(target_)) names += Narrow(name) + "=" + Brief(target_ + name) + " ";
  EXPECT_EQ(names, "lost.dll=old lost replaced.dll=new replaced taken\\=(no file) "
                   "~px1f-4.held.dll.old=old held ~px1f-7.linked.dll.old=theirs ");
}

// A plug-in another program opened without sharing after the check keeps
// its name: it is told in use (with its path, to ask who holds it), then not
// installed; the files after it take their names.
TEST_F(Unpacking, FileHeldAfterTheCheckIsToldInUseAndTheRestTakeTheirNames) {
  TargetFolder folder;
  ASSERT_NO_FATAL_FAILURE(HoldPlugins(&folder));
  ASSERT_TRUE(WriteBytes(target_ + L"held.dll", "old"));
  ScopedFileHandle holder(CreateFileW((target_ + L"held.dll").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  RecordingObserver seen;
  {
    FinishingFiles finishing(&seen, ReplaceOrder::kAside, nullptr, &folder);
    uint32_t serial = 0;
    for (const wchar_t* name : {L"held.dll", L"free.dll"}) {
      int earlier = -1;
      PendingFile* out = finishing.NextFile(&earlier);
      ASSERT_TRUE(out != nullptr && out->Create(folder.Get(), name, GENERIC_WRITE, &serial)) << Narrow(name);
      finishing.Submit(name);
    }
    EXPECT_EQ(finishing.FinishAll(), kUnpackFilesSkipped);
  }
  EXPECT_EQ(seen.in_use, "held.dll@" + Narrow(std::wstring(folder.Path())) + "\\held.dll ");
  EXPECT_EQ(seen.not_installed, "held.dll ");
  holder.Reset();
  EXPECT_EQ(Installed(L"held.dll").value_or("?"), "old");
  EXPECT_TRUE(Installed(L"free.dll"));
}

// A file that a reader holds, sharing everything, is replaced in either order:
// the POSIX rename where the system has it, and where it has not (Wine), the
// aside order it falls back to.
TEST_F(Unpacking, FileAReaderHoldsIsReplacedInEitherOrder) {
  TargetFolder folder;
  ASSERT_NO_FATAL_FAILURE(HoldPlugins(&folder));
  for (const ReplaceOrder order : {ReplaceOrder::kPosix, ReplaceOrder::kAside}) {
    const std::string what = order == ReplaceOrder::kPosix ? "POSIX" : "aside";
    ASSERT_TRUE(WriteBytes(target_ + L"read.dll", "old " + what));
    ScopedFileHandle reader(CreateFileW((target_ + L"read.dll").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    uint32_t serial = 0;
    PendingFile file;
    ASSERT_TRUE(file.Create(folder.Get(), L"read.dll", GENERIC_WRITE, &serial));
    DWORD put = 0;
    ASSERT_TRUE(WriteFile(file.Get(), "new", 3, &put, nullptr));
    EXPECT_TRUE(file.PutInPlace(L"read.dll", order)) << what << ": " << GetLastError();
    file.Close();
    EXPECT_EQ(Installed(L"read.dll").value_or("?"), "new") << what;
    char bytes[16] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(reader.Get(), bytes, sizeof bytes - 1, &got, nullptr));
    EXPECT_EQ(std::string(bytes), "old " + what) << "the reader's file changed under it";
  }
  EXPECT_EQ(ListTree(target_).size(), 1u) << "an old file stayed once its readers let go";
}

// A filtered file's data is read through a second open that follows it, and
// only when that is the same file. Wine has no reparse points: a plain file
// with a made-up tag shows the reopening and the check.
TEST_F(Unpacking, FilteredFileIsReadThroughASecondOpenOfTheSameFile) {
  target_ = dir_ + L"\\Plugins\\";
  ASSERT_TRUE(CreateDirectoryW(target_.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(target_ + L"wof.dll", "decompressed"));
  ScopedFileHandle item(OpenToRead(target_ + L"wof.dll"));
  ASSERT_TRUE(item);
  ItemFacts facts = {FILE_ATTRIBUTE_REPARSE_POINT, 1, 12, 0x80000017};
  ScopedFileHandle reopened;
  HANDLE data = nullptr;
  ASSERT_TRUE(OpenForData(item.Get(), facts, GENERIC_READ, FILE_SHARE_READ, &reopened, &data)) << GetLastError();
  EXPECT_NE(data, item.Get()) << "not opened again";
  char bytes[16] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(data, bytes, sizeof bytes - 1, &got, nullptr));
  EXPECT_EQ(std::string(bytes), "decompressed");
  facts.reparse_tag = 0;
  ASSERT_TRUE(OpenForData(item.Get(), facts, GENERIC_READ, FILE_SHARE_READ, &reopened, &data));
  EXPECT_EQ(data, item.Get()) << "a plain file is read through its own handle";
}

// Files wait for their names a few at a time: each still lands in its own
// folder while the entries' folders come and go between them.
TEST_F(Unpacking, FilesOfFoldersThatComeAndGoEachLandInTheirOwn) {
  std::vector<ZipEntry> entries;
  for (const char* name : {"a/1.dll", "a/2.dll", "a/3.dll", "a/4.dll", "a/5.dll", "b/1.dll",
                           "a/6.dll", "top.dll", "b/c/2.dll", "b/3.dll"}) {
    entries.push_back(FileEntry(name, name));
  }
  EXPECT_EQ(Unpack(entries), 0);
  for (const ZipEntry& entry : entries) {
    std::wstring name = Widen(entry.name);
    for (auto& c : name) c = c == L'/' ? L'\\' : c;
    EXPECT_EQ(Installed(name).value_or("?"), entry.name);
  }
}

// A file and then an entry below a folder of its name: the file is
// installed and the folder is not made, as if each file took its name at once.
TEST_F(Unpacking, FileThenAnEntryBelowItsNameKeepsTheFile) {
  EXPECT_EQ(Unpack({FileEntry("x.dat", "file"), FileEntry("x.dat/y.dll", "y")}), kUnpackFilesSkipped);
  EXPECT_EQ(Installed(L"x.dat").value_or("?"), "file");
  EXPECT_FALSE(Installed(L"x.dat\\y.dll"));
}

// A name of one character is a name like any other.
TEST_F(Unpacking, OneCharacterNamesInstall) {
  EXPECT_EQ(Unpack({FileEntry("a", "1"), FileEntry("d/b", "2")}), 0);
  EXPECT_EQ(Installed(L"a").value_or("?"), "1");
  EXPECT_EQ(Installed(L"d\\b").value_or("?"), "2");
}

// A failed entry replaces nothing: the plug-in that worked before stays whole,
// and no temporary file is left beside it.
TEST_F(Unpacking, FailedEntryLeavesTheOldFileAsItWas) {
  const std::string good(70000, 'g');  // more than one copy buffer
  ZipEntry crc = FileEntry("two.dll", std::string(70000, 'c'));
  crc.crc = 0x12345678;
  ZipEntry cut = FileEntry("two.dll", std::string(70000, 's'));
  cut.uncompressed_size = 80000;  // the data ends before its declared size
  for (const ZipEntry& bad : {crc, cut}) {
    SCOPED_TRACE(bad.crc ? "CRC" : "short");
    CreateDirectoryW((dir_ + L"\\Plugins").c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(dir_ + L"\\Plugins\\two.dll", good));
    EXPECT_NE(Unpack({FileEntry("one.dll", "1"), bad}), 0);
    EXPECT_TRUE(Installed(L"two.dll") == good) << "the working file was replaced";
    const auto tree = ListTree(target_);
    EXPECT_EQ(tree.size(), 2u) << "left beside it: " << Narrow(tree.rbegin()->first);
    SetCurrentDirectoryW(start_.c_str());
  }
}

// The central directory may list the entries in another order than their data.
TEST_F(Unpacking, ArchiveListedOutOfOrderInstallsWhole) {
  ZipOptions reversed;
  reversed.reverse_central = true;
  const std::string big(100000, 'b');
  EXPECT_EQ(Unpack({FolderEntry("sub/"), FileEntry("sub/a.dll", big), FileEntry("b.dll", "b"),
                    FileEntry("c.dll", "")},
                   reversed),
            0);
  EXPECT_TRUE(Installed(L"sub\\a.dll") == big);
  EXPECT_EQ(Installed(L"b.dll").value_or("?"), "b");
  EXPECT_EQ(Installed(L"c.dll").value_or("?"), "");
}

TEST_F(Unpacking, FolderEntryBlockedByAFileIsNotInstalled) {
  CreateDirectoryW((dir_ + L"\\Plugins").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(dir_ + L"\\Plugins\\Codecs", "a file in the way"));
  EXPECT_EQ(Unpack({FolderEntry("Codecs/"), FileEntry("next.dll", "n")}), kUnpackFilesSkipped);
  EXPECT_EQ(Installed(L"Codecs").value_or("?"), "a file in the way");
  EXPECT_EQ(Installed(L"next.dll").value_or("?"), "n");
}

TEST_F(Unpacking, DataThatEndsBeforeItsDeclaredSizeIsAnError) {
  ZipEntry longer = FileEntry("short.dll", "only this much");
  longer.uncompressed_size = 1000;
  EXPECT_EQ(Unpack({longer}), kUnpackSizeMismatch);
  ZipEntry stored = FileEntry("stored.dll", "abc");
  stored.method = 0;
  stored.uncompressed_size = 2;
  EXPECT_NE(Unpack({stored}), 0);
}

TEST_F(Unpacking, EncryptedEntryIsRefusedUnwritten) {
  ZipEntry secret = FileEntry("secret.dll", "plain anyway");
  secret.flag = 3;
  EXPECT_EQ(Unpack({secret}), kUnpackEncrypted);
  EXPECT_FALSE(Installed(L"secret.dll"));
}

// Overlapping data is refused before anything is written, whichever record comes first.
TEST_F(Unpacking, OverlappingEntriesAreRefusedWhole) {
  const std::string data(100000, 'z');
  ZipEntry again = FileEntry("again.dat", data);  // same name length as the first
  again.local_header_of = 0;
  again.raw_data = std::string();
  again.compressed_size = static_cast<uint32_t>(Deflate(data).size());
  for (const bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "listed last first" : "listed in order");
    ZipOptions options;
    options.reverse_central = reversed;
    EXPECT_EQ(Unpack({FileEntry("first.dat", data), again}, options), kUnpackOverlap);
    EXPECT_FALSE(Installed(L"first.dat"));
    EXPECT_FALSE(Installed(L"again.dat"));
    SetCurrentDirectoryW(start_.c_str());
  }
}

// A declared size that runs past the archive's end (one that would wrap added
// to where its data begins) is refused before anything is written.
TEST_F(Unpacking, DataRunningPastTheArchivesEndIsRefusedWhole) {
  ZipEntry past = FileEntry("past.dat", "data");
  for (const uint32_t declared : {0xFFFFFFF0u, 1000u}) {
    past.compressed_size = declared;
    EXPECT_EQ(Unpack({FileEntry("first.dat", "first"), past}), kUnpackPastTheEnd) << declared;
    EXPECT_FALSE(Installed(L"first.dat")) << declared;
  }
}

// Method 12 (bzip2) would otherwise come out as its compressed bytes, unchecked.
TEST_F(Unpacking, EntriesNeitherStoredNorDeflatedAreRefusedUnwritten) {
  for (const uint16_t method : {12, 14, 99}) {
    SCOPED_TRACE(method);
    ZipEntry packed = FileEntry("packed.dll", "not what the file holds");
    packed.method = method;
    EXPECT_EQ(Unpack({FileEntry("ok.dll", "ok"), packed}), kUnpackUnsupportedMethod);
    EXPECT_FALSE(Installed(L"packed.dll"));
    EXPECT_EQ(Installed(L"ok.dll").value_or("?"), "ok");
    SetCurrentDirectoryW(start_.c_str());
  }
}

TEST_F(Unpacking, NamesThatAreNotPlainRelativePathsAreRefused) {
  for (const std::string name :
       {"../escape.dll", "sub/../../escape.dll", "..\\escape.dll", "/rooted.dll",
        "\\rooted.dll", "C:\\drive.dll", "C:drive.dll", "a.dll:stream", "CON", "nul.txt",
        "COM1 ", "trailing.", "\\\\host\\share\\x.dll"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Unpack({FileEntry("ok.dll", "ok"), FileEntry(name, "x")}), kUnpackBadName);
    auto written = Written();
    EXPECT_EQ(written.size(), 1u) << "only ok.dll, nothing of " << name;
    EXPECT_TRUE(written.count(L"Plugins\\ok.dll"));
    SetCurrentDirectoryW(start_.c_str());
  }
}

TEST_F(Unpacking, NamesThatWouldBeCutAreRefused) {
  EXPECT_EQ(Unpack({FileEntry(std::string(520, 'n'), "x")}), kUnpackBadName);
  ZipEntry zero = FileEntry(std::string("ok.dll\0.exe", 11), "x");
  EXPECT_EQ(Unpack({zero}), kUnpackBadName);
  EXPECT_TRUE(Written().empty());
  // 519 bytes fit the name buffer but not the 323 characters of its UTF-16 form.
  EXPECT_EQ(Unpack({FileEntry(std::string(400, 'n'), "x")}), kUnpackBadName);
}

TEST_F(Unpacking, BytesBeforeAndAfterTheArchiveStillInstallWhole) {
  ZipOptions padded;
  padded.before = std::string(3000, 'M');
  padded.after = "trailing bytes";
  EXPECT_EQ(Unpack({FileEntry("a.dll", "alpha"), FileEntry("b.dll", "beta")}, padded), 0);
  EXPECT_EQ(Installed(L"b.dll").value_or("?"), "beta");
}

// A viewer that knows no longer paths could not load it: such an entry is
// not installed, although the engine's own names would reach it.
TEST_F(Unpacking, EntryPastTheLongestWindowsPathIsSkippedTheRestInstalled) {
  const std::string name(259 - (dir_.size() + 9) + 1, 'n');  // dir_\Plugins\ and one too many
  EXPECT_EQ(Unpack({FileEntry(name, "long"), FileEntry("short.dll", "s")}), kUnpackFilesSkipped);
  EXPECT_FALSE(Installed(Widen(name)).has_value());
  EXPECT_EQ(Installed(L"short.dll").value_or("?"), "s");
}

TEST_F(Unpacking, EntryCountBeyondTheArchiveIsAnError) {
  ZipOptions lying;
  lying.declared_entries = 500;
  EXPECT_NE(Unpack({FileEntry("a.dll", "alpha")}, lying), 0);
}

using Log = InScratch;

TEST_F(Log, EntriesAreAppendedWithCrLfInTheCurrentDirectory) {
  ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
  WriteInstallLog(L"first\nline");
  WriteInstallLog(L"second \x0101");
  const std::string log = ReadBytes(dir_ + L"\\Pixelmoor_Install.log").value_or("");
  const std::string date = Narrow(TodayShortDate());
  const std::string sep = std::string(48, '-') + "\r\n";
  ASSERT_EQ(log.size(), 2 * (date.size() + 13) + 10 + 1 + 8 + 2 * (2 + sep.size())) << log;
  EXPECT_EQ(log.substr(0, date.size() + 3), date + " - ");
  EXPECT_EQ(log.substr(date.size() + 11, 2), ": ");
  EXPECT_EQ(log.substr(date.size() + 13, 13 + sep.size()), "first\r\nline\r\n" + sep);
  EXPECT_EQ(log.substr(log.size() - 10 - sep.size()), "second ?\r\n" + sep);
}

// Whose variables "/log=" may name. Wine's ExpandEnvironmentStringsForUserW
// ignores its token, so the choice is shown here, not what it expands to.
TEST(RunVariables, AnElevatedRunTakesOnlyTheSystemsOwn) {
  const struct {
    RunAccount account;
    RunVariables chosen;
  } cases[] = {{RunAccount::kSystem, RunVariables::kProcess},
               {RunAccount::kElevated, RunVariables::kSystemOnly},
               {RunAccount::kNotElevated, RunVariables::kProcess},
               {RunAccount::kUnknown, RunVariables::kSystemOnly}};
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<int>(VariablesFor(c.account)), static_cast<int>(c.chosen))
        << "account " << static_cast<int>(c.account);
  }
}

TEST_F(Log, UnwritableLogLeavesNoTrace) {
  const std::wstring locked = dir_ + L"\\Pixelmoor_Install.log";
  CreateDirectoryW(locked.c_str(), nullptr);  // a folder where the log would go
  ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
  const auto before = ListTree(dir_);
  WriteInstallLog(L"lost");
  EXPECT_EQ(ListTree(dir_), before) << "the entry went somewhere else";
  EXPECT_EQ(CurrentDirectory(), dir_);
}

class Engine : public InScratch {
 protected:
  // Runs the engine on a thread of its own, as the wizard will.
  InstallResult OnWorker(const InstallRequest& request) {
    InstallResult result = {};
    std::thread worker([&] { result = InstallPayload(request); });
    worker.join();
    return result;
  }
  InstallRequest Request(const std::string& payload, const std::wstring& folder,
                         InstallObserver* observer = nullptr) {
    folder_ = folder;
    return {payload.data(), payload.size(), folder_.c_str(), true, observer};
  }
  std::wstring folder_;
};

TEST_F(Engine, OnAWorkerThreadTellsItsProgressAndKeepsTheCurrentDirectory) {
  const std::string big(3 * 1024 * 1024 + 5, 'b');  // more than three mebibytes
  const std::string payload = BuildZip({FileEntry("a.dll", "alpha"), FolderEntry("Codecs/"),
                                        FileEntry("Codecs/big.dll", big), FileEntry("z.ini", "z")});
  RecordingObserver seen;
  const InstallResult result = OnWorker(Request(payload, dir_ + L"\\Viewer", &seen));
  EXPECT_EQ(result.status, InstallStatus::kInstalled) << "check " << result.check;
  EXPECT_EQ(CurrentDirectory(), start_);
  EXPECT_EQ(ReadBytes(dir_ + L"\\Viewer\\Plugins\\Codecs\\big.dll") == big, true);

  ASSERT_GE(seen.calls.size(), 2u);
  EXPECT_EQ(seen.calls.front(), "started");
  EXPECT_EQ(seen.calls.back(), "done");
  EXPECT_EQ(seen.done.status, InstallStatus::kInstalled);
  EXPECT_EQ(seen.entries, 4u);
  EXPECT_EQ(seen.total, 5 + big.size() + 1);
  int within_big = 0;
  for (size_t i = 0; i < seen.progress.size(); ++i) {
    const auto [entries, bytes] = seen.progress[i];
    if (i > 0) {
      EXPECT_GE(entries, seen.progress[i - 1].first) << "call " << i;
      EXPECT_GE(bytes, seen.progress[i - 1].second) << "call " << i;
    }
    if (entries == 2) ++within_big;  // two entries done while the third is written
  }
  EXPECT_GE(within_big, 4) << "one call after the folder entry and one a mebibyte of big.dll";
  ASSERT_FALSE(seen.progress.empty());
  EXPECT_EQ(seen.progress.back().first, 4u);
  EXPECT_EQ(seen.progress.back().second, seen.total);

  // Again in the same process, without an observer.
  EXPECT_EQ(OnWorker(Request(payload, dir_ + L"\\Viewer")).status, InstallStatus::kInstalled);
  EXPECT_EQ(CurrentDirectory(), start_);
}

TEST_F(Engine, SaysItWaitsWhileAnotherSetupInstalls) {
  InstallLockHold other = HoldInstallLock(dir_ + L"\\Viewer");
  ASSERT_TRUE(other.Held());
  const std::string payload = BuildZip({FileEntry("a.dll", "alpha")});
  RecordingObserver seen;
  const InstallRequest request = Request(payload, dir_ + L"\\Viewer", &seen);
  InstallResult result = {};
  std::thread worker([&] { result = InstallPayload(request); });
  for (int i = 0; i < 200 && !seen.waiting; ++i) Sleep(50);
  EXPECT_TRUE(seen.waiting) << "the engine did not say that it waits";
  EXPECT_TRUE(other.Release());
  worker.join();
  EXPECT_EQ(result.status, InstallStatus::kInstalled) << "check " << result.check;
  ASSERT_FALSE(seen.calls.empty());
  EXPECT_EQ(seen.calls.front(), "waiting");
}

// A pipe that nobody writes to unless told: a read from it waits for another program.
struct QuietPipe {
  QuietPipe() {
    HANDLE read_end = nullptr, write_end = nullptr;
    EXPECT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    reader.Reset(read_end), writer.Reset(write_end);
  }
  // One byte read under `watch`: the read's result, and its error in `*error`.
  bool WatchedRead(CallWatch* watch, DWORD* error) {
    char byte = 0;
    DWORD got = 0;
    WatchedCall watched(watch);
    const bool read = ReadFile(reader.Get(), &byte, 1, &got, nullptr) != 0;
    *error = GetLastError();
    return read;
  }
  ScopedKernelHandle reader, writer;
};

// A call that waits for another program, as a read from a pipe that nobody
// writes to, ends once its limit has passed; the time it waited counts
// toward the run's, and a call that does not wait is left alone.
TEST(CallWatchLimit, CancelsACallPastItsLimitAndCountsItTowardTheRun) {
  QuietPipe pipe;
  CallWatch watch(400, 700);
  DWORD error = 0;
  // A wait that ends within the limit is left alone, and counts little.
  std::thread late_writer([&pipe] {
    Sleep(100);
    DWORD put = 0;
    (void)WriteFile(pipe.writer.Get(), "x", 1, &put, nullptr);
  });
  EXPECT_TRUE(pipe.WatchedRead(&watch, &error)) << error;
  late_writer.join();
  EXPECT_FALSE(watch.Exhausted()) << "after a wait of 100 ms";
  for (int call = 1; call <= 2; ++call) {
    const ULONGLONG start = GetTickCount64();
    const bool read = pipe.WatchedRead(&watch, &error);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_FALSE(read) << "call " << call;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED)) << "call " << call;
    EXPECT_GE(waited, 400u) << "call " << call << " was cancelled early";
    EXPECT_LT(waited, 3000u) << "call " << call << " waited on";
    EXPECT_EQ(watch.Exhausted(), call == 2) << "after call " << call << " of 400 ms, of 700 in all";
  }
}

// Once the run has waited its time on others, no file takes its name, and
// none is told as held by another program: nobody held it.
TEST_F(Unpacking, NoFileTakesItsNameOnceTheRunHasWaitedItsTime) {
  TargetFolder folder;
  ASSERT_NO_FATAL_FAILURE(HoldPlugins(&folder));
  QuietPipe pipe;
  CallWatch watch(50, 50);
  DWORD error = 0;
  ASSERT_FALSE(pipe.WatchedRead(&watch, &error));
  ASSERT_TRUE(watch.Exhausted());
  RecordingObserver seen;
  {
    FinishingFiles finishing(&seen, ReplaceOrder::kAside, &watch, &folder);
    uint32_t serial = 0;
    int earlier = -1;
    PendingFile* out = finishing.NextFile(&earlier);
    ASSERT_TRUE(out != nullptr && out->Create(folder.Get(), L"late.dll", GENERIC_WRITE, &serial));
    finishing.Submit(L"late.dll");
    EXPECT_EQ(finishing.FinishAll(), kUnpackFilesSkipped);
  }
  EXPECT_EQ(seen.not_installed, "late.dll ");
  EXPECT_EQ(seen.in_use, "");
  EXPECT_EQ(ListTree(target_).size(), 0u) << "its temporary file stayed";
}

// The lock keeps its name and its holder's turn until it is let go, and then goes.
TEST_F(Engine, TakenLockKeepsOthersOutUntilReleasedAndThenGoes) {
  const std::wstring plugins = dir_ + L"\\Plugins", lock = plugins + L"\\PX32_setup.lock";
  ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
  TargetFolder folder;
  ASSERT_TRUE(folder.Open(plugins.c_str()));
  {
    SetupLock taken;
    ASSERT_EQ(static_cast<int>(taken.Take(folder, nullptr)), static_cast<int>(LockOutcome::kTaken));
    EXPECT_TRUE(Exists(lock)) << "the lock's name went while it was held";
    ScopedFileHandle other(CreateFileW(lock.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                       OPEN_ALWAYS, 0, nullptr));
    EXPECT_FALSE(other) << "another setup could take it too";
  }
  EXPECT_FALSE(Exists(lock)) << "the lock file outlived its holder";
}

// Each way an installation ends, from its request, and what both faces make of it.
TEST_F(Engine, EveryOutcomeHasItsStatusExitCodeAndMessage) {
  const std::string good = BuildZip({FileEntry("a.dll", "alpha")});
  const std::string damaged = "not a zip archive";
  const std::wstring long_folder = dir_ + L"\\" + std::wstring(251 - dir_.size() - 1, L'v');
  struct Case {
    const char* what;
    InstallRequest request;
    InstallStatus status;
  };
  const std::wstring viewer = dir_ + L"\\Viewer", missing = dir_ + L"\\Missing";
  const Case cases[] = {
      {"installed", {good.data(), good.size(), viewer.c_str(), true, nullptr}, InstallStatus::kInstalled},
      {"not an archive", {damaged.data(), damaged.size(), viewer.c_str(), true, nullptr},
       InstallStatus::kArchiveDamaged},
      {"no payload", {good.data(), 0, viewer.c_str(), true, nullptr}, InstallStatus::kCantStage},
      {"path too long", {good.data(), good.size(), long_folder.c_str(), true, nullptr},
       InstallStatus::kPathTooLong},
      {"relative folder", {good.data(), good.size(), L"rel\\viewer", true, nullptr},
       InstallStatus::kTargetUnusable},
      {"missing folder not to be made", {good.data(), good.size(), missing.c_str(), false, nullptr},
       InstallStatus::kTargetUnusable},
  };
  for (const Case& c : cases) {
    const InstallResult result = OnWorker(c.request);
    EXPECT_EQ(static_cast<int>(result.status), static_cast<int>(c.status))
        << c.what << ": check " << result.check;
  }
  EXPECT_FALSE(Exists(missing)) << "a folder that was not to be made was made";

  // Every other status is a failed installation.
  const struct {
    InstallStatus status;
    OutcomeReport report;
  } reports[] = {
      {InstallStatus::kInstalled, {kExitInstalled, kMsgInstalled, MB_ICONINFORMATION, false}},
      {InstallStatus::kLockTimedOut,
       {kExitAnotherSetupRunning, kMsgAnotherSetupRunning, MB_ICONEXCLAMATION, true}},
      {InstallStatus::kFilesInUse, {kExitPluginInUse, kMsgFilesInUse, MB_ICONEXCLAMATION, true}},
  };
  for (int i = 0; i < kInstallStatusCount; ++i) {
    OutcomeReport expected = {kExitInstallFailed, kMsgCantInstall, MB_ICONERROR, true};
    for (const auto& r : reports) {
      if (static_cast<int>(r.status) == i) expected = r.report;
    }
    const OutcomeReport& report = ReportFor(static_cast<InstallStatus>(i));
    EXPECT_EQ(report.exitCode, expected.exitCode) << "status " << i;
    EXPECT_EQ(report.message, expected.message) << "status " << i;
    EXPECT_EQ(report.icon, expected.icon) << "status " << i;
    EXPECT_EQ(report.logged, expected.logged) << "status " << i;
  }
  EXPECT_EQ(ReportFor(static_cast<InstallStatus>(kInstallStatusCount)).exitCode, kExitInstallFailed)
      << "an unknown status must never read as success";
}

// What /verify makes of a folder, entry kind by entry kind, and its exit codes.
TEST_F(Engine, VerifyFindsEveryEntryInPlaceOrSaysItDiffers) {
  const std::string payload = BuildZip({FolderEntry("Empty/"), FileEntry("a.dll", "alpha"),
                                        FileEntry("Sub/b.dll", "beta")});
  const std::wstring viewer = dir_ + L"\\Viewer", plugins = viewer + L"\\Plugins\\";
  auto verify = [&](const std::string& bytes, const wchar_t* folder) {
    return static_cast<int>(VerifyPayload(bytes.data(), bytes.size(), folder));
  };
  const int in_place = static_cast<int>(VerifyStatus::kInPlace);
  const int differs = static_cast<int>(VerifyStatus::kDiffers);
  EXPECT_EQ(verify(payload, viewer.c_str()), differs) << "nothing installed yet";
  ASSERT_EQ(OnWorker(Request(payload, viewer)).status, InstallStatus::kInstalled);
  EXPECT_EQ(verify(payload, viewer.c_str()), in_place);
  EXPECT_EQ(verify(payload, (viewer + L"\\").c_str()), in_place);
  ASSERT_TRUE(RemoveDirectoryW((plugins + L"Empty").c_str()));
  EXPECT_EQ(verify(payload, viewer.c_str()), differs) << "an empty folder of the payload gone";
  ASSERT_TRUE(WriteBytes(plugins + L"Empty", ""));
  EXPECT_EQ(verify(payload, viewer.c_str()), differs) << "a file where a folder belongs";
  ASSERT_TRUE(DeleteFileW((plugins + L"Empty").c_str()));
  ASSERT_TRUE(CreateDirectoryW((plugins + L"Empty").c_str(), nullptr));
  EXPECT_EQ(verify(payload, viewer.c_str()), in_place);
  EXPECT_EQ(CurrentDirectory(), start_);

  EXPECT_EQ(verify(payload, L"Viewer"), differs) << "a relative folder needs a current directory";
  EXPECT_EQ(verify("not a zip archive", viewer.c_str()), static_cast<int>(VerifyStatus::kPayloadUnreadable));
  EXPECT_EQ(verify(std::string(), viewer.c_str()), static_cast<int>(VerifyStatus::kPayloadUnreadable));
  EXPECT_EQ(verify(BuildZip({}), viewer.c_str()), in_place) << "no entries: nothing to miss";

  EXPECT_EQ(ExitCodeForVerify(VerifyStatus::kInPlace), kExitInstalled);
  EXPECT_EQ(ExitCodeForVerify(VerifyStatus::kDiffers), kExitNotInPlace);
  EXPECT_EQ(ExitCodeForVerify(VerifyStatus::kPayloadUnreadable), kExitNotInPlace);
}

}  // namespace
