// The build-time payload check: refuses, entry by entry and with the reason,
// every archive the setup would not install whole, using the setup's own
// archive rules and entry-name check. It also refuses names that are the same
// to Windows (its file systems ignore case), which the setup would install one
// over the other, and names that are not ASCII, which the setup reads in each
// PC's own ANSI code page.
//   check_payload ARCHIVE.zip     checks an archive
//   check_payload --names NAME... checks the names of files to be packed
//                                 ("a/b.dll"; a folder ends with "/")
// Exits 0 when everything passes, 1 when anything is refused, 2 on misuse.
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "install/archive_rules.h"
#include "install/entry_name.h"
#include "install/zip_records.h"

namespace {

int g_refused = 0;

void Refuse(const std::string& name, const std::string& reason) {
  printf("check_payload: refused \"%s\": %s\n", name.c_str(), reason.c_str());
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

// Checks a name as the setup does; `seen` holds the names checked before.
void CheckName(const std::string& name, std::map<std::string, std::string>* seen) {
  for (const unsigned char c : name) {
    if (c >= 0x80) {
      Refuse(name, "its name is not ASCII (the setup reads names in each PC's own ANSI code page)");
      return;
    }
  }
  if (name.size() >= kEntryNameChars) {
    Refuse(name, "its name is longer than " + std::to_string(kEntryNameChars - 1) + " characters");
    return;
  }
  std::vector<wchar_t> wide(name.begin(), name.end());
  wide.push_back(0);
  if (!IsPlainRelativeName(wide.data())) {
    Refuse(name,
           "its name is not a plain relative path (no \"..\", drive, leading separator, \":\" or "
           "other character Windows reserves, device name such as CON or NUL, or trailing dot or "
           "blank)");
    return;
  }
  const auto [at, added] = seen->emplace(WindowsKey(name), name);
  if (!added) Refuse(name, "its name is the same to Windows as \"" + at->second + "\" (only the case differs)");
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
  fclose(file);
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
  const int spans = CheckDataSpans(archive, global.number_entry, &overlapping);
  if (spans == kUnpackOverlap) {
    Refuse(EntryName(archive, overlapping), "its local header or data overlaps another entry's");
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
  if (argc >= 2 && strcmp(argv[1], "--names") == 0) {
    std::map<std::string, std::string> seen;
    for (int i = 2; i < argc; ++i) CheckName(argv[i], &seen);
    return g_refused == 0 ? 0 : 1;
  }
  if (argc != 2) {
    fprintf(stderr, "usage: check_payload ARCHIVE.zip | check_payload --names NAME...\n");
    return 2;
  }
  const int rc = CheckArchive(argv[1]);
  if (g_refused > 0) {
    printf("check_payload: %d refused; the setup would not install %s whole\n", g_refused, argv[1]);
  }
  return rc;
}
