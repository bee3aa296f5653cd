// Identifiers of the launcher's resources.
#pragma once

#define IDI_READY 129
#define IDI_STOPPED 130
#define IDI_BUSY1 131
#define IDI_BUSY2 132
#define IDI_BUSY3 133

#define IDD_CONSOLE 102
#define IDD_JAVA_NOT_FOUND 133
#define IDR_TRAY_MENU 134
#define IDR_CONSOLE_MENU 135
#define IDD_SETTINGS 136

#define IDC_HIDE 1000
#define IDC_CONSOLE 1001
#define IDC_VIEW_LOG 1007
#define IDC_GOTO 1008
#define IDC_HELP_DOC 1009
#define IDC_DOWNLOAD_JAVA 1010
#define IDC_JAVA_PATH 1011
#define IDC_BROWSE 1012
#define IDC_JAVADOC 1013
#define IDC_HIDE_ON_STARTUP 1014
#define IDC_JAVA_OPTIONS 1015
#define IDC_START_WITH_WINDOWS 1016
#define IDC_RESTART_ON_FAILURE 1017
#define IDC_STOP_TIMEOUT 1018

#define ID_TRAY_OPEN 32785
#define ID_TRAY_GOTO 32786
#define ID_TRAY_EXIT 32787
#define ID_TRAY_RESTART 32793
#define ID_TRAY_AUTOSTART 32794

// The console text's right-click menu.
#define ID_CONSOLE_COPY 32788
#define ID_CONSOLE_SELECT_ALL 32789
#define ID_CONSOLE_FIND 32790
#define ID_CONSOLE_FIND_NEXT 32791
#define ID_CONSOLE_SAVE 32792

// The output kept on disk: its folder from the tray menu, and the console emptied.
#define ID_TRAY_LOGS 32795
#define ID_CONSOLE_CLEAR 32797
// The settings window, from the tray menu.
#define ID_TRAY_SETTINGS 32796
