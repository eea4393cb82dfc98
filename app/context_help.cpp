// "What's This?" pop-up help.
#include "app/context_help.h"

#include "resources/resource_ids.h"

#define MAIN_ENTRY(control) {control, HELPID_MAIN(control)}
#define OPTIONS_ENTRY(control) {control, HELPID_OPTIONS(control)}

// The close button, the line switch, the captions, the format label and the status area have
// no topic of their own.
const HelpEntry kMainWindowHelp[] = {
    MAIN_ENTRY(IDC_MAIN_RECORD),           MAIN_ENTRY(IDC_MAIN_SOUND_CARD),
    MAIN_ENTRY(IDC_MAIN_SOURCE),           MAIN_ENTRY(IDC_MAIN_FOLDER),
    MAIN_ENTRY(IDC_MAIN_DISCARD_LENGTH),   MAIN_ENTRY(IDC_MAIN_HELP),
    MAIN_ENTRY(IDC_MAIN_PREFIX),           MAIN_ENTRY(IDC_MAIN_SILENCE_LEVEL),
    MAIN_ENTRY(IDC_MAIN_SAVE_FILES_TO),    MAIN_ENTRY(IDC_MAIN_RECORDING_CONTROLS),
    MAIN_ENTRY(IDC_MAIN_SILENCE_LENGTH),   MAIN_ENTRY(IDC_MAIN_ELAPSED),
    MAIN_ENTRY(IDC_MAIN_TRACK),            MAIN_ENTRY(IDC_MAIN_RECORDING_LEVEL),
    MAIN_ENTRY(IDC_MAIN_OPTIONS),          MAIN_ENTRY(IDC_MAIN_LEFT_METER),
    MAIN_ENTRY(IDC_MAIN_RIGHT_METER),      {0, 0},
};

const HelpEntry kOptionsHelp[] = {
    OPTIONS_ENTRY(IDC_OPTIONS_MODE78),        OPTIONS_ENTRY(IDC_OPTIONS_CHANGE_FORMAT),
    OPTIONS_ENTRY(IDC_OPTIONS_WAV),           OPTIONS_ENTRY(IDC_OPTIONS_DIRECTSOUND),
    OPTIONS_ENTRY(IDC_OPTIONS_LANGUAGE),      OPTIONS_ENTRY(IDC_OPTIONS_LIVE_MODE),
    OPTIONS_ENTRY(IDC_OPTIONS_SOUND_CARD),    OPTIONS_ENTRY(IDC_OPTIONS_FORMAT),
    {0, 0},
};

#undef MAIN_ENTRY
#undef OPTIONS_ENTRY

DWORD FindHelpTopic(const HelpEntry* table, int control) {
    for (const HelpEntry* entry = table; entry->control != 0 || entry->topic != 0; ++entry) {
        if (entry->control == control) return entry->topic;
    }
    return 0;
}

int ShowContextHelp(const ContextHelpSource& source, HWND control, DWORD topic,
                    const HelpEntry* table, const POINT* point) {
    if (FindHelpTopic(table, GetDlgCtrlID(control)) == 0) return 0;

    RECT bounds{};
    GetWindowRect(control, &bounds);
    HelpPopup popup{};
    popup.cbStruct = sizeof popup;
    popup.hinst = nullptr;
    popup.idString = topic;
    popup.pszText = nullptr;
    popup.pt = POINT{bounds.right, bounds.bottom};
    popup.clrForeground = COLORREF(-1);
    popup.clrBackground = COLORREF(-1);
    popup.rcMargins = RECT{kHelpPopupMargin, kHelpPopupMargin, kHelpPopupMargin, kHelpPopupMargin};
    popup.pszFont = kHelpPopupFont;

    if (!source.htmlHelp) return 1;

    if (point) {
        HMENU menu = CreatePopupMenu();
        if (!menu) return 0;
        AppendMenuA(menu, MF_STRING, kWhatsThisCommand, source.whatsThis.c_str());
        const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                           point->x, point->y, 0, GetParent(control), nullptr);
        DestroyMenu(menu);
        if (!chosen) return 0;
    }
    source.htmlHelp(control, source.helpFile.c_str(), kHelpDisplayTextPopup,
                    reinterpret_cast<DWORD_PTR>(&popup));
    return 1;
}

namespace {

bool IsGroupBox(HWND window) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, "Button") == 0 &&
           (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

}  // namespace

HWND ChildAtContextPoint(HWND dialog, LPARAM point) {
    const POINT at{static_cast<LONG>(LOWORD(point)), static_cast<LONG>(HIWORD(point))};
    // The templates list each group box before the controls it frames, so it lies above them;
    // the mouse goes through group boxes, and so does this search.
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!(GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
        if ((GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_TRANSPARENT) || IsGroupBox(child)) continue;
        RECT bounds{};
        GetWindowRect(child, &bounds);
        if (PtInRect(&bounds, at)) return child;
    }
    return nullptr;
}
