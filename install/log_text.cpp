#include "install/log_text.h"

namespace {

void AppendLatin1(std::string* out, const wchar_t* text) {
  for (; *text != 0; ++text) {
    const unsigned long c = static_cast<unsigned long>(*text);
    out->push_back(c < 256 ? static_cast<char>(c) : '?');
  }
}

}  // namespace

std::string FormatLogEntry(const wchar_t* date, const wchar_t* time, const wchar_t* message) {
  std::string out;
  AppendLatin1(&out, date);
  out += " - ";
  AppendLatin1(&out, time);
  out += ": ";
  AppendLatin1(&out, message);
  out += "\n------------------------------------------------\n";
  return out;
}
