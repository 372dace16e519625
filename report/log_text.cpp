#include "report/log_text.h"

#include "base/text.h"

namespace {

constexpr char kSeparator[] = "\n------------------------------------------------\n";

// Appends text of UTF-16 code units one byte each; false when it does not fit.
// With `controls` false, control characters become "?" too.
bool AppendLatin1(char* out, size_t capacity, size_t* used, const wchar_t* text, bool controls = true) {
  for (; *text != 0; ++text) {
    if (*used + 1 >= capacity) return false;
    const unsigned long c = static_cast<unsigned long>(*text);
    out[(*used)++] = c < 256 && (controls || !IsControlCharacter(*text)) ? static_cast<char>(c) : '?';
  }
  return true;
}

bool AppendBytes(char* out, size_t capacity, size_t* used, const char* text) {
  for (; *text != 0; ++text) {
    if (*used + 1 >= capacity) return false;
    out[(*used)++] = *text;
  }
  return true;
}

}  // namespace

size_t FormatLogEntry(const wchar_t* date, const wchar_t* time, const wchar_t* message,
                      char* out, size_t capacity) {
  if (capacity == 0) return 0;
  size_t used = 0;
  // The date is the user's format, which holds any text the user chose.
  const bool fits = AppendLatin1(out, capacity, &used, date, false) &&
                    AppendBytes(out, capacity, &used, " - ") &&
                    AppendLatin1(out, capacity, &used, time) &&
                    AppendBytes(out, capacity, &used, ": ") &&
                    AppendLatin1(out, capacity, &used, message) &&
                    AppendBytes(out, capacity, &used, kSeparator);
  if (!fits) used = 0;
  out[used] = 0;
  return used;
}

void FormatTimeOfDay(unsigned hour, unsigned minute, unsigned second, wchar_t out[9]) {
  out[0] = 0;
  (void)AppendDecimal(out, 9, hour, 2);  // each fits: two digits of a clock
  (void)AppendText(out, 9, L":");
  (void)AppendDecimal(out, 9, minute, 2);
  (void)AppendText(out, 9, L":");
  (void)AppendDecimal(out, 9, second, 2);
}

void FormatIsoDate(unsigned year, unsigned month, unsigned day, wchar_t out[11]) {
  out[0] = 0;
  (void)AppendDecimal(out, 11, year % 10000, 4);
  (void)AppendText(out, 11, L"-");
  (void)AppendDecimal(out, 11, month % 100, 2);
  (void)AppendText(out, 11, L"-");
  (void)AppendDecimal(out, 11, day % 100, 2);
}
