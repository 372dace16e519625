// Drives the real wizard as a person would: starts the setup without "/silent",
// waits for its window, reads the texts of its controls, types into the edit
// box, presses the buttons, answers the message boxes, and checks what was
// installed and that the program has ended. Saves screenshots of the main states.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "framework/propsheet.h"
#include "message_texts.h"
#include "res/setup_identity.h"
#include "screenshot.h"
#include "test_support.h"
#include "zip_builder.h"

namespace {

std::wstring g_setup, g_payload, g_viewer, g_screenshots;

constexpr int kBackButton = kWizardBackButton;
constexpr int kNextButton = kWizardNextButton;
constexpr int kFolderEdit = 1000;
constexpr int kBrowseButton = 1009;
constexpr DWORD kPatience = 20000;  // milliseconds to wait for a window or the end
// The exit codes a deployment tool reads from a wizard run.
constexpr long kInstalledCode = 0, kFailed = 1, kLeft = 4;

const wchar_t kCaption[] = L"Pixelmoor PlugIns 32-bit Setup";

// ---- reading and pressing another process's windows ----

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

std::wstring TextOf(HWND w) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

void Type(HWND edit, const std::wstring& text) {
  DWORD_PTR ignored;
  ASSERT_TRUE(SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                  SMTO_ABORTIFHUNG, 5000, &ignored));
}

// Posted, so that the driver never waits on a message box the click opens.
void Click(HWND button) { ASSERT_TRUE(PostMessageW(button, BM_CLICK, 0, 0)); }

BOOL CALLBACK CollectChild(HWND w, LPARAM out) {
  reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool HasDescendantOfClass(HWND parent, const wchar_t* cls) {
  for (HWND w : Descendants(parent)) {
    if (ClassOf(w) == cls) return true;
  }
  return false;
}

struct TopWindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND w, LPARAM p) {
  auto* search = reinterpret_cast<TopWindowSearch*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner == search->pid && IsWindowVisible(w)) search->found.push_back(w);
  return TRUE;
}

// The visible top-level windows of process `pid`.
std::vector<HWND> TopWindows(DWORD pid) {
  TopWindowSearch search{pid, {}};
  EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsSheet(HWND w) { return GetDlgItem(w, kNextButton) != nullptr; }
bool IsPicker(HWND w) { return HasDescendantOfClass(w, L"SysTreeView32"); }
bool IsMessageBox(HWND w) { return ClassOf(w) == L"#32770" && !IsSheet(w) && !IsPicker(w); }

struct MessageBoxSeen {
  HWND window = nullptr;
  std::wstring caption, text;
  std::vector<int> buttons;
  int default_button = 0;
};

MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.window = box;
  seen.caption = TextOf(box);
  for (HWND child : Descendants(box)) {
    const std::wstring cls = ClassOf(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (cls == L"Button") {
      seen.buttons.push_back(GetDlgCtrlID(child));
      if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) seen.default_button = GetDlgCtrlID(child);
    } else if (cls == L"Static" && (style & SS_TYPEMASK) != SS_ICON) {
      const std::wstring text = TextOf(child);
      if (!text.empty()) seen.text = text;
    }
  }
  return seen;
}

std::string Show(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c == L'\n' ? std::string("\\n") : std::string(1, c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// ---- one run of the setup ----

class WizardRun {
 public:
  ~WizardRun() {
    if (process_ != nullptr) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
      CloseHandle(process_);
    }
  }
  // Starts the setup (`exe`, or the one built); a run that has ended before
  // may be started again.
  bool Start(const std::wstring& cwd, const wchar_t* environment = nullptr,
             const std::wstring& exe = L"") {
    if (process_ != nullptr) CloseHandle(process_);
    process_ = StartProcess(exe.empty() ? g_setup : exe, L"", cwd, environment);
    if (process_ == nullptr) return false;
    pid_ = GetProcessId(process_);
    return true;
  }

  // The first visible top-level window of the setup that `accept` takes, or null.
  HWND WaitFor(const std::function<bool(HWND)>& accept, DWORD patience = kPatience) {
    for (DWORD waited = 0; waited < patience; waited += 50) {
      for (HWND w : TopWindows(pid_)) {
        if (accept(w)) return w;
      }
      if (WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }
  HWND WaitForSheet() {
    sheet_ = WaitFor([](HWND w) { return IsSheet(w) && IsWindowEnabled(w); });
    return sheet_;
  }
  // The message box in front, read, or one with no window.
  MessageBoxSeen WaitForMessageBox(DWORD patience = kPatience) {
    HWND box = WaitFor([](HWND w) { return IsMessageBox(w) && IsWindowEnabled(w); }, patience);
    return box != nullptr ? ReadMessageBox(box) : MessageBoxSeen{};
  }
  HWND WaitForPicker() {
    return WaitFor([](HWND w) { return IsPicker(w) && IsWindowEnabled(w); });
  }
  // Whether a message box shows now.
  bool MessageBoxShown() {
    for (HWND w : TopWindows(pid_)) {
      if (IsMessageBox(w)) return true;
    }
    return false;
  }
  // Whether a message box shows within `patience` milliseconds.
  bool MessageBoxShows(DWORD patience) { return WaitForMessageBox(patience).window != nullptr; }

  // The process's exit code once it has ended within the patience; -1 while it runs.
  long ExitCode() {
    if (WaitForSingleObject(process_, kPatience) != WAIT_OBJECT_0) return -1;
    DWORD code = 99;
    return GetExitCodeProcess(process_, &code) ? static_cast<long>(code) : -2;
  }
  bool StillRunning() { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

  HWND Sheet() const { return sheet_; }
  HWND Page() const {
    HWND page = nullptr;
    SendMessageTimeoutW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000,
                        reinterpret_cast<DWORD_PTR*>(&page));
    return page;
  }
  HWND PageItem(int id) const { return GetDlgItem(Page(), id); }
  std::wstring PageText(int id) const { return TextOf(PageItem(id)); }
  void PressNext() { ASSERT_TRUE(PostMessageW(sheet_, PSM_PRESSBUTTON, PSBTN_NEXT, 0)); }
  void PressExit() { Click(GetDlgItem(sheet_, IDCANCEL)); }
  void PressCloseBox() { ASSERT_TRUE(PostMessageW(sheet_, WM_SYSCOMMAND, SC_CLOSE, 0)); }

  // Saves the sheet and any window in front of it as build/screenshots/NAME.png.
  void Screenshot(const wchar_t* name) {
    Sleep(300);  // let the last paint reach the screen
    RECT area = {};
    bool first = true;
    for (HWND w : TopWindows(pid_)) {
      RECT r;
      if (!GetWindowRect(w, &r) || r.right - r.left < 40) continue;  // skip helper windows
      if (first) {
        area = r;
        first = false;
      } else {
        UnionRect(&area, &area, &r);
      }
    }
    const std::wstring path = g_screenshots + L"\\" + name + L".png";
    EXPECT_TRUE(SaveScreenArea(area, path)) << "screenshot " << Narrow(path);
  }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND sheet_ = nullptr;
};

// Answers the message box by pressing one of its buttons, and waits until it is gone.
void Answer(const MessageBoxSeen& box, int button) {
  Click(GetDlgItem(box.window, button));
  for (int i = 0; i < 200 && IsWindow(box.window) && IsWindowVisible(box.window); ++i) Sleep(25);
  EXPECT_FALSE(IsWindow(box.window) && IsWindowVisible(box.window)) << "the message box stayed";
}

// ---- the cases ----

class Wizard : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteMachineKey(kViewerClassKey);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = MakeScratchFolder(Widen(std::string("wizard.") + info->name()));
    viewer_folder_ = dir_ + L"\\Pixelmoor";
  }
  void TearDown() override {
    viewer_.Stop();
    DeleteMachineKey(kViewerClassKey);
  }
  void RegisterViewer(const std::wstring& folder = L"") {
    const std::wstring registered = folder.empty() ? viewer_folder_ : folder;
    ASSERT_TRUE(SetMachineString(kViewerCommandKey, nullptr,
                                 L"\"" + registered + L"\\p_moor32.exe\" \"%1\""));
  }
  // Starts the setup (`exe`, or the one built) and waits for its sheet.
  void Open(const wchar_t* environment = nullptr, const std::wstring& exe = L"") {
    ASSERT_TRUE(run_.Start(dir_, environment, exe));
    ASSERT_NE(run_.WaitForSheet(), nullptr) << "the wizard did not show";
  }
  // Expects a message box with `text` and the wizard's caption, and presses `button`.
  void ExpectMessageBox(const wchar_t* text, int button = IDOK) {
    const MessageBoxSeen box = run_.WaitForMessageBox();
    ASSERT_NE(box.window, nullptr) << "no message box \"" << Show(text) << "\"";
    EXPECT_EQ(Show(box.text), Show(text));
    EXPECT_EQ(Show(box.caption), Show(kCaption));
    Answer(box, button);
  }
  // Exit or the close box asks "Exit setup?" with No as default; No keeps the wizard.
  void ExpectExitQuestionAndAnswer(int button) {
    const MessageBoxSeen box = run_.WaitForMessageBox();
    ASSERT_NE(box.window, nullptr) << "leaving did not ask";
    EXPECT_EQ(Show(box.text), Show(kExitSetupWideText));
    EXPECT_EQ(Show(box.caption), Show(kCaption));
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(box.default_button, IDNO);
    Answer(box, button);
  }
  void ExpectStaysOpen() {
    EXPECT_FALSE(run_.MessageBoxShows(500)) << "a second question";
    EXPECT_TRUE(run_.StillRunning()) << "the wizard closed";
    EXPECT_NE(run_.WaitForSheet(), nullptr) << "the wizard is not back in front";
  }
  void ExpectEndsWithoutAsking() {
    EXPECT_FALSE(run_.MessageBoxShows(1000)) << "asked although no folder was known";
    EXPECT_EQ(run_.ExitCode(), kLeft) << "the setup did not end as left";
  }
  void ExpectNothingInstalled() {
    for (const auto& [name, folder] : ListTree(dir_)) ADD_FAILURE() << "created " << Narrow(name);
  }

  std::wstring dir_, viewer_folder_;
  WizardRun run_;
  ViewerStandIn viewer_;
};

TEST_F(Wizard, FirstShowProposesTheRegisteredFolderAndFormatsTheTexts) {
  RegisterViewer();
  Open();
  EXPECT_EQ(Show(TextOf(run_.Sheet())), Show(kCaption));
  EXPECT_EQ(Show(TextOf(GetDlgItem(run_.Sheet(), IDCANCEL))), "Exit");
  EXPECT_EQ(Show(run_.PageText(kFolderEdit)), Show(viewer_folder_ + L"\\"));
  EXPECT_EQ(Show(run_.PageText(1013)), "Welcome to Pixelmoor PlugIns setup!");
  EXPECT_EQ(Show(run_.PageText(1019)),
            "This program will install additional Pixelmoor PlugIns version  " +
                std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + " (32 bit)  on "
            "your system.\\n(it should be started with Admin permissions)\\n\\nThe destination "
            "folder must be your (base) Pixelmoor 32-bit folder.");
  EXPECT_EQ(Show(run_.PageText(1020)),
            "If the installer can't find Pixelmoor-32 in the system registry, please use the "
            "'Browse' button and find it manually.");
  EXPECT_EQ(Show(run_.PageText(1018)), "(Do NOT install these PlugIns to Pixelmoor 64-bit folder/version)");
  EXPECT_EQ(Show(run_.PageText(1017)), "\"Next\"") << "English buttons read Next";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(run_.Sheet(), kBackButton))) << "Back is enabled";
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(run_.Sheet(), kNextButton))) << "Next is disabled";

  run_.Screenshot(L"first-show");

  run_.PressExit();
  const MessageBoxSeen box = run_.WaitForMessageBox();
  ASSERT_NE(box.window, nullptr);
  run_.Screenshot(L"exit-question");
  Answer(box, IDYES);
  EXPECT_EQ(run_.ExitCode(), kLeft);
  EXPECT_FALSE(Exists(viewer_folder_)) << "leaving installed something";
}

// The pictures at 96 and at 144 dpi (as Wine takes it from the user's
// LogPixels), proposing a usual folder; the sheet grows with the screen.
// scripts/docs puts them into docs/.
TEST_F(Wizard, At144DpiTheSheetGrowsWithTheScreen) {
  const wchar_t kDesktop[] = L"Control Panel\\Desktop";
  RegisterViewer(L"C:\\Program Files\\Pixelmoor");
  Open();
  RECT at96 = {};
  GetWindowRect(run_.Sheet(), &at96);
  run_.Screenshot(L"wizard-96dpi");
  run_.PressCloseBox();
  ExpectExitQuestionAndAnswer(IDYES);
  ASSERT_EQ(run_.ExitCode(), kLeft);

  const DWORD dpi = 144;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &dpi, sizeof dpi),
            ERROR_SUCCESS);
  Open();
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
  RECT at144 = {};
  GetWindowRect(run_.Sheet(), &at144);
  EXPECT_GT(at144.right - at144.left, (at96.right - at96.left) * 5 / 4) << "the sheet did not grow";
  run_.Screenshot(L"wizard-144dpi");
  run_.PressCloseBox();
  ExpectExitQuestionAndAnswer(IDYES);
  EXPECT_EQ(run_.ExitCode(), kLeft);
}

TEST_F(Wizard, ExitWithAKnownFolderAsksAndNoKeepsTheWizard) {
  RegisterViewer();
  Open();
  run_.PressExit();
  ExpectExitQuestionAndAnswer(IDNO);
  ExpectStaysOpen();
  run_.PressExit();
  ExpectExitQuestionAndAnswer(IDYES);
  EXPECT_FALSE(run_.MessageBoxShows(1000)) << "asked twice";
  EXPECT_EQ(run_.ExitCode(), kLeft);
  ExpectNothingInstalled();
}

TEST_F(Wizard, CloseBoxWithAKnownFolderAsksOnce) {
  RegisterViewer();
  Open();
  run_.PressCloseBox();
  ExpectExitQuestionAndAnswer(IDNO);
  ExpectStaysOpen();
  run_.PressCloseBox();
  ExpectExitQuestionAndAnswer(IDYES);
  EXPECT_FALSE(run_.MessageBoxShows(1000)) << "asked twice";
  EXPECT_EQ(run_.ExitCode(), kLeft);
}

TEST_F(Wizard, EscapeIsAnExitToo) {
  RegisterViewer();
  Open();
  HWND edit = run_.PageItem(kFolderEdit);
  ASSERT_TRUE(PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0));
  ExpectExitQuestionAndAnswer(IDNO);
  ExpectStaysOpen();
}

TEST_F(Wizard, WithoutARegisteredViewerTheBoxIsEmptyAndExitClosesAtOnce) {
  Open();
  EXPECT_EQ(Show(run_.PageText(kFolderEdit)), "");
  run_.PressExit();
  ExpectEndsWithoutAsking();
}

TEST_F(Wizard, TypingAFolderDoesNotMakeTheCloseBoxAsk) {
  Open();
  Type(run_.PageItem(kFolderEdit), dir_ + L"\\Typed\\");
  run_.PressCloseBox();
  ExpectEndsWithoutAsking();
  ExpectNothingInstalled();
}

TEST_F(Wizard, NextWithAnEmptyBoxIsRefused) {
  Open();
  run_.PressNext();
  ExpectMessageBox(kInvalidFolderWideText);
  ExpectStaysOpen();
  run_.PressExit();  // nothing was accepted: no question
  ExpectEndsWithoutAsking();
}

TEST_F(Wizard, RefusedNextKeepsTheTrimmedTextAsTheFolderThatMakesLeavingAsk) {
  Open();
  Type(run_.PageItem(kFolderEdit), L"   relative\\folder  ");
  run_.PressNext();
  ExpectMessageBox(kInvalidFolderWideText);
  ASSERT_NE(run_.WaitForSheet(), nullptr);
  EXPECT_EQ(Show(run_.PageText(kFolderEdit)), "   relative\\folder  ") << "the box is left as typed";
  run_.PressExit();
  ExpectExitQuestionAndAnswer(IDYES);
  EXPECT_EQ(run_.ExitCode(), kLeft);
  ExpectNothingInstalled();
}

TEST_F(Wizard, RefusedNextWithOnlyBlanksForgetsTheDetectedFolder) {
  RegisterViewer();
  Open();
  Type(run_.PageItem(kFolderEdit), L"    ");
  run_.PressNext();
  ExpectMessageBox(kInvalidFolderWideText);
  ASSERT_NE(run_.WaitForSheet(), nullptr);
  run_.PressCloseBox();
  ExpectEndsWithoutAsking();
}

TEST_F(Wizard, UncFolderIsRefused) {
  Open();
  Type(run_.PageItem(kFolderEdit), L"\\\\server\\share\\viewer");
  run_.PressNext();
  ExpectMessageBox(kInvalidFolderWideText);
  ExpectStaysOpen();
}

TEST_F(Wizard, TextLongerThanThePageHoldsIsRefusedNotCut) {
  Open();
  // Cut to 259 characters it would name another, valid folder.
  Type(run_.PageItem(kFolderEdit), dir_ + L"\\" + std::wstring(300 - dir_.size(), L'v'));
  run_.PressNext();
  ExpectMessageBox(kInvalidFolderWideText);
  ExpectStaysOpen();
  ExpectNothingInstalled();
}

TEST_F(Wizard, NextWithBlanksAroundAFolderInstallsThereAndCloses) {
  Open();
  Type(run_.PageItem(kFolderEdit), L"   " + dir_ + L"\\Chosen  ");
  run_.PressNext();
  const MessageBoxSeen box = run_.WaitForMessageBox();
  ASSERT_NE(box.window, nullptr) << "no report";
  EXPECT_EQ(Show(box.text), Show(kInstalledWideText));
  EXPECT_EQ(Show(box.caption), Show(kCaption));
  run_.Screenshot(L"success");
  Answer(box, IDOK);
  EXPECT_EQ(run_.ExitCode(), kInstalledCode);
  ExpectPayloadInstalled(dir_ + L"\\Chosen\\Plugins", g_payload);
}

TEST_F(Wizard, RegisteredFolderInstallsWithNextAlone) {
  RegisterViewer();
  Open();
  run_.PressNext();
  ExpectMessageBox(kInstalledWideText);
  EXPECT_FALSE(run_.MessageBoxShows(1000)) << "a question after the installation";
  EXPECT_EQ(run_.ExitCode(), kInstalledCode);
  ExpectPayloadInstalled(viewer_folder_ + L"\\Plugins", g_payload);
}

TEST_F(Wizard, FailedInstallationReportsAndCloses) {
  ASSERT_FALSE(IsFolder(L"Q:\\")) << "this test needs no drive Q:";
  Open();
  Type(run_.PageItem(kFolderEdit), L"Q:\\Pixelmoor\\");
  run_.PressNext();
  ExpectMessageBox(kCantInstallWideText);
  EXPECT_EQ(run_.ExitCode(), kFailed);
  ExpectNothingInstalled();
}

TEST_F(Wizard, RunningViewerIsReportedOnFirstShowAndRefusedOnNext) {
  RegisterViewer();
  ASSERT_TRUE(viewer_.Start(g_viewer, dir_));
  ASSERT_TRUE(run_.Start(dir_));
  ExpectMessageBox(kViewerRunningWideText);  // shown while the page first activates
  ASSERT_NE(run_.WaitForSheet(), nullptr);
  EXPECT_EQ(Show(run_.PageText(kFolderEdit)), Show(viewer_folder_ + L"\\"));

  Type(run_.PageItem(kFolderEdit), L"");
  run_.PressNext();
  ExpectMessageBox(kViewerRunningWideText);
  ASSERT_NE(run_.WaitForSheet(), nullptr);
  EXPECT_FALSE(Exists(viewer_folder_));
  // The refusal left the detected folder as it was: leaving still asks.
  run_.PressExit();
  ExpectExitQuestionAndAnswer(IDNO);
  ASSERT_NE(run_.WaitForSheet(), nullptr);

  viewer_.Stop();
  Type(run_.PageItem(kFolderEdit), viewer_folder_ + L"\\");
  run_.PressNext();
  ExpectMessageBox(kInstalledWideText);
  EXPECT_EQ(run_.ExitCode(), kInstalledCode);
  ExpectPayloadInstalled(viewer_folder_ + L"\\Plugins", g_payload);
}

// ---- while installing ----

// Milliseconds the sheet took to answer a sent message; -1 for no answer.
double AnswerTime(HWND sheet) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  DWORD_PTR ignored;
  if (!SendMessageTimeoutW(sheet, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored)) return -1;
  QueryPerformanceCounter(&end);
  return (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

constexpr int kLargeFiles = 6;
constexpr size_t kLargeFileBytes = 32 << 20;

TEST_F(Wizard, LargePayloadShowsAMovingProgressBarAndTheSheetKeepsAnswering) {
  const std::wstring exe = MakeScratchFolder(L"wizard.large-setup") + L"\\setup.exe";
  {
    std::vector<ZipEntry> entries;
    for (int i = 0; i < kLargeFiles; ++i) {
      entries.push_back(FileEntry("Large" + std::to_string(i) + ".dll",
                                  std::string(kLargeFileBytes, static_cast<char>('a' + i))));
    }
    ASSERT_TRUE(MakeSetupCarrying(g_setup, BuildZip(entries), exe)) << GetLastError();
  }
  Open(nullptr, exe);
  RECT sentence;
  ASSERT_TRUE(GetWindowRect(run_.PageItem(IDC_PRESS_THE), &sentence));
  Type(run_.PageItem(kFolderEdit), dir_ + L"\\Large");
  run_.PressNext();

  // Until the outcome shows: how fast the sheet answers, and where the bar stands.
  double slowest = 0;
  int answers = 0;
  std::vector<int> positions;
  HWND bar = nullptr;
  const ULONGLONG give_up = GetTickCount64() + 120000;
  while (!run_.MessageBoxShown() && run_.StillRunning() && GetTickCount64() < give_up) {
    const double took = AnswerTime(run_.Sheet());
    ASSERT_GE(took, 0) << "the sheet did not answer";
    slowest = std::max(slowest, took);
    ++answers;
    if (bar == nullptr) bar = run_.PageItem(IDC_INSTALL_PROGRESS);
    DWORD_PTR position = 0;
    if (bar != nullptr && IsWindowVisible(bar) &&
        SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 5000, &position) &&
        (positions.empty() || positions.back() != static_cast<int>(position))) {
      positions.push_back(static_cast<int>(position));
    }
    Sleep(10);
  }
  std::cout << answers << " answers, the slowest after " << slowest << " ms; the bar stood at";
  for (int p : positions) std::cout << " " << p;
  std::cout << "\n";
  EXPECT_LT(slowest, 100.0) << "the sheet did not answer at once";
  ASSERT_NE(bar, nullptr) << "no progress bar";
  RECT at;
  ASSERT_TRUE(GetWindowRect(bar, &at));
  EXPECT_EQ(at.top, sentence.top) << "the bar is not where the sentence was";
  EXPECT_EQ(at.left, sentence.left);
  EXPECT_FALSE(IsWindowVisible(run_.PageItem(IDC_PRESS_THE))) << "the sentence is still there";
  EXPECT_GE(positions.size(), 3u) << "the bar did not move";
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << "the bar went back";

  ExpectMessageBox(kInstalledWideText);
  EXPECT_EQ(run_.ExitCode(), kInstalledCode);
  for (int i = 0; i < kLargeFiles; ++i) {
    WIN32_FILE_ATTRIBUTE_DATA file;
    const std::wstring name = dir_ + L"\\Large\\Plugins\\Large" + std::to_wstring(i) + L".dll";
    ASSERT_TRUE(GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &file)) << Narrow(name);
    EXPECT_EQ(file.nFileSizeLow, kLargeFileBytes) << Narrow(name);
  }
  RemoveTree(dir_ + L"\\Large");  // 192 MiB the next run need not find
}

// Another setup installs: this one shows that it waits, keeps answering, and
// cannot be left or started again until it has installed.
TEST_F(Wizard, WaitingForAnotherSetupShowsAMarqueeAndNothingLeavesOrRestarts) {
  RegisterViewer();  // a known folder: leaving would ask
  InstallLockHold other = HoldInstallLock(viewer_folder_);
  ASSERT_TRUE(other.Held());
  Open();
  run_.PressNext();
  HWND status = nullptr;
  for (int i = 0; i < 200 && (status == nullptr || !IsWindowVisible(status)); ++i) {
    Sleep(50);
    status = run_.PageItem(IDC_INSTALL_STATUS);
  }
  ASSERT_NE(status, nullptr) << "no line of text";
  EXPECT_TRUE(IsWindowVisible(status));
  EXPECT_EQ(Show(TextOf(status)), Show(kWaitingForSetupWideText));
  HWND bar = run_.PageItem(IDC_INSTALL_PROGRESS);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_TRUE(GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) << "no marquee";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(run_.Sheet(), kNextButton))) << "Next can be pressed";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(run_.Sheet(), IDCANCEL))) << "Exit can be pressed";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(run_.Sheet(), kBackButton))) << "Back can be pressed";

  run_.PressExit();
  run_.PressCloseBox();
  ASSERT_TRUE(PostMessageW(run_.PageItem(kFolderEdit), WM_KEYDOWN, VK_ESCAPE, 0));
  ASSERT_TRUE(PostMessageW(run_.Sheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0));
  run_.PressNext();
  ASSERT_TRUE(PostMessageW(run_.Sheet(), PSM_PRESSBUTTON, PSBTN_BACK, 0));
  for (int i = 0; i < 20; ++i) {
    EXPECT_LT(AnswerTime(run_.Sheet()), 100.0) << "answer " << i;
    Sleep(50);
  }
  EXPECT_FALSE(run_.MessageBoxShows(1000)) << "something asked or reported while installing";
  EXPECT_TRUE(run_.StillRunning()) << "the wizard was left while it waited";
  EXPECT_TRUE(IsWindowVisible(status)) << "it no longer says that it waits";

  EXPECT_TRUE(other.Release());
  ExpectMessageBox(kInstalledWideText);
  EXPECT_FALSE(run_.MessageBoxShows(1000)) << "a second report: it installed twice";
  EXPECT_EQ(run_.ExitCode(), kInstalledCode);
  ExpectPayloadInstalled(viewer_folder_ + L"\\Plugins", g_payload);
}

// ---- the folder picker ----

// The picker is given folders on C: (the prefix's own drive): Wine's picker
// does not expand the Z: drive of the Linux root.
class Browse : public Wizard {
 protected:
  void SetUp() override {
    Wizard::SetUp();
    CreateDirectoryW(L"C:\\pixelmoor-tests", nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    c_dir_ = L"C:\\pixelmoor-tests\\" + Widen(info->name());
    RemoveTree(c_dir_);
    ASSERT_TRUE(CreateDirectoryW(c_dir_.c_str(), nullptr));
  }
  void TearDown() override {
    RemoveTree(c_dir_);
    Wizard::TearDown();
  }
  // Puts `start` into the box, presses Browse and takes the picker's selection
  // with OK; returns the box's text afterwards. Wine's picker now and then opens
  // on its own initial selection instead of the folder asked for (then the
  // result is its Desktop); such a run is tried again, up to three times.
  std::wstring PickAsOpened(const std::wstring& start, const std::wstring& expected) {
    std::wstring result;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      Type(run_.PageItem(kFolderEdit), start);
      HWND picker = OpenPicker();
      if (picker == nullptr) return L"<no picker>";
      Click(GetDlgItem(picker, IDOK));
      if (run_.WaitForSheet() == nullptr) return L"<no wizard>";
      result = run_.PageText(kFolderEdit);
      if (result == expected) break;
      std::cout << "attempt " << attempt << ": the picker opened on " << Show(result) << "\n";
    }
    return result;
  }
  std::wstring c_dir_;
  // Presses Browse and returns the picker's window.
  HWND OpenPicker() {
    Click(run_.PageItem(kBrowseButton));
    HWND picker = run_.WaitForPicker();
    EXPECT_NE(picker, nullptr) << "the folder picker did not show";
    return picker;
  }
};

TEST_F(Browse, OpensOnTheFolderInTheBoxAndReturnsItWithABackslash) {
  const std::wstring folder = c_dir_ + L"\\Tools\\Viewer";
  ASSERT_TRUE(CreateDirectoryW((c_dir_ + L"\\Tools").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  Open();
  EXPECT_EQ(Show(PickAsOpened(folder + L"\\", folder + L"\\")), Show(folder + L"\\"));
}

TEST_F(Browse, PickerIsTitledWithTheFolderMessage) {
  Open();
  HWND picker = OpenPicker();
  ASSERT_NE(picker, nullptr);
  bool titled = false;
  for (HWND w : Descendants(picker)) titled = titled || TextOf(w) == L"Installation folder:";
  EXPECT_TRUE(titled) << "the picker's title is kMsgFolderPickerTitle";
  Click(GetDlgItem(picker, IDCANCEL));
  ASSERT_NE(run_.WaitForSheet(), nullptr);
}

TEST_F(Browse, DriveRootStaysARoot) {
  Open();
  EXPECT_EQ(Show(PickAsOpened(L"C:\\", L"C:\\")), "C:\\");
}

TEST_F(Browse, CancelLeavesTheBoxAsItWas) {
  Open();
  Type(run_.PageItem(kFolderEdit), L"  typed by hand");
  HWND picker = OpenPicker();
  ASSERT_NE(picker, nullptr);
  Click(GetDlgItem(picker, IDCANCEL));
  ASSERT_NE(run_.WaitForSheet(), nullptr);
  EXPECT_EQ(Show(run_.PageText(kFolderEdit)), "  typed by hand");
}

// With nothing to start from, the picker keeps the selection it opens with:
// the Desktop itself, which is no file-system folder, so OK leaves the box
// empty. A start folder made up from the empty box (C:\, the current
// directory) would come back as that folder.
TEST_F(Browse, EmptyBoxOpensThePickerOnItsOwnSelection) {
  Open();
  HWND picker = OpenPicker();
  ASSERT_NE(picker, nullptr);
  Click(GetDlgItem(picker, IDOK));
  ASSERT_NE(run_.WaitForSheet(), nullptr);
  EXPECT_EQ(Show(run_.PageText(kFolderEdit)), "");
}

TEST_F(Browse, PickedFolderOf259CharactersIsRefusedOnNext) {
  // Folders nested to exactly 259 characters: no room for the backslash.
  std::wstring folder = c_dir_;
  while (folder.size() < 259) {
    const size_t room = 259 - folder.size() - 1;
    folder += L"\\" + std::wstring(room > 200 ? 200 : room, L'f');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << Narrow(folder);
  }
  ASSERT_EQ(folder.size(), 259u);
  Open();
  EXPECT_EQ(Show(PickAsOpened(folder, folder)), Show(folder)) << "neither cut nor overrun";
  run_.PressNext();
  ExpectMessageBox(kInvalidFolderWideText);
  ExpectStaysOpen();
  EXPECT_FALSE(Exists(folder + L"\\Plugins"));
}

// ---- another user-interface language ----

// Wine takes a program's user-interface language from the Linux locale it
// inherits, so the suite runs this case in a driver started under a German
// locale (PIXELMOOR_UI_LANGUAGE=de says so); elsewhere it is skipped.
TEST_F(Wizard, OtherLanguageButtonsAreNamedAsTheyRead) {
  wchar_t language[8] = {};
  GetEnvironmentVariableW(L"PIXELMOOR_UI_LANGUAGE", language, 8);
  Open();
  const std::wstring next = TextOf(GetDlgItem(run_.Sheet(), kNextButton));
  if (language[0] == 0) {
    GTEST_SKIP() << "no other user-interface language asked for; Next reads \"" << Show(next) << "\"";
  }
  ASSERT_EQ(next.find(L"Next"), std::wstring::npos)
      << "Wine did not switch to language " << Narrow(language) << ": Next reads \"" << Show(next)
      << "\" (is the Linux locale installed?)";
  EXPECT_EQ(Show(run_.PageText(1017)), Show(L"\"" + next + L"\""));
  EXPECT_EQ(Show(TextOf(GetDlgItem(run_.Sheet(), IDCANCEL))), "Exit") << "the setup's own text";
  run_.Screenshot(L"other-language");
  run_.PressExit();
  ExpectEndsWithoutAsking();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 5) {
    fprintf(stderr, "usage: wizard_tests SETUP.exe PAYLOAD.zip FAKE_VIEWER.exe SCREENSHOT_DIR\n");
    return 2;
  }
  g_setup = WindowsPath(argv[1]);
  g_payload = WindowsPath(argv[2]);
  g_viewer = WindowsPath(argv[3]);
  g_screenshots = WindowsPath(argv[4]);
  CreateDirectoryW(g_screenshots.c_str(), nullptr);
  // Xvfb has no window manager: Wine draws the frames and captions itself, so
  // that they are in the screenshots.
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 4);
    RegCloseKey(key);
  }
  return RUN_ALL_TESTS();
}
