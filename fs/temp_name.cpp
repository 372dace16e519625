#include "fs/temp_name.h"

#include "archive/entry_name.h"

bool SiblingTempName(const wchar_t* name, uint32_t process, uint32_t serial,
                     wchar_t* temp, size_t capacity) {
  size_t folder = 0;  // characters up to and including the last separator
  for (size_t i = 0; name[i] != 0; ++i) {
    if (IsEntrySeparator(name[i])) folder = i + 1;
  }
  wchar_t leaf[32] = L"~px";
  const wchar_t digits[] = L"0123456789abcdef";
  size_t at = 3;
  const uint32_t values[] = {process, serial};
  for (const uint32_t value : values) {
    if (at > 3) leaf[at++] = L'-';
    int shift = 28;
    while (shift > 0 && ((value >> shift) & 0xF) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) leaf[at++] = digits[(value >> shift) & 0xF];
  }
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
  if (leaf[0] != L'~' || leaf[1] != L'p' || leaf[2] != L'x') return false;
  const wchar_t* p = leaf + 3;
  const wchar_t ends[] = {L'-', L'.'};  // after the process's number, after the serial
  for (const wchar_t end : ends) {
    const wchar_t* digits = p;
    while ((*p >= L'0' && *p <= L'9') || (*p >= L'a' && *p <= L'f')) ++p;
    if (p == digits || p - digits > 8 || *p != end) return false;
    ++p;
  }
  return p[0] == L't' && p[1] == L'm' && p[2] == L'p' && p[3] == 0;
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
