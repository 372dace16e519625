// The pure text logic: option reading, the path split, folder texts, the log
// entry's bytes, the entry-name check and the destination page's texts.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>

#include "archive/entry_name.h"
#include "archive/zip_records.h"
#include "base/path_split.h"
#include "base/text.h"
#include "fs/replace_order.h"
#include "fs/temp_name.h"
#include "install/entry_text.h"
#include "install/record_text.h"
#include "report/log_text.h"
#include "silent/command_line.h"
#include "viewer/folder_text.h"
#include "wizard/page_text.h"

namespace {

std::wstring FolderOption(const wchar_t* commandLine) {
  SetupOptions options;
  ReadOptions(commandLine, &options);
  return options.folder;
}

std::string Utf8(const std::wstring& w) { return std::string(w.begin(), w.end()); }

}  // namespace

TEST(FolderOption, QuotedValueWithBlankLosesItsQuotes) {
  EXPECT_EQ(Utf8(FolderOption(L"setup.exe /silent /folder=\"C:\\My Apps\\Viewer\\\"")),
            "C:\\My Apps\\Viewer\\");
}

TEST(FolderOption, NextOptionEndsTheValueAndTrailingBlankGoes) {
  EXPECT_EQ(Utf8(FolderOption(L"setup.exe /silent /folder=C:\\Viewer /other")), "C:\\Viewer");
}

TEST(FolderOption, LeadingBlankIsKept) {
  EXPECT_EQ(Utf8(FolderOption(L"/silent /folder= C:\\Viewer")), " C:\\Viewer");
}

TEST(FolderOption, NothingAfterTheEqualsSignOrAnotherOptionGivesEmpty) {
  EXPECT_EQ(Utf8(FolderOption(L"/silent /folder=")), "");
  EXPECT_EQ(Utf8(FolderOption(L"/silent /folder=/app")), "");
  EXPECT_EQ(Utf8(FolderOption(L"/silent /folder=\"\"")), "");
}

TEST(FolderOption, ValueHoldsAtMost252Characters) {
  const std::wstring line = L"/folder=" + std::wstring(400, L'x');
  wchar_t value[520] = {};
  const size_t stopped = ReadOptionValue(line.c_str(), value, 8, 260);
  EXPECT_EQ(stopped, 260u);
  EXPECT_EQ(std::wstring(value).size(), 252u);
}

// Each option by the substring rules: case-sensitive, found anywhere (even
// inside a path), /verify over /silent, "/folder=" and "/app" only in the first
// 519 characters.
TEST(Options, EachCommandLineReadsAsTheRulesSay) {
  const std::wstring far(520, L' ');
  struct Case {
    std::wstring line;
    const char* flags;  // h(elp) v(erify) s(ilent) u(ninstall) a(pp) f(older given) l(og given)
    const char* folder;
    const char* log;
  } cases[] = {
      {L"setup.exe", "", "", ""},
      {L"setup.exe /silent", "s", "", ""},
      {L"setup.exe /Silent", "", "", ""},
      {L"setup.exe /silent /verify", "v", "", ""},
      {L"setup.exe /? /silent", "hs", "", ""},
      {L"setup.exe /silent /uninstall /folder=C:\\V", "suf", "C:\\V", ""},
      {L"/silent /folder=C:/app/x", "saf", "C:", ""},
      {L"/silent /folder=\"C:\\My Apps\" /log=\"C:\\l.txt\"", "sfl", "C:\\My Apps", "C:\\l.txt"},
      // A quote before the option: the folder runs to the next one's quote.
      {L"/silent \"/folder=C:\\V\" \"/log=C:\\l.txt\"", "sfl", "C:\\V\"", "C:\\l.txt"},
      {L"/silent" + far + L"/app /folder=C:\\V /log=C:\\l.txt", "sl", "", "C:\\l.txt"},
      {std::wstring(515, L' ') + L"/app", "a", "", ""},  // its last character is the 519th
      {std::wstring(516, L' ') + L"/app", "", "", ""},
  };
  for (const Case& c : cases) {
    SetupOptions o;
    ReadOptions(c.line.c_str(), &o);
    std::string flags;
    for (auto [set, letter] : {std::pair{o.help, 'h'}, {o.verify, 'v'}, {o.silent, 's'}, {o.uninstall, 'u'},
                               {o.app, 'a'}, {o.folderGiven, 'f'}, {o.logGiven, 'l'}}) {
      if (set) flags += letter;
    }
    const std::string shown = Utf8(c.line.size() > 80 ? c.line.substr(0, 80) + L"..." : c.line);
    EXPECT_EQ(flags, c.flags) << shown;
    EXPECT_EQ(Utf8(o.folder), c.folder) << shown;
    EXPECT_EQ(Utf8(o.log), c.log) << shown;
  }
}

TEST(FolderOption, OnlyOneQuoteAtEachEndIsRemoved) {
  wchar_t value[32] = L"\"\"C:\\x\"\"  ";
  CleanOptionValue(value);
  EXPECT_EQ(Utf8(value), "\"C:\\x\"");
}

struct SplitCase {
  const wchar_t* path;
  const char* drive;
  const char* dir;
  const char* name;
  const char* ext;
};

class PathSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathSplit, Parts) {
  const SplitCase& c = GetParam();
  PathParts p;
  SplitPath(c.path, &p);
  EXPECT_EQ(Utf8(p.drive), c.drive);
  EXPECT_EQ(Utf8(p.dir), c.dir);
  EXPECT_EQ(Utf8(p.name), c.name);
  EXPECT_EQ(Utf8(p.ext), c.ext);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplit,
    ::testing::Values(
        SplitCase{L"C:\\Tools\\Viewer\\p_moor32.exe", "C:", "\\Tools\\Viewer\\", "p_moor32", ".exe"},
        SplitCase{L"C:\\Tools\\Viewer\\", "C:", "\\Tools\\Viewer\\", "", ""},
        SplitCase{L"C:", "C:", "", "", ""},
        SplitCase{L"?:x.y", "?:", "", "x", ".y"},  // any first character makes a drive
        SplitCase{L"\\\\server\\share\\v", "", "\\\\server\\share\\", "v", ""},
        SplitCase{L"rel/dir.d/file", "", "rel/dir.d/", "file", ""},  // a dot in the directory
        SplitCase{L"a.b.c", "", "", "a.b", ".c"},
        SplitCase{L":\\Pixelmoor\\p_moor32.exe ", "", ":\\Pixelmoor\\", "p_moor32", ".exe "},
        SplitCase{L"", "", "", "", ""}));

TEST(PlainPathForm, DropsTheSystemsPrefixAsProgramsNameFiles) {
  const std::pair<const wchar_t*, const char*> cases[] = {
      {L"\\\\?\\C:\\Px\\p_moor32.exe", "C:\\Px\\p_moor32.exe"},
      {L"\\\\.\\C:\\Px", "C:\\Px"},
      {L"\\\\?\\UNC\\server\\share\\Px", "\\\\server\\share\\Px"},
      {L"C:\\Px", "C:\\Px"},
      {L"\\\\?\\UN", "\\\\?\\UN"},  // no UNC form: as it is
  };
  for (const auto& [path, plain] : cases) {
    wchar_t out[64];
    EXPECT_TRUE(PlainPathForm(path, out, 64));
    EXPECT_EQ(Utf8(out), plain);
  }
  wchar_t small[8];
  EXPECT_FALSE(PlainPathForm(L"\\\\?\\UNC\\server\\share", small, 8));
  EXPECT_EQ(Utf8(small), "");
}

// The names of delay-loaded DLLs and functions, as the log and the loader take them.
TEST(WidenAscii, CopiesWholeAsciiNamesAndRefusesTheRest) {
  wchar_t out[11];
  EXPECT_TRUE(WidenAscii(out, 11, "bcrypt.dll"));
  EXPECT_EQ(Utf8(out), "bcrypt.dll");
  EXPECT_FALSE(WidenAscii(out, 11, "advapi32.dll")) << "does not fit";
  EXPECT_EQ(Utf8(out), "");
  EXPECT_FALSE(WidenAscii(out, 11, "b\xe9" "crypt")) << "not ASCII";
  EXPECT_EQ(Utf8(out), "");
}

TEST(PathSplitLimits, A255CharacterDirectoryFitsA256OneEmptiesEverything) {
  PathParts p;
  const std::wstring fits = L"C:" + std::wstring(254, L'd') + L"\\n.e";
  SplitPath(fits.c_str(), &p);
  EXPECT_EQ(Utf8(p.drive), "C:");
  EXPECT_EQ(std::wstring(p.dir).size(), 255u);

  const std::wstring too_long = L"C:" + std::wstring(255, L'd') + L"\\n.e";
  SplitPath(too_long.c_str(), &p);
  EXPECT_EQ(Utf8(p.drive), "");
  EXPECT_EQ(Utf8(p.dir), "");
  EXPECT_EQ(Utf8(p.name), "");
  EXPECT_EQ(Utf8(p.ext), "");
}

TEST(OpenCommand, QuotedExecutableWithPlaceholderGivesItsFolder) {
  wchar_t folder[260];
  EXPECT_EQ(FolderFromOpenCommand(L"\"C:\\Tools\\Pixelmoor\\p_moor32.exe\" \"%1\"", folder), 1);
  EXPECT_EQ(Utf8(folder), "C:\\Tools\\Pixelmoor\\");
}

TEST(OpenCommand, ExecutableNameInCapitalsIsAccepted) {
  wchar_t folder[260];
  EXPECT_EQ(FolderFromOpenCommand(L"\"D:\\PX\\P_MOOR32.EXE\" \"%1\"", folder), 1);
  EXPECT_EQ(Utf8(folder), "D:\\PX\\");
}

TEST(OpenCommand, AnotherExecutableGivesNoFolder) {
  wchar_t folder[260] = L"stale";
  EXPECT_EQ(FolderFromOpenCommand(L"\"C:\\Other\\viewer.exe\" \"%1\"", folder), 0);
  EXPECT_EQ(Utf8(folder), "");
  EXPECT_EQ(FolderFromOpenCommand(L"", folder), 0);
}

// As Windows writes a command whose path has no blanks: up to the viewer's
// name that a blank, a quote or the end follows, whatever comes before it.
TEST(OpenCommand, UnquotedCommandGivesTheFolderOfItsExecutable) {
  const struct {
    const wchar_t* command;
    const char* folder;  // "" when none
  } kCommands[] = {
      {L"C:\\Pixelmoor\\p_moor32.exe %1", "C:\\Pixelmoor\\"},
      {L"C:\\Pixelmoor\\p_moor32.exe \"%1\"", "C:\\Pixelmoor\\"},
      {L"C:\\Pixelmoor\\P_Moor32.EXE", "C:\\Pixelmoor\\"},
      {L"C:\\Tools.exe x\\p_moor32.exe \"%1\"", "C:\\Tools.exe x\\"},
      {L"C:\\Pixelmoor\\p_moor32.exe.bak\\p_moor32.exe %1", "C:\\Pixelmoor\\p_moor32.exe.bak\\"},
      {L"\\\\server\\share\\PX\\p_moor32.exe %1", "\\\\server\\share\\PX\\"},
      {L"p_moor32.exe %1", ""},
      {L"C:\\Pixelmoor\\p_moor32.exe2 %1", ""},
      {L"Pixelmoor\\p_moor32.exe %1", ""},
      {L"\\p_moor32.exe %1", ""},
      {L" C:\\Pixelmoor\\p_moor32.exe %1", ""},
      {L"C:\\Pixel\tmoor\\p_moor32.exe\t%1", ""},
  };
  for (const auto& c : kCommands) {
    wchar_t folder[260] = L"stale";
    EXPECT_EQ(FolderFromOpenCommand(c.command, folder), c.folder[0] != 0 ? 1 : 0) << Utf8(c.command);
    EXPECT_EQ(Utf8(folder), c.folder) << Utf8(c.command);
  }
}

// What expanding in an elevated run leaves of a variable refuses the command;
// the command's own placeholders do not.
TEST(OpenCommand, OnlyAVariablesReferenceCountsAsUnexpanded) {
  EXPECT_TRUE(HasUnexpandedVariable(L"\"%UserTools%\\p_moor32.exe\" \"%1\""));
  EXPECT_TRUE(HasUnexpandedVariable(L"%A%"));
  for (const wchar_t* text : {L"\"C:\\PX\\p_moor32.exe\" \"%1\"", L"C:\\PX\\p_moor32.exe %1", L"100% sure",
                              L"%%", L"% %", L"%1\" \"%2", L""}) {
    EXPECT_FALSE(HasUnexpandedVariable(text)) << Utf8(text);
  }
}

TEST(OpenCommand, BareExecutableGivesABackslash) {
  wchar_t folder[260];
  EXPECT_EQ(FolderFromOpenCommand(L"\"p_moor32.exe\"", folder), 1);
  EXPECT_EQ(Utf8(folder), "\\");
}

TEST(ProgramFiles, PixelmoorIsAppendedWithoutTrailingBackslash) {
  wchar_t folder[260] = L"unchanged";
  EXPECT_EQ(FolderFromProgramFiles(L"C:\\Program Files", folder), 1);
  EXPECT_EQ(Utf8(folder), "C:\\Program Files\\Pixelmoor");
  EXPECT_EQ(FolderFromProgramFiles(L"C:\\Program Files\\", folder), 1);
  EXPECT_EQ(Utf8(folder), "C:\\Program Files\\Pixelmoor");
}

TEST(ProgramFiles, AFolderThatWouldNotFitLeavesTheDefault) {
  wchar_t folder[260] = L"C:\\Pixelmoor\\";
  const std::wstring long_dir = L"C:\\" + std::wstring(248, L'p');  // 251 + 10 > 259
  EXPECT_EQ(FolderFromProgramFiles(long_dir.c_str(), folder), 0);
  EXPECT_EQ(Utf8(folder), "C:\\Pixelmoor\\");
}

std::string LogEntry(const wchar_t* date, const wchar_t* time, const wchar_t* message) {
  char out[1024];
  const size_t n = FormatLogEntry(date, time, message, out, sizeof out);
  return std::string(out, n);
}

TEST(LogEntry, TwoLinesWithTheSeparator) {
  EXPECT_EQ(LogEntry(L"12/8/2026", L"09:05:01", L"No install folder!"),
            "12/8/2026 - 09:05:01: No install folder!\n" + std::string(48, '-') + "\n");
}

TEST(LogEntry, OneBytePerCharacterAndQuestionMarkAboveU00FF) {
  const std::string entry = LogEntry(L"8.\x00E9.2026\x5E74", L"10:00:00", L"\x00FF\x0100\n!");
  EXPECT_EQ(entry, std::string("8.\xE9.2026? - 10:00:00: \xFF?\n!\n") + std::string(48, '-') + "\n");
}

// A short-date format is the user's own text: a line break there could forge an entry.
TEST(LogEntry, ControlCharactersOfTheDateBecomeQuestionMarks) {
  const std::string entry = LogEntry(L"8\n9\r\x007F\x0085.2026", L"10:00:00", L"a\nb");
  EXPECT_EQ(entry, "8?9???.2026 - 10:00:00: a\nb\n" + std::string(48, '-') + "\n");
}

TEST(LogEntry, AnEntryThatDoesNotFitLeavesNothing) {
  const std::string whole = LogEntry(L"1/2/2026", L"10:00:00", L"message");
  char out[128];
  EXPECT_EQ(FormatLogEntry(L"1/2/2026", L"10:00:00", L"message", out, whole.size() + 1), whole.size());
  EXPECT_EQ(FormatLogEntry(L"1/2/2026", L"10:00:00", L"message", out, whole.size()), 0u);
  EXPECT_STREQ(out, "");
}

TEST(LogEntry, ClockAndFallbackDateHaveFixedWidths) {
  wchar_t time[9], date[11];
  FormatTimeOfDay(9, 5, 1, time);
  EXPECT_EQ(Utf8(time), "09:05:01");
  FormatTimeOfDay(23, 59, 59, time);
  EXPECT_EQ(Utf8(time), "23:59:59");
  FormatIsoDate(2026, 12, 8, date);
  EXPECT_EQ(Utf8(date), "2026-12-08");
  FormatIsoDate(987, 1, 2, date);
  EXPECT_EQ(Utf8(date), "0987-01-02");
}

TEST(EntryNames, PlainRelativeNamesPass) {
  for (const wchar_t* name : {L"Px_Png.dll", L"Codecs/", L"Codecs/Dav1d.dll", L"a\\b\\c.txt",
                              L"cone/ok", L"COM10", L"LPT0.txt", L".hidden", L"a..b",
                              L"CONSOLE.dll", L" lead"}) {
    EXPECT_TRUE(IsPlainRelativeName(name)) << Utf8(name);
  }
}

TEST(EntryNames, EscapesDrivesStreamsAndDevicesAreRefused) {
  for (const wchar_t* name :
       {L"", L"/", L"../x", L"..\\x", L"a/../../x", L"a/b/..", L"./x", L"/x", L"\\x",
        L"C:\\x", L"C:x", L"\\\\host\\share\\x", L"\\\\?\\C:\\x", L"a.dll:s", L"a//b",
        L"CON", L"con", L"nul.txt", L"Aux.tar.gz", L"COM1 ", L"COM1 .log", L"lpt9", L"com\x00B9",
        L"CONIN$", L"con.d/ok", L"dir/PRN/x", L"x.", L"x ", L"dir./x", L"a*b", L"a?b", L"a\"b", L"a<b",
        L"a>b", L"a|b", L"tab\there"}) {
    EXPECT_FALSE(IsPlainRelativeName(name)) << Utf8(name);
  }
}

TEST(EntryNames, TemporaryFileLiesInTheEntrysOwnFolder) {
  wchar_t temp[40];
  ASSERT_TRUE(SiblingTempName(L"Codecs\\Px_Raw.dll", 0x1F, 2, temp, 40));
  EXPECT_EQ(Utf8(temp), "Codecs\\~px1f-2.tmp");
  ASSERT_TRUE(SiblingTempName(L"a/b/c.dll", 0xFFFFFFFF, 0, temp, 40));
  EXPECT_EQ(Utf8(temp), "a/b/~pxffffffff-0.tmp");
  ASSERT_TRUE(SiblingTempName(L"top.dll", 7, 0x10, temp, 40));
  EXPECT_EQ(Utf8(temp), "~px7-10.tmp");
  EXPECT_FALSE(SiblingTempName(L"a/b/c.dll", 7, 0x10, temp, 15));  // needs 16
  EXPECT_EQ(Utf8(temp), "");
}

// A later setup deletes only what has exactly that form.
TEST(EntryNames, OnlyTheTemporaryFilesOwnFormIsKnownAsOne) {
  EXPECT_TRUE(IsSiblingTempLeaf(L"~px1f-2.tmp"));
  EXPECT_TRUE(IsSiblingTempLeaf(L"~pxffffffff-0.tmp"));
  for (const wchar_t* other : {L"~px1f-2.tmp.dll", L"~px-2.tmp", L"~px1f-.tmp", L"~px1F-2.tmp",
                               L"~px123456789-2.tmp", L"~px1f2.tmp", L"~px1f-2.TMP", L"px1f-2.tmp",
                               L"~px1f-2.tm", L"Codecs\\~px1f-2.tmp"}) {
    EXPECT_FALSE(IsSiblingTempLeaf(other)) << Utf8(other);
  }
}

// A plug-in moved aside keeps its own name inside the aside name, so that the
// next setup can put it back; the aside name never ends as a plug-in's does.
TEST(EntryNames, AsideNameHoldsThePlugInsOwnNameAndNothingElseReadsAsOne) {
  wchar_t aside[40], own[40];
  ASSERT_TRUE(AsideLeaf(L"Px_Raw.dll", 0x1F, 2, aside, 40));
  EXPECT_EQ(Utf8(aside), "~px1f-2.Px_Raw.dll.old");
  ASSERT_TRUE(AsideOwner(aside, own, 40));
  EXPECT_EQ(Utf8(own), "Px_Raw.dll");
  ASSERT_TRUE(AsideOwner(L"~px1-0.a.old", own, 40));
  EXPECT_EQ(Utf8(own), "a");
  EXPECT_FALSE(AsideLeaf(L"Px_Raw.dll", 0x1F, 2, aside, 22));  // needs 23
  EXPECT_EQ(Utf8(aside), "");
  EXPECT_FALSE(AsideOwner(L"~px1f-2.Px_Raw.dll.old", own, 10));  // needs 11
  EXPECT_EQ(Utf8(own), "");
  for (const wchar_t* other : {L"~px1f-2.old", L"~px1f-2..old", L"~px1f-2.tmp", L"~px1f-2.a.OLD",
                               L"~px1f-2.a.old.dll", L"~px1F-2.a.old", L"px1f-2.a.old", L"~px1f2.a.old"}) {
    EXPECT_FALSE(AsideOwner(other, own, 40)) << Utf8(other);
  }
  EXPECT_FALSE(IsSiblingTempLeaf(L"~px1f-2.Px_Raw.dll.old")) << "an aside file is no temporary one";
}

// Each volume's order, by the attributes its file system reports.
TEST(ReplaceOrders, PosixRenamesOnlyWhereTheVolumeSaysItHasThem) {
  // FILE_CASE_SENSITIVE_SEARCH, _CASE_PRESERVED_NAMES, _UNICODE_ON_DISK,
  // _PERSISTENT_ACLS, _SUPPORTS_REPARSE_POINTS and _NAMED_STREAMS.
  constexpr unsigned long kCasePreserved = 0x2, kUnicode = 0x4, kAcls = 0x8;
  constexpr unsigned long kNtfs = 0x1 | kCasePreserved | kUnicode | kAcls | 0x80 | 0x40000;
  const struct {
    const char* volume;
    unsigned long flags;
    ReplaceOrder order;
  } kVolumes[] = {
      {"NTFS, Windows 10 1809 and later", kNtfs | kVolumePosixRenames, ReplaceOrder::kPosix},
      {"NTFS, Windows 10 1803 and earlier", kNtfs, ReplaceOrder::kAside},
      {"FAT32 and exFAT", kCasePreserved | kUnicode, ReplaceOrder::kAside},
      {"Wine's drives", kCasePreserved | kAcls, ReplaceOrder::kAside},
      {"nothing read", 0, ReplaceOrder::kAside},
  };
  for (const auto& volume : kVolumes) {
    EXPECT_EQ(static_cast<int>(ReplaceOrderFor(volume.flags)), static_cast<int>(volume.order)) << volume.volume;
  }
}

// Where an entry's file or folder lies below the target, the path its real
// location is compared with.
TEST(EntryNames, PathBelowTheFolderUsesBackslashesAndFits) {
  wchar_t path[40];
  ASSERT_TRUE(EntryPathBelow(L"\\\\?\\C:\\V\\Plugins", L"Codecs/a.dll", 6, path, 40));
  EXPECT_EQ(Utf8(path), "\\\\?\\C:\\V\\Plugins\\Codecs");
  ASSERT_TRUE(EntryPathBelow(L"\\\\?\\D:\\", L"a/b\\c.dll", 9, path, 40));  // a drive's root
  EXPECT_EQ(Utf8(path), "\\\\?\\D:\\a\\b\\c.dll");
  ASSERT_TRUE(EntryPathBelow(L"C:\\P", L"x.dll", 5, path, 11));  // exactly fits
  EXPECT_EQ(Utf8(path), "C:\\P\\x.dll");
  EXPECT_FALSE(EntryPathBelow(L"C:\\P", L"x.dll", 5, path, 10));
  EXPECT_EQ(Utf8(path), "");
}

TEST(EmptyArchive, OnlyAnEndRecordWithoutEntriesCounts) {
  unsigned char record[22 + 3] = {0x50, 0x4B, 0x05, 0x06};
  EXPECT_TRUE(IsEmptyArchiveRecord(record, 22));
  record[20] = 3;  // a three-byte comment
  EXPECT_FALSE(IsEmptyArchiveRecord(record, 24));
  EXPECT_TRUE(IsEmptyArchiveRecord(record, 25));
  record[20] = 0;
  record[10] = 1;  // one entry
  EXPECT_FALSE(IsEmptyArchiveRecord(record, 22));
  EXPECT_FALSE(IsEmptyArchiveRecord(reinterpret_cast<const unsigned char*>("PK\3\4"), 4));
}

namespace {
std::wstring Trimmed(std::wstring text) {
  text.resize(text.size() + 1);  // room for the terminator
  TrimBlanks(&text[0]);
  return text.c_str();
}
}  // namespace

TEST(TrimBlanks, BlanksGoFromBothEndsButTabsStay) {
  EXPECT_EQ(Utf8(Trimmed(L"   C:\\Viewer\\  ")), "C:\\Viewer\\");
  EXPECT_EQ(Utf8(Trimmed(L"C:\\My Viewer ")), "C:\\My Viewer");
  EXPECT_EQ(Utf8(Trimmed(L"\tC:\\Viewer\t")), "\tC:\\Viewer\t");
  EXPECT_EQ(Utf8(Trimmed(L"     ")), "");
  EXPECT_EQ(Utf8(Trimmed(L"")), "");
}

TEST(TrimBlanks, LeadingBlanksStayOnATextOf260CharactersOrMore) {
  const std::wstring long_text = L" C:\\" + std::wstring(256, L'a');  // 260 characters
  EXPECT_EQ(Trimmed(long_text + L"  "), long_text);
  const std::wstring shorter = L" C:\\" + std::wstring(255, L'a');  // 259 characters
  EXPECT_EQ(Trimmed(shorter), shorter.substr(1));
}

TEST(NextCheck, NeedsADriveInTheFirstTwoCharacters) {
  EXPECT_TRUE(IsAcceptableInstallFolder(L"C:\\Tools\\Viewer\\"));
  EXPECT_TRUE(IsAcceptableInstallFolder(L"C:Viewer"));
  EXPECT_TRUE(IsAcceptableInstallFolder(L"?:\\x"));  // any first character, as the split has it
  EXPECT_FALSE(IsAcceptableInstallFolder(L""));
  EXPECT_FALSE(IsAcceptableInstallFolder(L"Viewer\\"));
  EXPECT_FALSE(IsAcceptableInstallFolder(L"\\\\server\\share\\viewer"));
  EXPECT_FALSE(IsAcceptableInstallFolder(L" C:\\Viewer"));
}

TEST(NextCheck, RefusesAPartOf256CharactersOrMore) {
  // The directory part runs from the first backslash to the last one.
  EXPECT_TRUE(IsAcceptableInstallFolder((L"C:\\" + std::wstring(253, L'd') + L"\\").c_str()));
  EXPECT_FALSE(IsAcceptableInstallFolder((L"C:\\" + std::wstring(254, L'd') + L"\\").c_str()));
  EXPECT_TRUE(IsAcceptableInstallFolder((L"C:\\" + std::wstring(255, L'n')).c_str()));
  EXPECT_FALSE(IsAcceptableInstallFolder((L"C:\\" + std::wstring(256, L'n')).c_str()));
}

TEST(NextCheck, AFullLengthFolderNeedsItsTrailingBackslash) {
  // 259 characters: the page could not have added the backslash.
  const std::wstring folder = L"C:\\" + std::wstring(120, L'a') + L"\\" + std::wstring(135, L'b');
  ASSERT_EQ(folder.size(), 259u);
  EXPECT_FALSE(IsAcceptableInstallFolder(folder.c_str()));
  EXPECT_TRUE(IsAcceptableInstallFolder(folder.substr(0, 258).c_str()));
  // With the backslash its directory part would exceed 255 characters anyway.
  EXPECT_FALSE(IsAcceptableInstallFolder((folder.substr(0, 258) + L"\\").c_str()));
}

TEST(PickerStart, DropsTheTrailingBackslashExceptOnADriveRoot) {
  wchar_t start[kPageFolderChars + 1];
  PickerStartFolder(L"C:\\Tools\\Viewer\\", start);
  EXPECT_EQ(Utf8(start), "C:\\Tools\\Viewer");
  PickerStartFolder(L"C:\\", start);
  EXPECT_EQ(Utf8(start), "C:\\");
  PickerStartFolder(L"C:\\Tools\\Viewer", start);
  EXPECT_EQ(Utf8(start), "C:\\Tools\\Viewer");
  PickerStartFolder(L"", start);
  EXPECT_EQ(Utf8(start), "");
  PickerStartFolder(L"ab\\", start);  // not longer than 3 characters
  EXPECT_EQ(Utf8(start), "ab\\");
}

TEST(PageTexts, PlaceholdersAreFilledInOrderAndOthersKept) {
  const wchar_t* args[] = {L"4.57", L"32", L"32"};
  wchar_t out[200];
  ASSERT_TRUE(FillPlaceholders(L"version  %s (%s bit)\n%s-bit 100%d %s", args, 3, out, 200));
  EXPECT_EQ(Utf8(out), "version  4.57 (32 bit)\n32-bit 100%d %s");
  ASSERT_TRUE(FillPlaceholders(L"%%s", args, 1, out, 200));
  EXPECT_EQ(Utf8(out), "%4.57");
}

TEST(PageTexts, AResultThatDoesNotFitLeavesNothing) {
  const wchar_t* args[] = {L"4.57"};
  wchar_t out[9];
  EXPECT_TRUE(FillPlaceholders(L"v %s !", args, 1, out, 9));  // 8 characters and the end
  EXPECT_EQ(Utf8(out), "v 4.57 !");
  EXPECT_FALSE(FillPlaceholders(L"v %s !", args, 1, out, 8));
  EXPECT_EQ(Utf8(out), "");
}

TEST(PageTexts, NextButtonIsNamedAsTheSystemLabelsIt) {
  wchar_t label[66];
  NextButtonLabel(L"&Next >", label, 66);
  EXPECT_EQ(Utf8(label), "");
  NextButtonLabel(L"&Weiter >", label, 66);
  EXPECT_EQ(Utf8(label), "\"&Weiter >\"");
  NextButtonLabel(L"next", label, 66);  // the test is case-sensitive
  EXPECT_EQ(Utf8(label), "\"next\"");
  const std::wstring caption(63, L'x');
  NextButtonLabel(caption.c_str(), label, 66);
  EXPECT_EQ(Utf8(label), "\"" + std::string(63, 'x') + "\"");
}

// The record's file lines: what is written reads back the same, and a line
// a reader cannot take whole refuses the record rather than naming another file.
TEST(RecordLines, AFileLineReadsBackAsWritten) {
  RecordedFile file = {L"Codecs/Dav1d.dll", 48450, {}, 0x98f8d5aa};
  for (int i = 0; i < 32; ++i) file.sha256[i] = static_cast<unsigned char>(i * 9);
  wchar_t line[kRecordLineChars];
  ASSERT_TRUE(FileLine(file, line));
  EXPECT_EQ(Utf8(line), "File: 48450 0009121b242d363f48515a636c757e879099a2abb4bdc6cfd8e1eaf3fc050e17 98f8d5aa Codecs\\Dav1d.dll");
  wchar_t text[kRecordLineChars];
  RecordedFile back;
  ASSERT_EQ(ReadRecordLine(line, TextLength(line), text, &back), RecordLine::kFile);
  EXPECT_EQ(Utf8(back.name), "Codecs/Dav1d.dll");
  EXPECT_EQ(back.size, 48450u);
  EXPECT_EQ(back.crc, 0x98f8d5aau);
  EXPECT_EQ(memcmp(back.sha256, file.sha256, 32), 0);
}

TEST(RecordLines, EachLineIsReadAsItsKeywordSays) {
  const std::wstring sha(64, L'A');
  const struct {
    const wchar_t* line;
    RecordLine kind;
  } cases[] = {
      {L"Package: 4.57", RecordLine::kPackage},
      {L"Plugins: C:\\Program Files\\Pixelmoor\\Plugins", RecordLine::kPlugins},
      {L"Plugins: Pixelmoor\\Plugins", RecordLine::kBad},  // no full path
      {L"Package: ", RecordLine::kBad},
      {L"Signed: yes", RecordLine::kOther},  // a later release's line
      {L"", RecordLine::kOther},
      {L"file: 1 x", RecordLine::kOther},  // keywords are written one way
  };
  for (const auto& c : cases) {
    wchar_t text[kRecordLineChars];
    RecordedFile file;
    EXPECT_EQ(ReadRecordLine(c.line, TextLength(c.line), text, &file), c.kind) << Utf8(c.line);
  }
  const std::wstring good = L"File: 12 " + sha + L" 0000000F a b.dll";
  const std::wstring refused[] = {
      L"File: 12 " + sha + L" 0000000F ..\\x.dll",       // out of Plugins
      L"File: 12 " + sha + L" 0000000F C:\\x.dll",       // a drive
      L"File: 12 " + sha + L" 0000000F Codecs\\",         // a folder
      L"File: 12 " + sha + L" 0000000F ",                  // no name
      L"File: 12 " + sha.substr(1) + L" 0000000F a.dll",   // a digit short
      L"File: 12 " + sha + L" 0000000G a.dll",             // no hex digit
      L"File: 18446744073709551616 " + sha + L" 0000000F a.dll",  // past 64 bits
      L"File: -1 " + sha + L" 0000000F a.dll",
      L"File: 12  " + sha + L" 0000000F a.dll",            // two blanks
      L"File: 12 " + sha + L" 0000000F a\tb.dll",          // a control character
  };
  wchar_t text[kRecordLineChars];
  RecordedFile file;
  EXPECT_EQ(ReadRecordLine(good.c_str(), good.size(), text, &file), RecordLine::kFile);
  EXPECT_EQ(Utf8(file.name), "a b.dll");
  for (const std::wstring& line : refused) {
    EXPECT_EQ(ReadRecordLine(line.c_str(), line.size(), text, &file), RecordLine::kBad) << Utf8(line.c_str());
  }
}

// The uninstaller copy's names: one per installation, and only those swept.
TEST(UninstallerNames, EachCopyHasItsOwnAndOnlyThatFormIsSwept) {
  wchar_t leaf[64];
  ASSERT_TRUE(UninstallerLeaf(L"4.57", 0x0123456789abcdefu, leaf, 64));
  EXPECT_EQ(Utf8(leaf), "PixelmoorPlugInsUninstall-4.57-0123456789abcdef.exe");
  EXPECT_TRUE(IsUninstallerLeaf(leaf));
  EXPECT_FALSE(UninstallerLeaf(L"4.57 beta", 1, leaf, 64)) << Utf8(leaf);
  EXPECT_FALSE(UninstallerLeaf(L"4.57", 1, leaf, 51)) << "one character short";
  for (const wchar_t* other : {L"PixelmoorPlugInsUninstall-4.57-0123456789ABCDEF.exe",
                               L"PixelmoorPlugInsUninstall-4.57-0123456789abcde.exe",
                               L"PixelmoorPlugInsUninstall-4.57-0123456789abcdef.exe.old",
                               L"PixelmoorPlugInsUninstall--0123456789abcdef.exe",
                               L"PixelmoorPlugInsUninstall-4.x-0123456789abcdef.exe",
                               L"PixelmoorPlugInsSetup-4.57-0123456789abcdef.exe", L"InstallRecord.txt"}) {
    EXPECT_FALSE(IsUninstallerLeaf(other)) << Utf8(other);
  }
}

// The uninstall commands, read back by the setup's own option rules, name
// the viewer's folder and the log exactly.
TEST(UninstallerNames, CommandsReadBackAsTheFolderAndLogTheyName) {
  const std::wstring copy = L"C:\\Program Files (x86)\\Pixelmoor PlugIns\\PixelmoorPlugInsUninstall-4.57-0123456789abcdef.exe";
  const std::wstring log = L"C:\\Program Files (x86)\\Pixelmoor PlugIns\\Uninstall.log";
  const struct {
    std::wstring plugins;
    std::string folder;  // empty: refused
  } cases[] = {
      {L"C:\\Program Files (x86)\\Pixelmoor\\Plugins", "C:\\Program Files (x86)\\Pixelmoor"},
      {L"D:\\Plugins", "D:\\"},
      {L"\\\\server\\share\\Pixelmoor\\Plugins", "\\\\server\\share\\Pixelmoor"},
      {L"Plugins", ""},
      {L"C:\\Pix\"moor\\Plugins", ""},
      {L"C:\\Pixelmoor \\Plugins", ""},  // the reading would drop the blank
      {L"C:\\Pix/moor\\Plugins", ""},    // "/" would end the value
      {L"C:\\" + std::wstring(247, L'x') + L"\\Plugins", "C:\\" + std::string(247, 'x')},  // the longest
      {L"C:\\" + std::wstring(248, L'x') + L"\\Plugins", ""},  // "/folder=" would be cut
  };
  for (const auto& c : cases) {
    wchar_t command[2048];
    const bool made = UninstallCommand(copy.c_str(), c.plugins.c_str(), log.c_str(), true, command, 2048);
    ASSERT_EQ(made, !c.folder.empty()) << Utf8(c.plugins);
    if (!made) continue;
    SetupOptions o;
    ReadOptions(command, &o);
    EXPECT_TRUE(o.silent && o.uninstall && o.folderGiven && !o.app) << Utf8(command);
    EXPECT_EQ(Utf8(o.folder), c.folder) << Utf8(command);
    EXPECT_EQ(Utf8(o.log), Utf8(log)) << Utf8(command);
  }
  wchar_t command[2048];
  // A drive's root unquoted: "\\\"" would read as a quote to a program that splits the line.
  ASSERT_TRUE(UninstallCommand(copy.c_str(), L"D:\\Plugins", log.c_str(), true, command, 2048));
  EXPECT_NE(std::wstring(command).find(L" /folder=D:\\ /log="), std::wstring::npos) << Utf8(command);
  EXPECT_FALSE(UninstallCommand(L"C:\\\"x.exe", cases[0].plugins.c_str(), log.c_str(), true, command, 2048));
  const std::wstring long_copy = L"C:\\" + std::wstring(480, L'y') + L"\\u.exe";  // "/folder=" past 519
  EXPECT_FALSE(UninstallCommand(long_copy.c_str(), cases[0].plugins.c_str(), log.c_str(), true, command, 2048));
  ASSERT_TRUE(UninstallCommand(copy.c_str(), cases[0].plugins.c_str(), log.c_str(), false, command, 2048));
  EXPECT_EQ(Utf8(command), "\"" + Utf8(copy) + "\" /uninstall /folder=\"C:\\Program Files (x86)\\Pixelmoor\" /log=\"" +
                               Utf8(log) + "\"");
}
