// Identifiers of the utility's resources (mq6wb.rc) and of the controls and commands that the
// window procedures handle. Plain defines: the resource compiler reads this file too.
#pragma once

// Strings: the window title, the window class name, the record item's caption while a
// recording runs, and the Display menu's item of the Recording view once a file is open.
#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109
#define IDS_STOP_RECORDING 110
#define IDS_RECORDING_VIEW 111

// Menu, accelerators, icon.
#define IDR_MAIN_MENU 109
#define IDR_ACCELERATORS 109
#define IDI_APP_ICON 131

// Dialogs.
#define IDD_ABOUT 103
#define IDD_PREFERENCES 132
#define IDD_COMM_SETUP 133

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_AFR_LAMBDA 32784
#define IDM_WB_SETUP 32785
#define IDM_FIRMWARE_UPDATE 32786
#define IDM_PREFERENCES 32787
#define IDM_FIND_UNIT 32788
#define IDM_COMM_SETUP 32790
#define IDM_RECORD 32795
#define IDM_LIVE_HISTORY 32796
#define IDM_OPEN_RECORDING 32797
#define IDM_MARK 32798
#define IDM_RECORDING_VIEW 32799
#define IDM_OPEN_SETUP 32800
#define IDM_SAVE_SETUP 32801

// The push buttons of the views carry no identifier of their own.
#define IDC_VIEW_BUTTON 0

// Preferences dialog.
#define IDC_TARGET_LOW 1004
#define IDC_TARGET_HIGH 1005
#define IDC_RESPONSE_RATE 1006

// About box: the version and what the build carries, filled in when it opens.
#define IDC_ABOUT_FACTS 1010

// Comm Port Setup dialog.
#define IDC_AUTO_PORT 1007
#define IDC_FIXED_PORT 1008
#define IDC_PORT_LIST 1009
#define IDC_PORT_NOTE 1010

#define IDC_STATIC -1
