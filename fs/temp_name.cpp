#include "fs/temp_name.h"

#include "archive/entry_name.h"

namespace {

// "~px" and the two numbers in hexadecimal, "-" between them, into `stem`
// (room for 20 characters and the end); returns its length.
size_t TempStem(uint32_t process, uint32_t serial, wchar_t stem[21]) {
  const wchar_t digits[] = L"0123456789abcdef";
  stem[0] = L'~', stem[1] = L'p', stem[2] = L'x';
  size_t at = 3;
  const uint32_t values[] = {process, serial};
  for (const uint32_t value : values) {
    if (at > 3) stem[at++] = L'-';
    int shift = 28;
    while (shift > 0 && ((value >> shift) & 0xF) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) stem[at++] = digits[(value >> shift) & 0xF];
  }
  stem[at] = 0;
  return at;
}

// Past TempStem's form and the "." after it at the start of `leaf`; null
// when `leaf` does not begin so.
const wchar_t* PastStem(const wchar_t* leaf) {
  if (leaf[0] != L'~' || leaf[1] != L'p' || leaf[2] != L'x') return nullptr;
  const wchar_t* p = leaf + 3;
  const wchar_t ends[] = {L'-', L'.'};  // after the process's number, after the serial
  for (const wchar_t end : ends) {
    const wchar_t* digits = p;
    while ((*p >= L'0' && *p <= L'9') || (*p >= L'a' && *p <= L'f')) ++p;
    if (p == digits || p - digits > 8 || *p != end) return nullptr;
    ++p;
  }
  return p;
}

constexpr wchar_t kAsideEnd[] = L".old";
constexpr size_t kAsideEndChars = 4;

}  // namespace

bool SiblingTempName(const wchar_t* name, uint32_t process, uint32_t serial,
                     wchar_t* temp, size_t capacity) {
  size_t folder = 0;  // characters up to and including the last separator
  for (size_t i = 0; name[i] != 0; ++i) {
    if (IsEntrySeparator(name[i])) folder = i + 1;
  }
  wchar_t leaf[32];
  size_t at = TempStem(process, serial, leaf);
  for (const wchar_t* p = L".tmp"; *p != 0; ++p) leaf[at++] = *p;
  leaf[at] = 0;
  if (capacity == 0) return false;
  temp[0] = 0;
  if (folder + at + 1 > capacity) return false;
  for (size_t i = 0; i < folder; ++i) temp[i] = name[i];
  for (size_t i = 0; i <= at; ++i) temp[folder + i] = leaf[i];
  return true;
}

bool IsSiblingTempLeaf(const wchar_t* leaf) {
  const wchar_t* p = PastStem(leaf);
  return p != nullptr && p[0] == L't' && p[1] == L'm' && p[2] == L'p' && p[3] == 0;
}

bool AsideLeaf(const wchar_t* leaf, uint32_t process, uint32_t serial, wchar_t* aside,
               size_t capacity) {
  wchar_t stem[21];
  const size_t stem_chars = TempStem(process, serial, stem);
  size_t leaf_chars = 0;
  while (leaf[leaf_chars] != 0) ++leaf_chars;
  if (capacity == 0) return false;
  aside[0] = 0;
  if (leaf_chars == 0 || stem_chars + 1 + leaf_chars + kAsideEndChars + 1 > capacity) return false;
  size_t at = 0;
  for (size_t i = 0; i < stem_chars; ++i) aside[at++] = stem[i];
  aside[at++] = L'.';
  for (size_t i = 0; i < leaf_chars; ++i) aside[at++] = leaf[i];
  for (size_t i = 0; i <= kAsideEndChars; ++i) aside[at++] = kAsideEnd[i];
  return true;
}

bool AsideOwner(const wchar_t* aside, wchar_t* leaf, size_t capacity) {
  if (capacity == 0) return false;
  leaf[0] = 0;
  const wchar_t* own = PastStem(aside);
  if (own == nullptr) return false;
  size_t chars = 0;
  while (own[chars] != 0) ++chars;
  if (chars <= kAsideEndChars) return false;  // no name of its own
  chars -= kAsideEndChars;
  for (size_t i = 0; i <= kAsideEndChars; ++i) {
    if (own[chars + i] != kAsideEnd[i]) return false;
  }
  if (chars + 1 > capacity) return false;
  for (size_t i = 0; i < chars; ++i) leaf[i] = own[i];
  leaf[chars] = 0;
  return true;
}

bool StagedArchiveLeaf(const wchar_t* stem, uint64_t random, wchar_t* leaf, size_t capacity) {
  size_t stem_length = 0;
  while (stem[stem_length] != 0) ++stem_length;
  constexpr size_t kTail = 1 + 16 + 4;  // "-", the digits, ".zip"
  if (capacity == 0) return false;
  leaf[0] = 0;
  if (stem_length + kTail + 1 > capacity) return false;
  size_t at = 0;
  for (; at < stem_length; ++at) leaf[at] = stem[at];
  leaf[at++] = L'-';
  for (int shift = 60; shift >= 0; shift -= 4) leaf[at++] = L"0123456789abcdef"[(random >> shift) & 0xF];
  for (const wchar_t* p = L".zip"; *p != 0; ++p) leaf[at++] = *p;
  leaf[at] = 0;
  return true;
}
