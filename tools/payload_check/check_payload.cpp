// The build-time payload check: refuses, entry by entry and with the reason,
// every archive the setup would not install whole, using the setup's own
// archive rules and entry-name check. It also refuses names that are the same
// to Windows (its file systems ignore case), which the setup would install one
// over the other, and names that are not ASCII, which the setup reads in each
// PC's own ANSI code page.
// Each refusal names the rule the name breaks.
//   check_payload ARCHIVE.zip     checks an archive
//   check_payload [--below FOLDER] --names NAME...
//                                 checks the names of files to be packed
//                                 ("a/b.dll"; a folder ends with "/"); with
//                                 --below, also that every path the setup
//                                 writes for them below FOLDER fits Windows
// Exits 0 when everything passes, 1 when anything is refused, 2 on misuse.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <map>
#include <string>
#include <vector>

#include "archive/archive_rules.h"
#include "archive/entry_name.h"
#include "archive/zip_records.h"
#include "fs/temp_name.h"

namespace {

int g_refused = 0;

// Names come from a folder (--names): "\\" is then part of a name, not a separator.
bool g_folder_names = false;
// With --below: the folder the names are installed into, as Windows writes it.
std::wstring g_below;

constexpr size_t kWindowsPathChars = 259;    // MAX_PATH less its terminator
constexpr size_t kWindowsFolderChars = 247;  // CreateDirectory keeps room for an 8.3 name

// A name as a C string literal would write it, so that every character shows.
std::string Shown(const std::string& name) {
  std::string shown = "\"";
  for (const unsigned char c : name) {
    if (c == '\\' || c == '"') {
      shown += '\\';
      shown += static_cast<char>(c);
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char code[8];
      snprintf(code, sizeof code, "\\x%02X", c);
      shown += code;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown + "\"";
}

void Refuse(const std::string& name, const std::string& reason) {
  printf("check_payload: refused %s: %s\n", Shown(name).c_str(), reason.c_str());
  ++g_refused;
}

// What Windows compares: case folded, one separator, no folder mark.
std::string WindowsKey(const std::string& name) {
  std::string key = name;
  for (char& c : key) {
    if (c == '\\') c = '/';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  while (!key.empty() && key.back() == '/') key.pop_back();
  return key;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool IsPlain(const std::wstring& name) { return IsPlainRelativeName(name.c_str()); }

// Which rule a name that is not a plain relative path breaks. The setup's own
// check decides; this only finds the part and character it stumbles on.
std::string BrokenRule(const std::string& name) {
  if (name.empty()) return "empty name: a name needs at least one character";
  const std::wstring wide = Wide(name);
  if (IsEntrySeparator(wide[0])) return "absolute path: the name starts with a separator";
  size_t begin = 0;
  while (begin < wide.size()) {
    size_t end = begin;
    while (end < wide.size() && !IsEntrySeparator(wide[end])) ++end;
    const std::wstring part = wide.substr(begin, end - begin);
    const std::string shown = Shown(name.substr(begin, end - begin));
    if (part.empty()) return "empty part: two separators in a row";
    if (part == L"." || part == L"..") return "\".\" or \"..\" part: " + shown + " leads out of its folder";
    for (const wchar_t c : part) {
      // A character is reserved when the setup refuses it between two letters.
      if (c < 0x20 || IsPlain(std::wstring(L"a") + c + L"a")) continue;
      return "reserved character: Windows gives " + Shown(std::string(1, static_cast<char>(c))) +
             " a meaning in paths (reserved are : * ? \" < > |), in " + shown;
    }
    if (part.back() == L'.' || part.back() == L' ') {
      return "trailing dot or blank: Windows drops it from " + shown + " and would write another name";
    }
    if (!IsPlain(part)) {
      return "device name: Windows takes " + shown +
             " for a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with any extension)";
    }
    begin = end + 1;
  }
  return "not a plain relative path";
}

// How a name breaks the path budget below g_below, or "" when it fits: the
// file, the temporary file the setup writes beside it, or the folder.
std::string PathTooLong(const std::string& name) {
  const std::wstring wide = Wide(name);
  const size_t room = g_below.size() + wide.size() + 64;
  std::vector<wchar_t> path(room), temp(room);
  const bool folder = IsFolderEntryName(name.c_str());
  if (!EntryPathBelow(g_below.c_str(), wide.c_str(), wide.size() - (folder ? 1 : 0), path.data(), room)) {
    return "it cannot be measured";
  }
  const size_t length = wcslen(path.data());
  const std::string where = "installed under " + std::string(g_below.begin(), g_below.end()) + ",";
  if (folder && length > kWindowsFolderChars) {
    return "too long: " + where + " the folder's path would have " + std::to_string(length) +
           " characters; Windows makes folders of at most " + std::to_string(kWindowsFolderChars);
  }
  if (length > kWindowsPathChars) {
    return "too long: " + where + " its path would have " + std::to_string(length) +
           " characters; Windows allows " + std::to_string(kWindowsPathChars);
  }
  if (folder) return "";
  // The longest temporary name the setup may write (the highest process id and serial).
  if (!SiblingTempName(wide.c_str(), 0xFFFFFFFF, 0xFFFFFFFF, temp.data(), room) ||
      !EntryPathBelow(g_below.c_str(), temp.data(), wcslen(temp.data()), path.data(), room)) {
    return "it cannot be measured";
  }
  const size_t temp_length = wcslen(path.data());
  if (temp_length > kWindowsPathChars) {
    return "too long: " + where + " the temporary file the setup writes beside it would have " +
           std::to_string(temp_length) + " characters; Windows allows " +
           std::to_string(kWindowsPathChars);
  }
  return "";
}

// Checks a name as the setup does; `seen` holds the names checked before.
void CheckName(const std::string& name, std::map<std::string, std::string>* seen) {
  for (const unsigned char c : name) {
    if (c >= 0x80) {
      Refuse(name, "not ASCII: the setup reads names in each PC's own ANSI code page");
      return;
    }
  }
  if (g_folder_names && name.find('\\') != std::string::npos) {
    Refuse(name, "backslash: it is part of this name, but Windows takes it as a folder separator");
    return;
  }
  for (const unsigned char c : name) {
    if (c >= 1 && c <= 31) {
      Refuse(name, "control character: the name holds character " + std::to_string(c) +
                       " (characters 1-31 are not allowed in Windows names)");
      return;
    }
  }
  if (name.size() >= kEntryNameChars) {
    Refuse(name, "too long: the setup takes names of at most " + std::to_string(kEntryNameChars - 1) +
                     " characters");
    return;
  }
  if (!IsPlain(Wide(name))) {
    Refuse(name, BrokenRule(name));
    return;
  }
  if (!g_below.empty()) {
    const std::string too_long = PathTooLong(name);
    if (!too_long.empty()) {
      Refuse(name, too_long);
      return;
    }
  }
  const auto [at, added] = seen->emplace(WindowsKey(name), name);
  if (!added) {
    Refuse(name, "same name to Windows as " + Shown(at->second) + ": only the case differs");
  }
}

std::string DataProblem(int rc, const unz_file_info64& info) {
  switch (rc) {
    case kUnpackEncrypted: return "it is encrypted";
    case kUnpackUnsupportedMethod:
      return "it is compressed with method " + std::to_string(info.compression_method) +
             "; only stored (0) and deflated (8) entries are installed";
    case kUnpackSizeMismatch: return "its data does not inflate to its declared size";
    case UNZ_CRCERROR: return "its data fails its CRC";
    case UNZ_BADZIPFILE: return "its local header does not match the central directory";
    default: return "its data cannot be read or inflated (error " + std::to_string(rc) + ")";
  }
}

bool Discard(void*, const char*, unsigned) { return true; }

std::string EntryName(unzFile archive, uint64_t index) {
  if (unzGoToFirstFile(archive) != UNZ_OK) return "?";
  for (uint64_t i = 0; i < index; ++i) {
    if (unzGoToNextFile(archive) != UNZ_OK) return "?";
  }
  unz_file_info64 info;
  char name[kEntryNameBytes];
  return ReadEntryInfo(archive, &info, name) == UNZ_OK ? name : "?";
}

int CheckArchive(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    fprintf(stderr, "check_payload: cannot read %s\n", path);
    return 2;
  }
  std::vector<unsigned char> head(kMostEndRecordBytes);
  head.resize(fread(head.data(), 1, head.size(), file));
  const bool sized = fseek(file, 0, SEEK_END) == 0;
  const long bytes = sized ? ftell(file) : -1;
  fclose(file);
  if (bytes < 0) {
    fprintf(stderr, "check_payload: cannot tell the size of %s\n", path);
    return 2;
  }
  unzFile archive = unzOpen64(path);
  if (archive == nullptr) {
    if (IsEmptyArchiveRecord(head.data(), head.size())) {
      printf("check_payload: %s holds no entries: the setup installs nothing\n", path);
      return 0;
    }
    Refuse(path, head.empty() ? "the payload is empty (0 bytes), not a ZIP archive"
                              : "it is not a ZIP archive the setup can open");
    return 1;
  }
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) {
    unzClose(archive);
    Refuse(path, "its central directory cannot be read");
    return 1;
  }

  uint64_t overlapping = 0;
  const int spans =
      CheckDataSpans(archive, global.number_entry, static_cast<uint64_t>(bytes), &overlapping);
  if (spans == kUnpackOverlap) {
    Refuse(EntryName(archive, overlapping), "its local header or data overlaps another entry's");
  } else if (spans == kUnpackPastTheEnd) {
    Refuse(path, "an entry's declared data runs past the end of the archive");
  }
  std::map<std::string, std::string> seen;
  std::vector<char> buffer(kCopyBufferBytes);
  int rc = unzGoToFirstFile(archive);
  for (uint64_t i = 0; rc == UNZ_OK && i < global.number_entry;) {
    unz_file_info64 info;
    char name[kEntryNameBytes] = {};
    rc = ReadEntryInfo(archive, &info, name);
    if (rc == kUnpackBadName) {
      Refuse(std::string(name, strnlen(name, kEntryNameBytes - 1)),
             "its name is " + std::to_string(kEntryNameBytes) + " bytes or longer, or holds a zero byte");
    } else if (rc != UNZ_OK) {
      break;
    } else {
      CheckName(name, &seen);
      if (!IsFolderEntryName(name)) {
        int entry = CheckEntryMethod(info);
        if (entry == UNZ_OK) {
          entry = unzOpenCurrentFilePassword(archive, nullptr);
          if (entry == UNZ_OK) {
            entry = DrainEntry(archive, info, buffer.data(), &Discard, nullptr);
          } else {
            (void)unzCloseCurrentFile(archive);  // the open's error is the one reported
          }
        }
        if (entry != UNZ_OK) Refuse(name, DataProblem(entry, info));
      }
    }
    ++i;
    rc = i < global.number_entry ? unzGoToNextFile(archive) : UNZ_OK;
  }
  if (rc != UNZ_OK) {
    Refuse(path, "its entries cannot all be read (the central directory lists more than it holds, "
                 "or is damaged)");
  } else if (spans != UNZ_OK && spans != kUnpackOverlap && g_refused == 0) {
    Refuse(path, "its entries cannot all be read (error " + std::to_string(spans) + ")");
  }
  unzClose(archive);
  if (g_refused == 0) {
    printf("check_payload: %s: %llu entries, each installed as it is\n", path,
           static_cast<unsigned long long>(global.number_entry));
  }
  return g_refused == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  if (argc >= 3 && strcmp(argv[1], "--below") == 0) {
    g_below = Wide(argv[2]);
    first = 3;
  }
  if (argc > first && strcmp(argv[first], "--names") == 0) {
    g_folder_names = true;
    std::map<std::string, std::string> seen;
    for (int i = first + 1; i < argc; ++i) CheckName(argv[i], &seen);
    return g_refused == 0 ? 0 : 1;
  }
  if (first != 1) {
    fprintf(stderr, "check_payload: --below goes with --names\n");
    return 2;
  }
  if (argc != 2) {
    fprintf(stderr, "usage: check_payload ARCHIVE.zip | check_payload [--below FOLDER] --names NAME...\n");
    return 2;
  }
  const int rc = CheckArchive(argv[1]);
  if (g_refused > 0) {
    printf("check_payload: %d refused; the setup would not install %s whole\n", g_refused, argv[1]);
  }
  return rc;
}
