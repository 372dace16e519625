// The numbered user-visible texts, stored as string resources of the program.
#pragma once

#include <stddef.h>

enum MessageId : unsigned {
  kMsgExit = 1,
  kMsgExitSetup = 3,
  kMsgInvalidFolder = 5,
  kMsgCantInstall = 7,
  kMsgFolderPickerTitle = 8,
  kMsgInstalled = 9,
  kMsgNoViewerFolder = 11,
  kMsgViewerRunning = 12,
};

// Loads message `id` into `buffer` (room for `capacity` characters). On
// failure the buffer is empty. Returns the number of characters loaded.
int LoadMessage(MessageId id, wchar_t* buffer, size_t capacity);
