// Who the setup is: its caption, the package version it installs, and the ids
// of its resources. The resource script and the code both take them from here.
#pragma once

#define SETUP_CAPTION "Pixelmoor PlugIns 32-bit Setup"
#define SETUP_BITNESS 32  // the viewer build the plug-ins are for
#define SETUP_PUBLISHER "Pixelmoor"  // the version block's company, and Apps & features' publisher
// The Apps & features entry: the name it shows, and its key's name below
// ...\CurrentVersion\Uninstall, which winget takes for the ProductCode
// (scripts/release's manifests read both from here).
#define SETUP_ENTRY_NAME "Pixelmoor PlugIns (32-bit)"
#define SETUP_ENTRY_KEY "PixelmoorPlugIns32"

// The package version is written once, as the CMake project's VERSION, which
// passes it to the compilers and the resource compiler.
#if !defined(SETUP_VERSION_MAJOR) || !defined(SETUP_VERSION_MINOR)
#error "SETUP_VERSION_MAJOR and SETUP_VERSION_MINOR come from the CMake project's VERSION"
#endif

#define SETUP_STRINGIZE_(x) #x
#define SETUP_STRINGIZE(x) SETUP_STRINGIZE_(x)
// "4.57.0.0", the version block's file and product version.
#define SETUP_VERSION_TEXT \
  SETUP_STRINGIZE(SETUP_VERSION_MAJOR) "." SETUP_STRINGIZE(SETUP_VERSION_MINOR) ".0.0"

// The plug-in archive: a resource of type ZIP.
#define IDR_PAYLOAD 1973
#define SETUP_PAYLOAD_TYPE ZIP

#define IDD_DESTINATION 101  // the wizard's one page
#define IDI_SETUP 111        // the sheet's large icon
#define IDB_LOGO 113         // the logo at the page's top left

// The messages: string resources, loaded by these numbers.
#define IDS_EXIT 1
#define IDS_EXIT_SETUP 3
#define IDS_INVALID_FOLDER 5
#define IDS_CANT_INSTALL 7
#define IDS_FOLDER_PICKER_TITLE 8
#define IDS_INSTALLED 9
#define IDS_NO_VIEWER_FOLDER 11
#define IDS_VIEWER_RUNNING 12
#define IDS_ANOTHER_SETUP_RUNNING 13
#define IDS_WAITING_FOR_SETUP 14
#define IDS_UNINSTALL_ASK 15
#define IDS_UNINSTALLED 16
#define IDS_CANT_UNINSTALL 17
#define IDS_KEPT_CHANGED 18
#define IDS_FILES_IN_USE 19
#define IDS_NEEDS_SILENT 20
#define IDS_USAGE 21
#define IDS_NEEDS_DLL_UPDATE 22

// Controls of the destination page.
#define IDC_FOLDER_EDIT 1000
#define IDC_BROWSE 1009
#define IDC_WELCOME 1013
#define IDC_PRESS_THE 1016
#define IDC_NEXT_NAME 1017
#define IDC_WARNING 1018
#define IDC_PACKAGE_TEXT 1019
#define IDC_REGISTRY_HINT 1020
// Made at run time, once Next installs, in the place of the sentence that
// names the Next button.
#define IDC_INSTALL_PROGRESS 1021
#define IDC_INSTALL_STATUS 1022

#ifndef RC_INVOKED
// The same facts as the code uses them.
inline constexpr wchar_t kSetupCaption[] = L"" SETUP_CAPTION;
inline constexpr wchar_t kPublisher[] = L"" SETUP_PUBLISHER;
inline constexpr wchar_t kEntryName[] = L"" SETUP_ENTRY_NAME;
inline constexpr unsigned kVersionMajor = SETUP_VERSION_MAJOR;
inline constexpr unsigned kVersionMinor = SETUP_VERSION_MINOR;
// "4.57": the package version as the installation record names it.
inline constexpr wchar_t kPackageVersion[] =
    L"" SETUP_STRINGIZE(SETUP_VERSION_MAJOR) "." SETUP_STRINGIZE(SETUP_VERSION_MINOR);
inline constexpr wchar_t kBitness[] = L"" SETUP_STRINGIZE(SETUP_BITNESS);
inline constexpr int kPayloadId = IDR_PAYLOAD;
inline constexpr wchar_t kPayloadType[] = L"" SETUP_STRINGIZE(SETUP_PAYLOAD_TYPE);
#endif
