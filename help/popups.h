// "What's This?" topic numbers: 0x80000000 | dialog template << 16 | control id, the numbers
// the main window (template 102) and the Options dialog (template 129) ask HTML Help for.
// Texts in cshelp.txt.

// Main window
#define IDH_MAIN_RECORD             0x806603E8
#define IDH_MAIN_SOURCE             0x806603E9
#define IDH_MAIN_RECORDING_CONTROLS 0x806603EA
#define IDH_MAIN_SILENCE_LEVEL      0x806603EB
#define IDH_MAIN_RECORDING_LEVEL    0x806603EE
#define IDH_MAIN_PREFIX             0x806603F0
#define IDH_MAIN_SAVE_FILES_TO      0x806603F1
#define IDH_MAIN_FOLDER             0x806603F2
#define IDH_MAIN_TRACK              0x806603F3
#define IDH_MAIN_LEFT_METER         0x806603F4
#define IDH_MAIN_RIGHT_METER        0x806603F5
#define IDH_MAIN_ELAPSED            0x806603F6
#define IDH_MAIN_SILENCE_LENGTH     0x806603F7
#define IDH_MAIN_HELP               0x806603F9
#define IDH_MAIN_DISCARD_LENGTH     0x806603FA
#define IDH_MAIN_OPTIONS            0x806603FC
#define IDH_MAIN_SOUND_CARD         0x80660400

// Options dialog
#define IDH_OPTIONS_MODE78          0x808103EE
#define IDH_OPTIONS_LIVE_MODE       0x808103EF
#define IDH_OPTIONS_DIRECTSOUND     0x808103F7
#define IDH_OPTIONS_LANGUAGE        0x808103F8
#define IDH_OPTIONS_CHANGE_FORMAT   0x808103F9
#define IDH_OPTIONS_WAV             0x808103FB
#define IDH_OPTIONS_FORMAT          0x808103FD
#define IDH_OPTIONS_SOUND_CARD      0x808103FF
