// Where a run's words go, decided in this one place from g_silent (set once at
// start-up): the install log in a silent run, a message box in an interactive
// one. Start-up's refusals decide for themselves, before a face is chosen: no
// windows where no one can answer them (RefuseWindows), and the missing
// DLL-search update, told in a box the system draws.
#pragma once

#include <windows.h>

#include "report/messages.h"

// True when the run tells the install log, false when it tells a person.
bool RunTellsTheLog();

// `text` into the log, or shown with `caption` and `icon` in a box over the
// active window.
void Tell(const wchar_t* text, const wchar_t* caption, UINT icon);

// Message `id` told as Tell does; an empty text when the resource is missing
// (the log's entry still tells the time).
void TellMessage(MessageId id, const wchar_t* caption, UINT icon);
