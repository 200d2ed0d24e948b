// Resource and control ids of the library's Win32 resources, shared by the
// resource script and the dialog procedure. The logo bitmap is the named
// resource "IDB_LOGO" (a name, not a number), so it has no id here.
#pragma once

#define IDI_LUMORA 101       // icon group of the window class and the dialog
#define IDD_DISPLAY_MODE 103 // the display-mode dialog
#define IDC_FULLSCREEN 1011  // auto check box "FullScreen Mode"
#define IDC_PLAY_SOUNDS 1012 // auto check box "Play Sounds"
#define IDC_MODE_LIST 1013   // drop-down list of the eight modes
#define IDC_LINK 1015        // the makers' web address, in the link font
