// Numbers of every resource, dialog control, string and help context of the program: the one
// place they are defined. Read by the resource compiler too, so only #define lines here.
#pragma once

// Dialog templates.
#define IDD_MAIN_WINDOW 102
#define IDD_ABOUT 103
#define IDD_OPTIONS 129

// Icon groups, stored once under US English.
#define IDI_PROGRAM 127        // 32 x 32 and 16 x 16: the program and the main window
#define IDI_SMALL 128          // 16 x 16: the main window's caption
#define IDI_ABOUT_PICTURE 129  // 32 x 32 and 16 x 16: the About box's second picture

// Controls the program never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Main window (template 102).
#define IDC_MAIN_CLOSE 1  // the Close button ends the window with 1
#define IDC_MAIN_RECORD 1000
#define IDC_MAIN_SOURCE 1001
#define IDC_MAIN_RECORDING_CONTROLS 1002
#define IDC_MAIN_SILENCE_LEVEL 1003
#define IDC_MAIN_SINK_STATUS 1004
#define IDC_MAIN_FILE_GROUP 1005  // English only; -1 in the other languages
#define IDC_MAIN_RECORDING_LEVEL 1006
#define IDC_MAIN_LINE_SWITCH 1007
#define IDC_MAIN_PREFIX 1008
#define IDC_MAIN_SAVE_FILES_TO 1009
#define IDC_MAIN_FOLDER 1010
#define IDC_MAIN_TRACK 1011
#define IDC_MAIN_LEFT_METER 1012
#define IDC_MAIN_RIGHT_METER 1013
#define IDC_MAIN_ELAPSED 1014
#define IDC_MAIN_SILENCE_LENGTH 1015
#define IDC_MAIN_SILENCE_LENGTH_CAPTION 1016
#define IDC_MAIN_HELP 1017
#define IDC_MAIN_DISCARD_LENGTH 1018
#define IDC_MAIN_DISCARD_CAPTION 1019
#define IDC_MAIN_OPTIONS 1020
#define IDC_MAIN_FORMAT 1022
#define IDC_MAIN_SOUND_CARD 1024

// About box (template 103); its OK button is IDOK.
#define IDC_ABOUT_PRODUCT 1066
#define IDC_ABOUT_NOTICE 1067

// Options dialog (template 129); OK and Cancel are IDOK and IDCANCEL.
#define IDC_OPTIONS_MODE78 1006
#define IDC_OPTIONS_LIVE_MODE 1007
#define IDC_OPTIONS_DIRECTSOUND 1015
#define IDC_OPTIONS_LANGUAGE 1016
#define IDC_OPTIONS_CHANGE_FORMAT 1017
#define IDC_OPTIONS_WAV 1019
#define IDC_OPTIONS_FORMAT 1021
#define IDC_OPTIONS_SOUND_CARD 1023

// Help context numbers: 0x80000000 | template << 16 | control. The templates carry them on
// their controls and the help file's pop-up topics use the same numbers.
#define HELPID_MAIN_BASE 0x80660000     // template 102
#define HELPID_OPTIONS_BASE 0x80810000  // template 129
#define HELPID_MAIN(control) (HELPID_MAIN_BASE + (control))
#define HELPID_OPTIONS(control) (HELPID_OPTIONS_BASE + (control))

// String table, the same ids in every language.
#define IDS_ABOUT_MENU 101        // system-menu item of the main window
#define IDS_NEW_TRACK_AFTER 102   // silence-length caption, %s seconds
#define IDS_SOUND_CARD_BUSY 103   // capture failure, %08x error code
#define IDS_DISCARD_SHORTER 104   // minimum-length caption, %s seconds
#define IDS_TRACK_NUMBER 105      // %d
#define IDS_CUEING 106
#define IDS_NOT_RECORDING 107
#define IDS_START 256
#define IDS_STOP 257
#define IDS_MONITOR 258
#define IDS_WHATS_THIS 512
#define IDS_PROGRAM_NAME 57344    // caption of the program's message boxes

// The system-menu command of the About item.
#define IDM_ABOUT 16
