// The keystroke filter of the prefix edit.
#include "app/prefix_filter.h"

#include <commctrl.h>

namespace {
constexpr UINT_PTR kSubclassId = 1;
constexpr UINT kStandardBeep = 0xFFFFFFFF;
}  // namespace

PrefixFilter::~PrefixFilter() { Detach(); }

bool PrefixFilter::Attach(HWND edit) {
    Detach();
    if (!edit || !SetWindowSubclass(edit, Procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    edit_ = edit;
    return true;
}

void PrefixFilter::Detach() {
    if (edit_) {
        RemoveWindowSubclass(edit_, Procedure, kSubclassId);
        edit_ = nullptr;
    }
}

LRESULT CALLBACK PrefixFilter::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR /*id*/, DWORD_PTR self) {
    if (message == WM_CHAR && IsRefusedPrefixCharacter(static_cast<unsigned int>(wParam))) {
        MessageBeep(kStandardBeep);
        return 0;
    }
    if (message == WM_NCDESTROY) reinterpret_cast<PrefixFilter*>(self)->Detach();
    return DefSubclassProc(window, message, wParam, lParam);
}
