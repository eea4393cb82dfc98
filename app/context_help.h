// "What's This?" help: the HTML Help text pop-ups for the controls of the main window and the
// Options dialog, each dialog with its own table of (control, help topic) pairs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// One table entry; a table ends with {0, 0}.
struct HelpEntry {
    int control;
    DWORD topic;
};

extern const HelpEntry kMainWindowHelp[];
extern const HelpEntry kOptionsHelp[];

// The topic of `control` in `table`, 0 when it has no entry.
DWORD FindHelpTopic(const HelpEntry* table, int control);

// HtmlHelpA's signature (HHCTRL.OCX is loaded at run time).
using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

constexpr UINT kHelpDisplayTextPopup = 14;  // HH_DISPLAY_TEXT_POPUP

// The platform's HH_POPUP record.
struct HelpPopup {
    int cbStruct;
    HINSTANCE hinst;
    UINT idString;
    LPCSTR pszText;
    POINT pt;
    COLORREF clrForeground;
    COLORREF clrBackground;
    RECT rcMargins;
    LPCSTR pszFont;
};
static_assert(sizeof(HelpPopup) == 52, "HH_POPUP is 52 bytes on 32-bit Windows");

constexpr int kHelpPopupMargin = 5;
constexpr char kHelpPopupFont[] = "MS Sans Serif, 8";
constexpr UINT kWhatsThisCommand = 1;

// What a dialog hands to ShowContextHelp: the main window's HTML Help entry (none when
// HHCTRL.OCX is missing), its help file and its "What's This?" text.
struct ContextHelpSource {
    HtmlHelpFunction htmlHelp = nullptr;
    std::string helpFile;     // helpFolder + "\grooval.chm"
    std::string whatsThis;    // string 512
};

// Shows the pop-up for `control` with `topic`. With a point (a right click) the "What's This?"
// menu is tracked there first. Returns 0 when the control has no entry in `table` or the menu
// was dismissed, 1 otherwise (also when HTML Help is missing: the request is swallowed).
int ShowContextHelp(const ContextHelpSource& source, HWND control, DWORD topic,
                    const HelpEntry* table, const POINT* point);

// The child of `dialog` under a WM_CONTEXTMENU point (screen coordinates, both halves taken
// as unsigned), skipping invisible and transparent children and group boxes; null when there
// is none.
HWND ChildAtContextPoint(HWND dialog, LPARAM point);
