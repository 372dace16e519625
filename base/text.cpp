#include "base/text.h"

size_t TextLength(const wchar_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool CopyText(wchar_t* dst, size_t capacity, const wchar_t* src) {
  const size_t n = TextLength(src);
  if (capacity == 0) return false;
  if (n >= capacity) {
    dst[0] = 0;
    return false;
  }
  for (size_t i = 0; i <= n; ++i) dst[i] = src[i];
  return true;
}

void CopyTextCut(wchar_t* dst, size_t capacity, const wchar_t* src) {
  if (capacity == 0) return;
  size_t i = 0;
  for (; i + 1 < capacity && src[i] != 0; ++i) dst[i] = src[i];
  dst[i] = 0;
}

bool AppendText(wchar_t* dst, size_t capacity, const wchar_t* src) {
  const size_t have = TextLength(dst);
  const size_t add = TextLength(src);
  if (have + add >= capacity) return false;
  for (size_t i = 0; i <= add; ++i) dst[have + i] = src[i];
  return true;
}

bool AppendBackslashIfMissing(wchar_t* dst, size_t capacity) {
  const size_t n = TextLength(dst);
  if (n > 0 && dst[n - 1] == L'\\') return true;
  return AppendText(dst, capacity, L"\\");
}

const wchar_t* FindText(const wchar_t* text, const wchar_t* needle) {
  if (needle[0] == 0) return text;
  for (; *text != 0; ++text) {
    size_t i = 0;
    while (needle[i] != 0 && text[i] == needle[i]) ++i;
    if (needle[i] == 0) return text;
  }
  return nullptr;
}

void TrimTrailingBlanks(wchar_t* text) {
  size_t n = TextLength(text);
  while (n > 0 && text[n - 1] == L' ') text[--n] = 0;
}

bool AppendDecimal(wchar_t* dst, size_t capacity, unsigned long value, unsigned minDigits) {
  wchar_t digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0 && n < 20);
  while (n < minDigits && n < 20) digits[n++] = L'0';
  wchar_t text[24];
  for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = 0;
  return AppendText(dst, capacity, text);
}

bool WidenAscii(wchar_t* dst, size_t capacity, const char* src) {
  if (capacity == 0) return false;
  for (size_t i = 0;; ++i) {
    const unsigned char c = static_cast<unsigned char>(src[i]);
    if (i + 1 > capacity || c >= 0x80) {
      dst[0] = 0;
      return false;
    }
    dst[i] = c;
    if (c == 0) return true;
  }
}
