// The numbered user-visible texts, stored as string resources of the program.
// The numbers come from the resource ids that the resource script uses too.
#pragma once

#include <stddef.h>

#include "res/setup_identity.h"

enum MessageId : unsigned {
  kMsgExit = IDS_EXIT,
  kMsgExitSetup = IDS_EXIT_SETUP,
  kMsgInvalidFolder = IDS_INVALID_FOLDER,
  kMsgCantInstall = IDS_CANT_INSTALL,
  kMsgFolderPickerTitle = IDS_FOLDER_PICKER_TITLE,
  kMsgInstalled = IDS_INSTALLED,
  kMsgNoViewerFolder = IDS_NO_VIEWER_FOLDER,
  kMsgViewerRunning = IDS_VIEWER_RUNNING,
  kMsgAnotherSetupRunning = IDS_ANOTHER_SETUP_RUNNING,
  kMsgWaitingForSetup = IDS_WAITING_FOR_SETUP,
  kMsgUninstallAsk = IDS_UNINSTALL_ASK,
  kMsgUninstalled = IDS_UNINSTALLED,
  kMsgCantUninstall = IDS_CANT_UNINSTALL,
  kMsgKeptChanged = IDS_KEPT_CHANGED,
  kMsgFilesInUse = IDS_FILES_IN_USE,
  kMsgNeedsSilent = IDS_NEEDS_SILENT,
  kMsgUsage = IDS_USAGE,
  kMsgNeedsDllUpdate = IDS_NEEDS_DLL_UPDATE,
};

// Room for a message loaded to be logged or shown: every message but
// kMsgUsage (which /? loads into room of its own) fits whole.
constexpr size_t kMessageChars = 260;

// Loads message `id` into `buffer` (room for `capacity` characters). On
// failure the buffer is empty. Returns the number of characters loaded.
int LoadMessage(MessageId id, wchar_t* buffer, size_t capacity);
