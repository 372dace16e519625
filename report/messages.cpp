#include "report/messages.h"

#include <windows.h>

#include "framework/winapp.h"

int LoadMessage(MessageId id, wchar_t* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  buffer[0] = 0;
  return LoadStringW(AfxGetResourceHandle(), id, buffer, static_cast<int>(capacity));
}
