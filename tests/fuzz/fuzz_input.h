// Turns a fuzzer's bytes into zero-terminated text of UTF-16 code units, as the
// program sees it on Windows (wchar_t is wider here, the values are the same).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

inline std::vector<wchar_t> TextFromBytes(const uint8_t* data, size_t size) {
  std::vector<wchar_t> text;
  text.reserve(size / 2 + 1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  text.push_back(0);
  return text;
}

// A broken promise of the code under test: libFuzzer reports the crash.
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) abort(); \
  } while (0)
