// The wizard's classes in this process: the header font record, the page
// stepping of GetPageIndex, the resources the built setup carries (the page's
// dialog template, the logo and the icon), and the sheet's window run from
// those resources, inspected from inside its own modal loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <prsht.h>

#include "app/dll_search.h"
#include "app/setup_app.h"
#include "base/scoped.h"
#include "framework/winapp.h"
#include "message_texts.h"
#include "test_support.h"
#include "wizard/install_worker.h"
#include "wizard/wizard_page.h"
#include "wizard/wizard_sheet.h"

namespace {

std::wstring g_setup;

// ---- the header font ----

TEST(HeaderFont, Is18PixelsAt96DpiAndScalesToTheNearestPixel) {
  const struct {
    int dpi;
    LONG height;
  } cases[] = {{96, 18}, {120, 23}, {144, 27}, {192, 36}};
  for (const auto& c : cases) {
    LOGFONTW font;
    memset(&font, 0xCC, sizeof font);  // every field must be set, not left over
    FillHeaderLogFont(&font, c.dpi, true);
    EXPECT_EQ(font.lfHeight, c.height) << "at " << c.dpi << " dpi";
    EXPECT_EQ(font.lfWeight, 700) << "at " << c.dpi << " dpi";
    EXPECT_EQ(Narrow(font.lfFaceName), "Arial");
  }
}

TEST(HeaderFont, EveryOtherFieldIsZeroAndTheCharacterSetIsAnsi) {
  LOGFONTW font;
  memset(&font, 0xCC, sizeof font);
  FillHeaderLogFont(&font, 96, true);
  EXPECT_EQ(font.lfWidth, 0);
  EXPECT_EQ(font.lfEscapement, 0);
  EXPECT_EQ(font.lfOrientation, 0);
  EXPECT_EQ(font.lfItalic, 0);
  EXPECT_EQ(font.lfUnderline, 0);
  EXPECT_EQ(font.lfStrikeOut, 0);
  EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
  EXPECT_EQ(font.lfOutPrecision, 0);
  EXPECT_EQ(font.lfClipPrecision, 0);
  EXPECT_EQ(font.lfQuality, ANTIALIASED_QUALITY);
  EXPECT_EQ(font.lfPitchAndFamily, 0);
  for (size_t i = 5; i < LF_FACESIZE; ++i) EXPECT_EQ(font.lfFaceName[i], 0) << "face character " << i;
}

TEST(HeaderFont, OlderPlatformsGetMsSansSerifAtWeight600) {
  LOGFONTW font;
  FillHeaderLogFont(&font, 96, false);
  EXPECT_EQ(font.lfHeight, 18);
  EXPECT_EQ(font.lfWeight, 600);
  EXPECT_EQ(font.lfQuality, ANTIALIASED_QUALITY);
  EXPECT_EQ(Narrow(font.lfFaceName), "MS Sans Serif");
}

TEST(HeaderFont, ThisSystemCountsAsAModernShell) {
  EXPECT_TRUE(IsModernShellPlatform()) << "Wine reports an NT system above version 4";
}

// ---- the progress bar's steps ----

TEST(InstallProgress, PartsFollowTheBytesWithoutOverflowAndNeverPassTheWhole) {
  EXPECT_EQ(ProgressParts(0, 1000), 0);
  EXPECT_EQ(ProgressParts(1, 3), 333);
  EXPECT_EQ(ProgressParts(999, 1000), 999);
  EXPECT_EQ(ProgressParts(1000, 1000), kProgressParts);
  EXPECT_EQ(ProgressParts(5000, 1000), kProgressParts) << "more than declared";
  EXPECT_EQ(ProgressParts(0, 0), kProgressParts) << "nothing to do is all done";
  EXPECT_EQ(ProgressParts(uint64_t{1} << 29, uint64_t{1} << 30), 500);
  EXPECT_EQ(ProgressParts(UINT64_MAX / 4, UINT64_MAX), 250);
  EXPECT_LE(ProgressParts(UINT64_MAX - 1, UINT64_MAX), kProgressParts);
}

// ---- page stepping ----

// A sheet with pages of templates 201, 202, ... that never gets a window.
struct Wizard {
  explicit Wizard(UINT start, int pages) : sheet(L"Test", nullptr, start) {
    for (int i = 0; i < pages; ++i) page.emplace_back(new CWizPropertyPage(201 + i));
    for (auto& p : page) sheet.AddPage(p.get());
  }
  CWizPropertySheet sheet;
  std::vector<std::unique_ptr<CWizPropertyPage>> page;
};

TEST(PageIndex, OnePageHasNoNeighbours) {
  Wizard w(0, 1);
  EXPECT_EQ(w.page[0]->GetPageIndex(TRUE), -1);
  EXPECT_EQ(w.page[0]->GetPageIndex(FALSE), -1);
}

TEST(PageIndex, StepsFromTheStartPageWhileTheSheetHasNoWindow) {
  Wizard w(1, 3);
  EXPECT_EQ(w.sheet.GetActiveIndex(), 1);
  EXPECT_EQ(w.sheet.GetPageCount(), 3);
  EXPECT_EQ(w.page[1]->GetPageIndex(TRUE), 203);
  EXPECT_EQ(w.page[1]->GetPageIndex(FALSE), 201);
}

TEST(PageIndex, DisabledPagesAreSkippedInBothDirections) {
  Wizard w(2, 5);
  w.page[1]->PageEnabled = 0;
  w.page[3]->PageEnabled = 0;
  EXPECT_EQ(w.page[2]->GetPageIndex(TRUE), 205);
  EXPECT_EQ(w.page[2]->GetPageIndex(FALSE), 201);
  w.page[0]->PageEnabled = 0;
  w.page[4]->PageEnabled = 0;
  EXPECT_EQ(w.page[2]->GetPageIndex(TRUE), -1);
  EXPECT_EQ(w.page[2]->GetPageIndex(FALSE), -1);
}

TEST(PageIndex, AddPageTellsThePageItsSheet) {
  Wizard w(0, 2);
  EXPECT_EQ(w.page[0]->Sheet, &w.sheet);
  EXPECT_EQ(w.page[1]->Sheet, &w.sheet);
  EXPECT_TRUE(w.page[0]->IsKindOf(RUNTIME_CLASS(CPropertyPage)));
  EXPECT_TRUE(w.sheet.IsKindOf(RUNTIME_CLASS(CPropertySheet)));
  EXPECT_FALSE(w.sheet.IsKindOf(RUNTIME_CLASS(CPropertyPage)));
  EXPECT_STREQ(w.page[0]->GetRuntimeClass()->m_lpszClassName, "CWizPropertyPage");
  EXPECT_STREQ(w.sheet.GetRuntimeClass()->m_lpszClassName, "CWizPropertySheet");
}

// ---- resources of the built program ----

class SetupResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.Reset(LoadLibraryExW(g_setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module_) << "cannot load " << Narrow(g_setup) << ": " << GetLastError();
  }
  // The resource's bytes, or empty.
  std::string Resource(const wchar_t* type, int id) {
    HRSRC found = FindResourceW(module_.Get(), MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_.Get(), found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return std::string(static_cast<const char*>(data), SizeofResource(module_.Get(), found));
  }
  ScopedModule module_;
};

// Reads an extended dialog template field by field.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  WORD Word() { return static_cast<WORD>(Take(2)); }
  DWORD Dword() { return static_cast<DWORD>(Take(4)); }
  short Short() { return static_cast<short>(Take(2)); }
  BYTE Byte() { return static_cast<BYTE>(Take(1)); }
  // A string or an ordinal ("#N"); the predefined control classes by their names.
  std::string NameOrOrdinal(bool control_class = false) {
    WORD first = Word();
    if (first == 0xFFFF) {
      const WORD ordinal = Word();
      if (control_class) {
        switch (ordinal) {
          case 0x80: return "Button";
          case 0x81: return "Edit";
          case 0x82: return "Static";
          default: break;
        }
      }
      return "#" + std::to_string(ordinal);
    }
    std::string text;
    for (WORD c = first; ok_ && c != 0; c = Word()) text += c < 0x80 ? static_cast<char>(c) : '?';
    return text;
  }
  void AlignToDword() { at_ = (at_ + 3) & ~size_t{3}; }
  bool AtEnd() const { return at_ >= bytes_.size(); }

 private:
  unsigned long Take(size_t n) {
    if (!ok_ || at_ + n > bytes_.size()) {
      ok_ = false;
      return 0;
    }
    unsigned long v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<unsigned long>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    at_ += n;
    return v;
  }
  const std::string& bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

struct Control {
  int id;
  const char* cls;
  std::string text;
  DWORD style;
  short x, y, cx, cy;
};

// Windows binds the static imports while it loads the program, before any of
// its code runs, and looks beside the program first for a DLL that is not a
// KnownDLL, also for what a KnownDLL's export forwards to: only KERNEL32,
// ntdll and msvcrt may be bound so. Every other DLL is delay-loaded after
// start-up has restricted the search, and exactly the build's list of them:
// a new dependency must be decided on, not slip in. The image asks for ASLR
// and DEP as well.
TEST(Executable, BindsOnlyTheCoreDllsAndDelayLoadsTheListedOnes) {
  const std::string image = ReadBytes(g_setup).value_or("");
  ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  ASSERT_LT(static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32), image.size());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  ASSERT_EQ(nt->Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
  ASSERT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  const WORD characteristics = nt->OptionalHeader.DllCharacteristics;
  EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "no ASLR: " << characteristics;
  EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "no DEP: " << characteristics;

  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  auto at = [&](DWORD rva) -> const char* {  // the file's bytes at a virtual address
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& section = sections[i];
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData &&
          section.PointerToRawData + (rva - section.VirtualAddress) < image.size()) {
        return image.data() + section.PointerToRawData + (rva - section.VirtualAddress);
      }
    }
    return nullptr;
  };
  auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
  };
  const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
  std::set<std::string> dlls;
  const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
      at(directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress));
  ASSERT_NE(entry, nullptr);
  for (; entry->Name != 0; ++entry) {
    const char* name = at(entry->Name);
    ASSERT_NE(name, nullptr);
    dlls.insert(upper(name));
  }
  auto joined = [](const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
    return text;
  };
  EXPECT_EQ(joined(dlls), "KERNEL32.DLL MSVCRT.DLL NTDLL.DLL");

  // binutils' ld leaves the delay-import directory empty: the descriptors
  // (attributes 1, then the RVAs of the name, the module slot, the IAT and
  // the name table) are looked for in every section marked as holding
  // initialised data (ld marks .text so, and they land there).
  std::set<std::string> delayed;
  std::string unbound;  // the DLLs with slots outside the image, and how many
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
    if (!(sections[i].Characteristics & IMAGE_SCN_CNT_INITIALIZED_DATA)) continue;
    for (DWORD offset = 0; offset + 8 * sizeof(DWORD) <= sections[i].SizeOfRawData; offset += 4) {
      DWORD d[8];
      const char* record = at(sections[i].VirtualAddress + offset);
      if (record == nullptr || record + sizeof d > image.data() + image.size()) break;
      memcpy(d, record, sizeof d);
      const char* name = d[0] == 1 && d[2] != 0 && d[3] != 0 ? at(d[1]) : nullptr;
      const char* names = name != nullptr ? at(d[4]) : nullptr;
      if (names == nullptr || strnlen(name, 64) == 64) continue;
      const std::string dll = upper(name);
      if (dll.size() <= 4 || dll.compare(dll.size() - 4, 4, ".DLL") != 0) continue;
      delayed.insert(dll);
      // Until its first call, each function's slot holds the address of its
      // loading thunk in the image; a slot of 0 (a thunk the link dropped)
      // would be called as address 0.
      const DWORD base = nt->OptionalHeader.ImageBase;
      int slots = 0, outside = 0;
      for (DWORD slot = 0;; slot += 4, ++slots) {
        DWORD name_rva = 0, target = 0;
        if (const char* name_entry = at(d[4] + slot)) memcpy(&name_rva, name_entry, sizeof name_rva);
        if (name_rva == 0) break;
        if (const char* iat_entry = at(d[3] + slot)) memcpy(&target, iat_entry, sizeof target);
        if (target < base || target - base >= nt->OptionalHeader.SizeOfImage) ++outside;
      }
      if (outside != 0) {
        unbound += dll + ": " + std::to_string(outside) + " of " + std::to_string(slots) + " ";
      }
    }
  }
  std::set<std::string> listed;
  std::istringstream list(PIXELMOOR_DELAY_LOADED_DLLS);
  for (std::string dll; list >> dll;) listed.insert(upper(dll) + ".DLL");
  EXPECT_EQ(joined(delayed), joined(listed));
  EXPECT_EQ(unbound, "") << "delay-loaded functions whose slots point outside the image";
}

TEST_F(SetupResources, DestinationPageTemplateIsExactlyAsDesigned) {
  const std::string bytes = Resource(RT_DIALOG, 101);
  ASSERT_FALSE(bytes.empty()) << "no dialog 101";
  TemplateReader r(bytes);
  EXPECT_EQ(r.Word(), 1) << "dialog version";
  EXPECT_EQ(r.Word(), 0xFFFF) << "an extended template";
  EXPECT_EQ(r.Dword(), 0u) << "help id";
  EXPECT_EQ(r.Dword(), 0u) << "extended style";
  EXPECT_EQ(r.Dword(), 0x40800040u) << "style";
  const WORD count = r.Word();
  const short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(cx, 300);
  EXPECT_EQ(cy, 194);
  EXPECT_EQ(r.NameOrOrdinal(), "") << "menu";
  EXPECT_EQ(r.NameOrOrdinal(), "") << "window class";
  EXPECT_EQ(r.NameOrOrdinal(), "") << "caption";
  EXPECT_EQ(r.Word(), 8) << "point size";
  EXPECT_EQ(r.Word(), 0) << "weight";
  EXPECT_EQ(r.Byte(), 0) << "italic";
  EXPECT_EQ(r.Byte(), 0) << "character set";
  EXPECT_EQ(r.NameOrOrdinal(), "Microsoft Sans Serif");

  const Control expected[] = {
      {1000, "Edit", "", 0x50810080, 13, 142, 208, 12},
      {1009, "Button", "&Browse", 0x50010000, 225, 141, 50, 15},
      {-1, "Static", "#113", 0x5000000E, 13, 7, 59, 19},
      {1013, "Static", "Welcome to Pixelmoor PlugIns setup!", 0x50020000, 84, 14, 210, 25},
      {1019, "Static",
       "This program will install additional Pixelmoor PlugIns version  %s (%s bit)  on your "
       "system.\n(it should be started with Admin permissions)\n\nThe destination folder must be "
       "your (base) Pixelmoor %s-bit folder.",
       0x50020000, 13, 54, 285, 41},  // five lines: the first sentence wraps
      {1016, "Static", "Press the", 0x50020000, 13, 172, 34, 12},
      {-1, "Static", "Destination folder:", 0x50020000, 13, 132, 110, 9},
      {-1, "Static", "button to start the installation ...", 0x50020000, 99, 172, 134, 12},
      {1017, "Static", "\"Next\"", 0x50020001, 46, 172, 49, 8},
      {1020, "Static",
       "If the installer can't find Pixelmoor-%s in the system registry, please use the "
       "'Browse' button and find it manually.",
       0x50020000, 13, 100, 285, 17},
      {1018, "Static", "(Do NOT install these PlugIns to wrong Pixelmoor version or folder)",
       0x50020000, 13, 119, 285, 8},
  };
  ASSERT_EQ(count, sizeof expected / sizeof expected[0]);
  for (const Control& want : expected) {
    r.AlignToDword();
    SCOPED_TRACE("control " + std::to_string(want.id) + " " + want.text.substr(0, 20));
    EXPECT_EQ(r.Dword(), 0u) << "help id";
    EXPECT_EQ(r.Dword(), 0u) << "extended style";
    EXPECT_EQ(r.Dword(), want.style) << "style";
    const short cx0 = r.Short(), cy0 = r.Short(), cw = r.Short(), ch = r.Short();
    EXPECT_EQ(cx0, want.x);
    EXPECT_EQ(cy0, want.y);
    EXPECT_EQ(cw, want.cx);
    EXPECT_EQ(ch, want.cy);
    EXPECT_EQ(static_cast<int>(r.Dword()), want.id) << "id";
    EXPECT_EQ(r.NameOrOrdinal(true), want.cls) << "class";
    EXPECT_EQ(r.NameOrOrdinal(), want.text) << "text";
    EXPECT_EQ(r.Word(), 0) << "creation data";
  }
  ASSERT_TRUE(r.ok()) << "the template ends early";
  r.AlignToDword();
  EXPECT_TRUE(r.AtEnd()) << "more after the last control";
}

TEST_F(SetupResources, LogoIs88By31WithAPalette) {
  const std::string bytes = Resource(RT_BITMAP, 113);
  ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER header;
  memcpy(&header, bytes.data(), sizeof header);
  EXPECT_EQ(header.biWidth, 88);
  EXPECT_EQ(abs(header.biHeight), 31);
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
}

TEST_F(SetupResources, IconHas32And16PixelImagesOf8Bits) {
  const std::string group = Resource(RT_GROUP_ICON, 111);
  ASSERT_GE(group.size(), 6u + 2 * 14u);
  WORD count;
  memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(count, 2);
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i) {
    const char* entry = group.data() + 6 + 14 * i;  // GRPICONDIRENTRY
    WORD bits, id;
    memcpy(&bits, entry + 6, 2);
    memcpy(&id, entry + 12, 2);
    const std::string image = Resource(RT_ICON, id);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << "icon image " << id;
    BITMAPINFOHEADER header;
    memcpy(&header, image.data(), sizeof header);
    EXPECT_EQ(header.biBitCount, 8) << "icon image " << id;
    EXPECT_EQ(header.biHeight, 2 * header.biWidth) << "image and mask";
    sizes.push_back(header.biWidth);
  }
  EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

// ---- the sheet's window ----

// What a timer saw while the sheet ran; the timer then presses a button.
struct SheetSeen {
  HRESULT com = E_FAIL;  // what initialising COM on this thread answered inside the wizard
  int active_index = -2;
  bool back_enabled = true;
  HICON big_icon = nullptr;
  LOGFONTW header = {};
  std::wstring caption, exit_text, folder_text;
  std::vector<std::string> clipped;  // static texts that need more room than their control has
};


CWizPropertySheet* g_sheet = nullptr;
SheetSeen g_seen;
int g_press = IDCANCEL;  // the sheet button the timer presses: IDCANCEL or PSBTN_NEXT

std::wstring WindowText(HWND w) {
  wchar_t text[512] = {};
  GetWindowTextW(w, text, 512);
  return text;
}

std::wstring g_report;  // the text of the message box that reported the installation

// Reads and answers a message box (a dialog with its text in control 0xFFFF);
// stops at the first one.
BOOL CALLBACK AnswerMessageBox(HWND w, LPARAM answered) {
  wchar_t class_name[16] = {};
  GetClassNameW(w, class_name, 16);
  HWND text = GetDlgItem(w, 0xFFFF);
  if (wcscmp(class_name, L"#32770") != 0 || text == nullptr || !IsWindowVisible(w)) return TRUE;
  g_report = WindowText(text);
  PostMessageW(GetDlgItem(w, IDOK), BM_CLICK, 0, 0);
  *reinterpret_cast<bool*>(answered) = true;
  return FALSE;
}

// Answers the installation's report once it shows, and then stops looking.
VOID CALLBACK AnswerReport(HWND, UINT, UINT_PTR id, DWORD) {
  bool answered = false;
  EnumThreadWindows(GetCurrentThreadId(), AnswerMessageBox, reinterpret_cast<LPARAM>(&answered));
  if (answered) KillTimer(nullptr, id);
}

// The page's static texts that do not fit their controls, measured with the
// controls' own font and the way a static control wraps its text.
BOOL CALLBACK MeasureText(HWND control, LPARAM) {
  wchar_t class_name[16] = {};
  GetClassNameW(control, class_name, 16);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  const LONG kind = style & SS_TYPEMASK;
  if (_wcsicmp(class_name, L"Static") != 0 || (kind != SS_LEFT && kind != SS_CENTER)) return TRUE;
  wchar_t text[512] = {};
  GetWindowTextW(control, text, 512);
  RECT room;
  GetClientRect(control, &room);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT need = {0, 0, room.right, 0};
  DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  if (need.bottom > room.bottom || need.right > room.right) {
    g_seen.clipped.push_back(std::to_string(GetDlgCtrlID(control)) + " needs " +
                             std::to_string(need.bottom) + " px, has " + std::to_string(room.bottom));
  }
  return TRUE;
}

VOID CALLBACK Inspect(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND sheet = g_sheet->m_hWnd;
  if (sheet == nullptr) return;
  g_seen.com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(g_seen.com)) CoUninitialize();
  HWND page = PropSheet_GetCurrentPageHwnd(sheet);
  g_seen.active_index = g_sheet->GetActiveIndex();
  g_seen.back_enabled = IsWindowEnabled(GetDlgItem(sheet, kWizardBackButton)) != FALSE;
  g_seen.big_icon = reinterpret_cast<HICON>(SendMessageW(sheet, WM_GETICON, ICON_BIG, 0));
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(GetDlgItem(page, 1013), WM_GETFONT, 0, 0));
  if (font != nullptr) GetObjectW(font, sizeof g_seen.header, &g_seen.header);
  g_seen.caption = WindowText(sheet);
  g_seen.exit_text = WindowText(GetDlgItem(sheet, IDCANCEL));
  g_seen.folder_text = WindowText(GetDlgItem(page, 1000));
  EnumChildWindows(page, MeasureText, 0);
  if (g_press == IDCANCEL) {
    PostMessageW(GetDlgItem(sheet, IDCANCEL), BM_CLICK, 0, 0);
  } else {
    SetTimer(nullptr, 0, 200, AnswerReport);  // runs inside the report's own loop
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  }
}

class SheetWindow : public SetupResources {
 protected:
  void SetUp() override {
    SetupResources::SetUp();
    DeleteMachineKey(kViewerClassKey);  // no folder known: leaving does not ask
    AfxSetResourceHandle(module_.Get());
    g_seen = SheetSeen{};
    cwd_ = CurrentDirectory();
  }
  void TearDown() override {
    AfxSetResourceHandle(nullptr);
    SetCurrentDirectoryW(cwd_.c_str());
  }
  std::wstring cwd_;

  // Runs a wizard like the setup's until the timer's button press ends it.
  INT_PTR Run(CWizPropertySheet* sheet, CWizPropertyPage* page, int press) {
    LOGFONTW record;
    FillHeaderLogFont(&record, 96, true);
    sheet->HeaderFont.Attach(CreateFontIndirectW(&record));
    sheet->AddPage(page);
    g_sheet = sheet;
    g_press = press;
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, Inspect);
    EXPECT_NE(timer, 0u);
    return sheet->DoModal();
  }
};

TEST_F(SheetWindow, FirstActivationPreparesThePageInsideTheSheetsInitialisation) {
  CWizPropertySheet sheet(L"Pixelmoor Setup", nullptr, 0);
  CWizPropertyPage page(101);
  EXPECT_EQ(Run(&sheet, &page, IDCANCEL), IDCANCEL) << "the user left";
  EXPECT_EQ(sheet.Outcome, kExitWizardLeft);
  EXPECT_EQ(g_seen.active_index, 0);
  EXPECT_FALSE(g_seen.back_enabled) << "Back is enabled";
  EXPECT_NE(g_seen.big_icon, nullptr) << "no large icon";
  EXPECT_EQ(g_seen.header.lfHeight, 18);
  EXPECT_EQ(g_seen.header.lfWeight, 700);
  EXPECT_EQ(Narrow(g_seen.header.lfFaceName), "Arial");
  EXPECT_EQ(Narrow(g_seen.caption), "Pixelmoor PlugIns 32-bit Setup");
  EXPECT_EQ(Narrow(g_seen.exit_text), "Exit");
  EXPECT_EQ(Narrow(g_seen.folder_text), "") << "no viewer is registered";
  for (const std::string& text : g_seen.clipped) ADD_FAILURE() << "clipped: control " << text;
  EXPECT_EQ(page.FirstActivation, 0);
  // The window is gone: the sheet answers from what was added.
  EXPECT_EQ(sheet.m_hWnd, nullptr);
  EXPECT_EQ(page.m_hWnd, nullptr);
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  EXPECT_EQ(sheet.GetPageCount(), 1);
}

TEST_F(SheetWindow, PageThatDestroysTheSheetEndsTheModalLoop) {
  const std::wstring folder = MakeScratchFolder(L"sheet.NextInstalls");
  ASSERT_TRUE(SetMachineString(kViewerCommandKey, nullptr,
                               L"\"" + folder + L"\\p_moor32.exe\" \"%1\""));
  CWizPropertySheet sheet(L"Pixelmoor Setup", nullptr, 0);
  CWizPropertyPage page(101);
  g_report.clear();
  EXPECT_EQ(Run(&sheet, &page, PSBTN_NEXT), IDOK) << "the page ended the wizard";
  DeleteMachineKey(kViewerClassKey);
  EXPECT_EQ(Narrow(g_report), kInstalledText);
  EXPECT_EQ(sheet.Outcome, kExitInstalled);
  EXPECT_EQ(Narrow(g_seen.folder_text), Narrow(folder + L"\\"));
  EXPECT_EQ(Narrow(sheet.InstallFolder), Narrow(folder + L"\\"));
  EXPECT_EQ(sheet.m_hWnd, nullptr);
  EXPECT_EQ(page.GetPageIndex(TRUE), -1) << "the last Next has nowhere to go";
  const std::wstring payload = MakeScratchFolder(L"sheet.Payload") + L"\\payload.zip";
  ASSERT_TRUE(WriteBytes(payload, Resource(L"ZIP", 1973)));
  ExpectPayloadInstalled(folder + L"\\Plugins", payload);
}

// Another top-level window made on this thread inside PropertySheetW, before
// the sheet (as Windows does with its input-method window), is not the sheet.
LRESULT CALLBACK PlainWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }
HWND g_intruders[2] = {};
int CALLBACK MakeIntruders(HWND, UINT message, LPARAM) {
  if (message != PSCB_PRECREATE) return 0;
  for (const UINT style : {0u, static_cast<UINT>(CS_IME)}) {
    const wchar_t* name = style == 0 ? L"PixelmoorTestPopup" : L"PixelmoorTestIme";
    WNDCLASSW window_class = {};
    window_class.style = style;
    window_class.lpfnWndProc = PlainWindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = name;
    RegisterClassW(&window_class);
    g_intruders[style == 0 ? 0 : 1] = CreateWindowExW(0, name, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  return 0;
}

TEST_F(SheetWindow, OnlyTheSheetIsTakenForTheSheet) {
  CWizPropertySheet sheet(L"Pixelmoor Setup", nullptr, 0);
  CWizPropertyPage page(101);
  sheet.m_psh.dwFlags |= PSH_USECALLBACK;
  sheet.m_psh.pfnCallback = MakeIntruders;
  EXPECT_EQ(Run(&sheet, &page, IDCANCEL), IDCANCEL) << "-1: another window was taken for the sheet";
  for (HWND intruder : g_intruders) {
    EXPECT_NE(intruder, nullptr) << "the callback made no window";
    DestroyWindow(intruder);
  }
  EXPECT_EQ(Narrow(g_seen.caption), "Pixelmoor PlugIns 32-bit Setup");
}

// The folder picker needs COM on the thread: the wizard runs inside an
// apartment and leaves none behind.
TEST_F(SheetWindow, WizardRunsInAComApartmentAndReleasesIt) {
  g_sheet = &theWizard;
  g_press = IDCANCEL;
  ASSERT_NE(SetTimer(nullptr, 0, 300, Inspect), 0u);
  LOGFONTW record;
  EXPECT_EQ(RunWizard(&record), kExitWizardLeft);
  EXPECT_EQ(g_seen.com, S_FALSE) << "COM was not initialised while the wizard ran";
  const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(after, S_OK) << "COM was left initialised";
  if (SUCCEEDED(after)) CoUninitialize();
}

// Whether the setup may show windows, from its token, session and window station.
TEST(Windows, NeverAsSystemOrInSessionZero) {
  const struct {
    const char* what;
    WindowFacts facts;
    bool shown;
  } cases[] = {
      {"a user's desktop", {false, true, 1, true, true}, true},
      {"SYSTEM on a user's desktop (psexec -s -i)", {true, true, 1, true, true}, false},
      {"session 0's WinSta0, which has WSF_VISIBLE", {false, true, 0, true, true}, false},
      {"a window station without a display", {false, true, 2, true, false}, false},
      {"nothing known", {false, false, 0, false, false}, true},
      {"SYSTEM, nothing else known", {true, false, 0, false, false}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(WindowsCanBeAnswered(c.facts), c.shown) << c.what;
}

TEST(DllSearch, SystemHasSetDefaultDllDirectories) {
  EXPECT_NE(HardenDllSearch(LOAD_LIBRARY_SEARCH_SYSTEM32), 0u);
  EXPECT_TRUE(DllSearchHardened());
}

// Where the search cannot be restricted (Vista and 7 without the update), a
// silent run logs which update is missing; /verify tells by its code alone.
TEST_F(SheetWindow, UnrestrictedDllSearchLogsTheMissingUpdateAndEndsWith1) {
  const std::wstring dir = MakeScratchFolder(L"dll.Unrestricted");
  ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
  SetupOptions options;
  ReadOptions(L"setup.exe /verify", &options);
  EXPECT_EQ(RefuseUnrestrictedDllSearch(options), kExitInstallFailed);
  EXPECT_FALSE(Exists(dir + L"\\Pixelmoor_Install.log")) << "/verify logged";
  g_silent = 1;
  ReadOptions(L"setup.exe /silent", &options);
  EXPECT_EQ(RefuseUnrestrictedDllSearch(options), kExitInstallFailed);
  g_silent = 0;
  const std::string log = ReadBytes(dir + L"\\Pixelmoor_Install.log").value_or("");
  EXPECT_NE(log.find(": Error: this setup needs Windows 8 or later, or on Windows 7 and Vista update "
                     "KB3063858 (or KB2533623)!\r\nPlease install that update"),
            std::string::npos)
      << log;
}

TEST(SheetWithoutPages, DoesNotRun) {
  CWizPropertySheet sheet(L"Pixelmoor Setup", nullptr, 0);
  EXPECT_EQ(sheet.DoModal(), -1);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    fprintf(stderr, "usage: wizard_unit_tests SETUP.exe\n");
    return 2;
  }
  g_setup = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
