// The texts of the setup's messages as the tests expect them, each written
// once (named after the program's MessageId): k<Name>Text, and L"" for the
// tests that read windows.
#pragma once

#include <string>

#define PIXELMOOR_EXPECTED_TEXT(name, text) \
  [[maybe_unused]] constexpr char k##name##Text[] = text; \
  [[maybe_unused]] constexpr wchar_t k##name##WideText[] = L"" text;

PIXELMOOR_EXPECTED_TEXT(ExitSetup, "Exit setup?")
PIXELMOOR_EXPECTED_TEXT(InvalidFolder, "Invalid destination directory!")
PIXELMOOR_EXPECTED_TEXT(CantInstall,
                        "Can't install all files!\n\nPlease check your destination directory for free space!")
PIXELMOOR_EXPECTED_TEXT(Installed, "Installation successfull!")
PIXELMOOR_EXPECTED_TEXT(NoViewerFolder,
                        "Error!\n\nCan't find Pixelmoor folder!\n\nYou have either no registry access permissions "
                        "or Pixelmoor is not installed!\nPlease check your user permissions or install Pixelmoor!")
PIXELMOOR_EXPECTED_TEXT(ViewerRunning,
                        "Error: Pixelmoor is running!\nPlease close all Pixelmoor instances before you install "
                        "Pixelmoor PlugIns!")
PIXELMOOR_EXPECTED_TEXT(AnotherSetupRunning,
                        "Another Pixelmoor PlugIns setup is still running!\n\nPlease run this setup again when it "
                        "has finished.")
PIXELMOOR_EXPECTED_TEXT(WaitingForSetup, "Waiting for another Pixelmoor PlugIns setup to finish ...")
PIXELMOOR_EXPECTED_TEXT(CantUninstall,
                        "Can't remove all files!\n\nPlease close Pixelmoor and check your rights on the Plugins folder!")
PIXELMOOR_EXPECTED_TEXT(KeptChanged, "Kept a plug-in that was changed since it was installed:")
PIXELMOOR_EXPECTED_TEXT(FilesInUse,
                        "Error: Pixelmoor PlugIns are in use!\nPlease close all Pixelmoor instances and every program "
                        "that uses the plug-ins, then run this setup again!")
PIXELMOOR_EXPECTED_TEXT(NeedsSilent,
                        "Error: no one can answer this setup's windows here!\nRun it with /silent where no user is "
                        "signed in, as a service or as SYSTEM.")

#undef PIXELMOOR_EXPECTED_TEXT

// A message's first line, which a log search finds whatever the log does with line breaks.
inline std::string FirstLine(const char* text) {
  const std::string all = text;
  return all.substr(0, all.find('\n'));
}
