// "What's This?" pop-up help.
#include "app/context_help.h"

namespace {

constexpr int kMainTemplate = 102;
constexpr int kOptionsTemplate = 129;

}  // namespace

const HelpEntry kMainWindowHelp[] = {
    {1000, HelpTopic(kMainTemplate, 1000)}, {1024, HelpTopic(kMainTemplate, 1024)},
    {1001, HelpTopic(kMainTemplate, 1001)}, {1010, HelpTopic(kMainTemplate, 1010)},
    {1018, HelpTopic(kMainTemplate, 1018)}, {1017, HelpTopic(kMainTemplate, 1017)},
    {1008, HelpTopic(kMainTemplate, 1008)}, {1003, HelpTopic(kMainTemplate, 1003)},
    {1009, HelpTopic(kMainTemplate, 1009)}, {1002, HelpTopic(kMainTemplate, 1002)},
    {1015, HelpTopic(kMainTemplate, 1015)}, {1014, HelpTopic(kMainTemplate, 1014)},
    {1011, HelpTopic(kMainTemplate, 1011)}, {1006, HelpTopic(kMainTemplate, 1006)},
    {1020, HelpTopic(kMainTemplate, 1020)}, {1012, HelpTopic(kMainTemplate, 1012)},
    {1013, HelpTopic(kMainTemplate, 1013)}, {0, 0},
};

const HelpEntry kOptionsHelp[] = {
    {1006, HelpTopic(kOptionsTemplate, 1006)}, {1017, HelpTopic(kOptionsTemplate, 1017)},
    {1019, HelpTopic(kOptionsTemplate, 1019)}, {1015, HelpTopic(kOptionsTemplate, 1015)},
    {1016, HelpTopic(kOptionsTemplate, 1016)}, {1007, HelpTopic(kOptionsTemplate, 1007)},
    {1023, HelpTopic(kOptionsTemplate, 1023)}, {1021, HelpTopic(kOptionsTemplate, 1021)},
    {0, 0},
};

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

HWND ChildAtContextPoint(HWND dialog, LPARAM point) {
    POINT at{static_cast<LONG>(LOWORD(point)), static_cast<LONG>(HIWORD(point))};
    ScreenToClient(dialog, &at);
    HWND child = ChildWindowFromPointEx(dialog, at, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    return child == dialog ? nullptr : child;
}
