// Resource identifiers shared by the resource script and the code.
#ifndef SONABELL_UI_RESOURCE_H
#define SONABELL_UI_RESOURCE_H

#define SONABELL_VERSION_TEXT "2.01.001"
#define SONABELL_VERSION_BINARY 2, 1, 1, 0

// Dialog templates.
#define IDD_ABOUT 101
#define IDD_CONFIG_PANEL 107
#define IDD_ADD_SOUND 113
#define IDD_HELP 114
#define IDD_SOUNDPACK 123
#define IDD_ERROR 124
#define IDD_CONFIRM_DELETE 126
#define IDD_OPTIONS 127
#define IDD_PACK_REPORT 128

// Artwork.
#define IDB_BANNER 102
#define IDI_PLUGIN 103
#define IDB_BULLET 118
#define IDI_PLAY 122

// String table.
#define IDS_ADD_SOUND_TIP 40001
#define IDS_HELP_TIP 40002

// Controls. Ids 1 and 2 are the system's IDOK and IDCANCEL.
#define IDC_STATIC (-1)
#define IDC_ABOUT_BANNER 1000
#define IDC_VERSION 1001
#define IDC_HELP_COMMAND 1003 // no control: F1 in the sound dialogs sends it
#define IDC_ADD 1004
#define IDC_DELETE 1007
#define IDC_ENABLE_SOUNDS 1008
#define IDC_SOUND_LIST 1009
#define IDC_EDIT 1010
#define IDC_COMMAND 1011
#define IDC_INDEX_LIST 1012
#define IDC_FILENAME 1013 // also the soundpack dialog's path
#define IDC_BROWSE 1014
#define IDC_MESSAGE 1015
#define IDC_HELP_TEXT 1017
#define IDC_PLAY 1019
#define IDC_ERROR_TEXT 1023
#define IDC_UNINSTALL 1024
#define IDC_SOUNDPACKS 1027
#define IDC_OPTIONS 1028
#define IDC_ENABLE_TOASTS 1029
// The Options dialog's playback group.
#define IDC_VOLUME 1030 // trackbar, 0..100
#define IDC_VOLUME_VALUE 1031
#define IDC_TEST_CHIME 1032
#define IDC_LET_FINISH 1033
#define IDC_SOUNDS_PER_MINUTE 1034 // number box, 0..255
#define IDC_SOUNDS_PER_MINUTE_SPIN 1035
#define IDC_EVEN_LOUDNESS 1042
// The soundpack dialog's tools for pack makers, and the check's report.
#define IDC_CHECK_PACK 1036
#define IDC_SAVE_PACK 1037
#define IDC_REPORT_LIST 1038
#define IDC_REPORT_SUMMARY 1039
#define IDC_COPY 1040
#define IDC_STOP_CHECK 1041

#endif
