// The keystroke filter of the prefix edit.
#include "app/prefix_filter.h"

#include <commctrl.h>

#include <string>

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

void PrefixFilter::StripRefused() {
    if (!edit_) return;
    const int length = GetWindowTextLengthA(edit_);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(edit_, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    const std::string kept = WithoutRefusedCharacters(text, codePage_);
    if (kept == text) return;
    DWORD caret = 0;
    SendMessageA(edit_, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    if (caret > text.size()) caret = static_cast<DWORD>(text.size());
    caret = static_cast<DWORD>(WithoutRefusedCharacters(text.substr(0, caret), codePage_).size());
    SetWindowTextA(edit_, kept.c_str());  // its EN_CHANGE finds nothing more to strip
    SendMessageA(edit_, EM_SETSEL, caret, caret);
    MessageBeep(kStandardBeep);
}

bool PrefixFilter::Refuses(unsigned int character) {
    if (trailByteNext_) {
        trailByteNext_ = false;
        return false;
    }
    if (character <= 0xFF && IsDBCSLeadByteEx(codePage_, static_cast<BYTE>(character))) {
        trailByteNext_ = true;
        return false;
    }
    return IsRefusedPrefixCharacter(character);
}

LRESULT CALLBACK PrefixFilter::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR /*id*/, DWORD_PTR self) {
    auto* filter = reinterpret_cast<PrefixFilter*>(self);
    if (message == WM_CHAR && filter->Refuses(static_cast<unsigned int>(wParam))) {
        MessageBeep(kStandardBeep);
        return 0;
    }
    if (message == WM_NCDESTROY) filter->Detach();
    return DefSubclassProc(window, message, wParam, lParam);
}
