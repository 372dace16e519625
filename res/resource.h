// Resource ids of the setup program, shared by the resource script and the code.
#pragma once

#define IDR_PAYLOAD 1973

#define IDD_DESTINATION 101  // the wizard's one page
#define IDI_SETUP 111        // the sheet's large icon
#define IDB_LOGO 113         // the logo at the page's top left

// Controls of the destination page.
#define IDC_FOLDER_EDIT 1000
#define IDC_BROWSE 1009
#define IDC_WELCOME 1013
#define IDC_PRESS_THE 1016
#define IDC_NEXT_NAME 1017
#define IDC_WARNING 1018
#define IDC_PACKAGE_TEXT 1019
#define IDC_REGISTRY_HINT 1020
