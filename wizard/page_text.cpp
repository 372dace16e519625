#include "wizard/page_text.h"

#include "base/path_split.h"
#include "base/text.h"

void TrimBlanks(wchar_t* text) {
  TrimTrailingBlanks(text);
  const size_t n = TextLength(text);
  if (n == 0 || text[0] != L' ' || n > kPageFolderChars) return;
  size_t skip = 0;
  while (text[skip] == L' ') ++skip;
  for (size_t i = skip; i <= n; ++i) text[i - skip] = text[i];
}

bool IsAcceptableInstallFolder(const wchar_t* folder) {
  if (folder[0] == 0) return false;
  PathParts parts;
  SplitPath(folder, &parts);
  if (parts.drive[0] == 0) return false;
  // At 259 characters a trailing backslash would make the directory part too
  // long for the split; without one the folder lost the backslash the page adds.
  return TextLength(folder) < kPageFolderChars;
}

void PickerStartFolder(const wchar_t* path, wchar_t start[kPageFolderChars + 1]) {
  CopyTextCut(start, kPageFolderChars + 1, path);
  const size_t n = TextLength(start);
  if (n > 3 && start[n - 1] == L'\\') start[n - 1] = 0;
}

bool FillPlaceholders(const wchar_t* pattern, const wchar_t* const* args, size_t count,
                      wchar_t* out, size_t capacity) {
  if (capacity == 0) return false;
  size_t used = 0;
  size_t next_arg = 0;
  auto put = [&](wchar_t c) {
    if (used + 1 >= capacity) return false;
    out[used++] = c;
    return true;
  };
  for (const wchar_t* p = pattern; *p != 0; ++p) {
    if (p[0] == L'%' && p[1] == L's' && next_arg < count) {
      for (const wchar_t* a = args[next_arg]; *a != 0; ++a) {
        if (!put(*a)) return (out[0] = 0, false);
      }
      ++next_arg;
      ++p;
    } else if (!put(*p)) {
      return (out[0] = 0, false);
    }
  }
  out[used] = 0;
  return true;
}

void NextButtonLabel(const wchar_t* caption, wchar_t* label, size_t capacity) {
  if (capacity == 0) return;
  label[0] = 0;
  if (FindText(caption, L"Next") != nullptr) return;
  if (!AppendText(label, capacity, L"\"") || !AppendText(label, capacity, caption) ||
      !AppendText(label, capacity, L"\"")) {
    label[0] = 0;
  }
}
