// PrefixFilter: the subclass of the prefix edit that refuses, with a beep, the characters a
// file name cannot hold. Only typed characters are filtered; pasted text is taken as it is.
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

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    HWND edit_ = nullptr;
};
