// PrefixFilter: the subclass of the prefix edit that refuses, with a beep, the characters a
// file name cannot hold: typed ones never land, and text that arrives otherwise (pasted, set)
// loses them when the window reports the change.
#pragma once

#include <windows.h>

#include "engine/track_rules.h"


class PrefixFilter {
public:
    PrefixFilter() = default;
    ~PrefixFilter();
    PrefixFilter(const PrefixFilter&) = delete;
    PrefixFilter& operator=(const PrefixFilter&) = delete;

    // Starts filtering `edit`; the filter detaches itself when the edit is destroyed.
    bool Attach(HWND edit);
    void Detach();
    // Removes the refused characters from the edit's text, keeping the caret after what it
    // followed; beeps when there were any. For the edit's EN_CHANGE.
    void StripRefused();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    HWND edit_ = nullptr;
};
