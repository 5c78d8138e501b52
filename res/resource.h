// Every identifier the resource script and the code share: resources, controls and
// commands. Plain #defines, because the resource compiler reads this file too.
#pragma once

// Resources.
#define IDS_CAPTION 101
#define IDD_MAIN 102
#define IDD_PAGE_MODE 103
#define IDD_PAGE_DISPLAY 104
#define IDD_PAGE_HISTORY 105
#define IDD_ABOUT 106
#define IDI_MAIN 107
#define IDM_MAIN 108
#define IDA_MAIN 110
#define IDM_LIST_BACKGROUND 111

// Controls of the main window.
#define IDC_DRIVE_BOX 1000
#define IDC_HISTORY_BOX 1001
#define IDC_TARGET_LIST_BUTTON 1002
#define IDC_BROWSE_BUTTON 1003
#define IDC_ACCUMULATE_BUTTON 1004
#define IDC_RESULT_LIST 1005
#define IDC_STATUS_BAR 1006
#define IDC_TREEMAP 1060
#define IDC_FILE_TYPES 1061
#define IDM_VIEW_TREEMAP 40030
#define IDM_VIEW_FILE_TYPES 40031

// Controls of the option pages.
#define IDC_DISPLAY_GRAPH 1008
#define IDC_MAX_HISTORY 1009
#define IDC_USED_SIZE 1010
#define IDC_MAX_HISTORY_SPIN 1011
#define IDC_CLEAR_HISTORY 1012
#define IDC_MODE_FILE_OPERATION 1013
#define IDC_MODE_SNAPSHOT 1014
#define IDC_SYSTEM_FONT 1015
#define IDC_USER_FONT 1016
#define IDC_FONT_DESCRIPTION 1017
#define IDC_CHOOSE_FONT 1018
#define IDC_CHOOSE_COLOR 1019
#define IDC_COLOR_SAMPLE 1020
#define IDC_GRAPH_GROUP 1021
#define IDC_COLOR_LABEL 1023
#define IDC_FOLLOW_LINKS 1024

// Commands: menus 108 and 111, the accelerators and the new-item submenu.
#define IDM_EXPORT_ALL 32772
#define IDM_EXPORT_SELECTED 32773
#define IDM_EXIT 32774
#define IDM_COPY_LISTING 32775
#define IDM_CUT 32776
#define IDM_COPY 32777
#define IDM_PASTE 32778
#define IDM_COPY_TO_FOLDER 32779
#define IDM_MOVE_TO_FOLDER 32780
#define IDM_DELETE 32781
#define IDM_RENAME 32782
#define IDM_SELECT_ALL 32783
#define IDM_INVERT_SELECTION 32784
#define IDM_SORT_BY_NAME 32785
#define IDM_SORT_BY_SIZE 32786
#define IDM_SORT_BY_TIME 32787
#define IDM_UP_ONE_LEVEL 32788
#define IDM_SELECTED_FOLDER 32789
#define IDM_OPTIONS 32790
#define IDM_ABOUT 32791
#define IDM_PROPERTIES 32792
#define IDM_PASTE_SHORTCUT 32793
#define IDM_NEW_FOLDER 32794
#define IDM_NEW_SHORTCUT 32795
#define IDM_UNIT_BYTE 32796
#define IDM_UNIT_KB 32797
#define IDM_UNIT_MB 32798
#define IDM_UNIT_GB 32799
#define IDM_COMMA 32800
#define IDM_FIRST_TEMPLATE 32801

// Commands of the change column (the View menu, in file-operation mode).
#define IDM_SHOW_CHANGE 40010
#define IDM_RESET_BASELINE 40011
