#include "report/tell.h"

#include "report/install_log.h"
#include "report/install_plugins.h"

bool RunTellsTheLog() { return g_silent != 0; }

void Tell(const wchar_t* text, const wchar_t* caption, UINT icon) {
  if (RunTellsTheLog()) {
    WriteInstallLog(text);
  } else {
    (void)MessageBoxW(GetActiveWindow(), text, caption, icon);
  }
}

void TellMessage(MessageId id, const wchar_t* caption, UINT icon) {
  wchar_t text[kMessageChars];
  (void)LoadMessage(id, text, kMessageChars);  // empty when missing: still told
  Tell(text, caption, icon);
}
