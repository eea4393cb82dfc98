// Choosing the output format: the codec manager's format chooser, set up to list only what the
// program can record (no rate above 44100 Hz, seven tags left out) with the current format
// listed once and preselected, and the way back to plain PCM.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>

constexpr size_t kChooserNameBytes = 260;  // the chooser's name for a format, with its end
constexpr size_t kChooserTextBytes = 260;  // the text built from a choice
constexpr DWORD kChooserMaxRate = 44100;   // formats above this rate are not listed
constexpr int kChooserFormatList = 102;    // the chooser's own format combo box

// The hook's process-wide state, meaningful while a chooser is open.
struct FormatChooserState {
    int32_t listedCount = -1;   // list index of the last format let into the format list
    int32_t currentIndex = -1;  // list index of the entry equal to the initial format
    const WAVEFORMATEX* initialFormat = nullptr;  // the record the chooser opened on
};
extern FormatChooserState formatChooserState;

// Keeps formats and tags out of the chooser's lists and preselects the current format.
UINT CALLBACK FormatChooserHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True for the tags the chooser leaves out.
bool IsExcludedFormatTag(DWORD tag);

// Runs the chooser on `record` (a buffer of formatSize + 18 bytes) and `name` (nameBytes).
// Returns the manager's result: on 0 the record and name hold the choice, and `text` (when
// given) holds "<name>\n<tag name>, <n> KB/s\n<description>"; otherwise nothing is changed.
// A manager that refuses the hook (Wine's) still shows its chooser, without the filtering.
MMRESULT RunFormatChooser(HWND owner, WAVEFORMATEX* record, uint32_t formatSize, char* name,
                          size_t nameBytes, char* text, size_t textBytes);

// Back to plain PCM: 44100 Hz, 16-bit stereo, and no name.
void BackToPcm(WAVEFORMATEX* record, char* name);
