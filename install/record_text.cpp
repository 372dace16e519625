#include "install/record_text.h"

#include "archive/entry_name.h"
#include "base/path_split.h"
#include "base/text.h"

namespace {

constexpr wchar_t kPackageKey[] = L"Package: ";
constexpr wchar_t kPluginsKey[] = L"Plugins: ";
constexpr wchar_t kFileKey[] = L"File: ";
constexpr wchar_t kHexDigits[] = L"0123456789abcdef";

bool KeyedLine(const wchar_t* key, const wchar_t* value, wchar_t* line) {
  return CopyText(line, kRecordLineChars, key) && AppendText(line, kRecordLineChars, value);
}

// A line break in a value would make a line of its own.
bool HasControlCharacter(const wchar_t* text) {
  for (; *text != 0; ++text) {
    if (IsControlCharacter(*text)) return true;
  }
  return false;
}

void AppendHex(wchar_t* out, size_t* at, const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out[(*at)++] = kHexDigits[bytes[i] >> 4];
    out[(*at)++] = kHexDigits[bytes[i] & 15];
  }
}

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads exactly `count` bytes' hex digits at `*p`, then one blank.
bool ReadHex(const wchar_t** p, const wchar_t* end, unsigned char* bytes, size_t count) {
  if (end - *p < static_cast<ptrdiff_t>(count * 2 + 1)) return false;
  for (size_t i = 0; i < count; ++i) {
    const int high = HexValue((*p)[2 * i]), low = HexValue((*p)[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<unsigned char>(high << 4 | low);
  }
  *p += count * 2;
  return *(*p)++ == L' ';
}

// Reads a decimal number of at most 20 digits that fits 64 bits, then one blank.
bool ReadSize(const wchar_t** p, const wchar_t* end, uint64_t* value) {
  const wchar_t* start = *p;
  *value = 0;
  for (; *p < end && **p >= L'0' && **p <= L'9'; ++*p) {
    const unsigned digit = static_cast<unsigned>(**p - L'0');
    if (*value > (UINT64_MAX - digit) / 10) return false;
    *value = *value * 10 + digit;
  }
  return *p != start && *p - start <= 20 && *p < end && *(*p)++ == L' ';
}

// `line` begins with `key`: `*value` is what follows.
bool BeginsWith(const wchar_t* line, size_t length, const wchar_t* key, const wchar_t** value) {
  const size_t key_length = TextLength(key);
  if (length < key_length) return false;
  for (size_t i = 0; i < key_length; ++i) {
    if (line[i] != key[i]) return false;
  }
  *value = line + key_length;
  return true;
}

// The rest of a line, up to `end`, into `text`: false when it is empty, too
// long or holds a control character.
bool TakeRest(const wchar_t* p, const wchar_t* end, wchar_t* text, size_t capacity) {
  const size_t length = static_cast<size_t>(end - p);
  if (length == 0 || length >= capacity) return false;
  for (size_t i = 0; i < length; ++i) {
    if (p[i] == 0 || IsControlCharacter(p[i])) return false;
    text[i] = p[i];
  }
  text[length] = 0;
  return true;
}

}  // namespace

bool PackageLine(const wchar_t* version, wchar_t* line) {
  return !HasControlCharacter(version) && TextLength(version) < kPackageChars &&
         KeyedLine(kPackageKey, version, line);
}

bool PluginsLine(const wchar_t* plugins, wchar_t* line) {
  return !HasControlCharacter(plugins) && KeyedLine(kPluginsKey, plugins, line);
}

bool FileLine(const RecordedFile& file, wchar_t* line) {
  if (!IsPlainRelativeName(file.name) || IsEntrySeparator(file.name[TextLength(file.name) - 1]) ||
      !CopyText(line, kRecordLineChars, kFileKey)) {
    return false;
  }
  // 20 digits, 64 and 8 hex digits and three blanks fit easily before the name.
  wchar_t digits[21];
  size_t count = 0;
  uint64_t size = file.size;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + size % 10);
    size /= 10;
  } while (size != 0);
  size_t at = TextLength(line);
  while (count > 0) line[at++] = digits[--count];
  line[at++] = L' ';
  AppendHex(line, &at, file.sha256, sizeof file.sha256);
  line[at++] = L' ';
  const unsigned char crc[4] = {static_cast<unsigned char>(file.crc >> 24), static_cast<unsigned char>(file.crc >> 16),
                                static_cast<unsigned char>(file.crc >> 8), static_cast<unsigned char>(file.crc)};
  AppendHex(line, &at, crc, sizeof crc);
  line[at++] = L' ';
  line[at] = 0;
  if (!AppendText(line, kRecordLineChars, file.name)) return false;
  for (wchar_t* p = line + at; *p != 0; ++p) {
    if (*p == L'/') *p = L'\\';
  }
  return true;
}

RecordLine ReadRecordLine(const wchar_t* line, size_t length, wchar_t* text, RecordedFile* file) {
  const wchar_t* end = line + length;
  const wchar_t* p = nullptr;
  if (BeginsWith(line, length, kPackageKey, &p)) {
    return TakeRest(p, end, text, kPackageChars) ? RecordLine::kPackage : RecordLine::kBad;
  }
  if (BeginsWith(line, length, kPluginsKey, &p)) {
    return TakeRest(p, end, text, kRecordLineChars) && IsFullPath(text) ? RecordLine::kPlugins
                                                                         : RecordLine::kBad;
  }
  if (!BeginsWith(line, length, kFileKey, &p)) return RecordLine::kOther;
  unsigned char crc[4];
  if (!ReadSize(&p, end, &file->size) || !ReadHex(&p, end, file->sha256, sizeof file->sha256) ||
      !ReadHex(&p, end, crc, sizeof crc) || !TakeRest(p, end, file->name, kEntryNameChars) ||
      !IsPlainRelativeName(file->name) || IsEntrySeparator(file->name[TextLength(file->name) - 1])) {
    return RecordLine::kBad;
  }
  file->crc = static_cast<uint32_t>(crc[0]) << 24 | static_cast<uint32_t>(crc[1]) << 16 |
              static_cast<uint32_t>(crc[2]) << 8 | crc[3];
  // In memory a name is written as the payload's entries are.
  for (wchar_t* c = file->name; *c != 0; ++c) {
    if (*c == L'\\') *c = L'/';
  }
  return RecordLine::kFile;
}
