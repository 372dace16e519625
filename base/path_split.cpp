#include "base/path_split.h"

#include "base/text.h"

namespace {

void CopyRange(wchar_t* dst, const wchar_t* begin, const wchar_t* end) {
  size_t i = 0;
  for (const wchar_t* p = begin; p < end; ++p) dst[i++] = *p;
  dst[i] = 0;
}

}  // namespace

void SplitPath(const wchar_t* path, PathParts* parts) {
  parts->drive[0] = parts->dir[0] = parts->name[0] = parts->ext[0] = 0;

  const wchar_t* p = path;
  const wchar_t* drive_end = p;
  if (p[0] != 0 && p[1] == L':') drive_end = p + 2;

  const wchar_t* end = path + TextLength(path);
  const wchar_t* dir_end = drive_end;  // one past the last separator
  const wchar_t* last_dot = nullptr;
  for (const wchar_t* q = drive_end; q < end; ++q) {
    if (*q == L'\\' || *q == L'/') {
      dir_end = q + 1;
      last_dot = nullptr;
    } else if (*q == L'.') {
      last_dot = q;
    }
  }
  const wchar_t* name_end = last_dot != nullptr ? last_dot : end;

  if (static_cast<size_t>(dir_end - drive_end) >= kPathPartChars ||
      static_cast<size_t>(name_end - dir_end) >= kPathPartChars ||
      static_cast<size_t>(end - name_end) >= kPathPartChars) {
    return;
  }
  CopyRange(parts->drive, path, drive_end);
  CopyRange(parts->dir, drive_end, dir_end);
  CopyRange(parts->name, dir_end, name_end);
  CopyRange(parts->ext, name_end, end);
}

bool IsFullPath(const wchar_t* path) {
  if (path[0] == L'\\') return path[1] == L'\\';
  return path[0] != 0 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool PlainPathForm(const wchar_t* path, wchar_t* out, size_t capacity) {
  const size_t drive = DriveAt(path);
  if (drive != kNoDrive) return CopyText(out, capacity, path + drive);
  const wchar_t kUncForm[] = L"\\\\?\\UNC\\";
  size_t at = 0;
  while (kUncForm[at] != 0 && path[at] == kUncForm[at]) ++at;
  if (kUncForm[at] != 0 || capacity < 3) return CopyText(out, capacity, path);
  out[0] = out[1] = L'\\';  // "\\?\UNC\" becomes "\\"
  if (CopyText(out + 2, capacity - 2, path + at)) return true;
  out[0] = 0;
  return false;
}

size_t DriveAt(const wchar_t* path) {
  size_t at = 0;
  if (path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
      path[3] == L'\\') {
    at = 4;
  }
  const wchar_t letter = path[at];
  const bool is_letter = (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
  return is_letter && path[at + 1] == L':' ? at : kNoDrive;
}
