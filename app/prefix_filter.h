// PrefixFilter: the subclass of the prefix edit that refuses, with a beep, the characters a
// file name cannot hold: typed ones never land, and text that arrives otherwise (pasted, set)
// loses them when the window reports the change.
#pragma once

#include <windows.h>

#include "engine/track_rules.h"


class PrefixFilter {
public:
    // `codePage` is the one the edit's text is in (tests choose another than the process's).
    explicit PrefixFilter(UINT codePage = CP_ACP) : codePage_(codePage) {}
    ~PrefixFilter();
    PrefixFilter(const PrefixFilter&) = delete;
    PrefixFilter& operator=(const PrefixFilter&) = delete;

    // Starts filtering `edit`; the filter detaches itself when the edit is destroyed.
    bool Attach(HWND edit);
    void Detach();
    // Removes the refused characters from the edit's text, keeping the caret after what it
    // followed; beeps when there were any. For the edit's EN_CHANGE.
    void StripRefused();
    // Whether one typed character (WM_CHAR) is refused. The edit is an ANSI window: a
    // double-byte character comes as two, lead byte first, and its second byte is never one.
    bool Refuses(unsigned int character);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    HWND edit_ = nullptr;
    const UINT codePage_;
    bool trailByteNext_ = false;
};
