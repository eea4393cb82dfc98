// Dialog: binding of dialog windows to their objects and the message forwarding.
#include "app/dialog.h"

#include <windowsx.h>

#include <exception>

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        if (dialog) dialog->window_ = window;
    } else {
        dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) find no object: default handling.
    if (!dialog) return FALSE;

    LRESULT result = 0;
    bool handled = false;
    try {
        handled = dialog->HandleMessage(message, wParam, lParam, result);
    } catch (const std::exception&) {
        // Nothing may cross the window procedure; the message counts as not handled.
        handled = false;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->window_ = nullptr;
    }
    if (message == WM_INITDIALOG) return static_cast<INT_PTR>(handled ? result : TRUE);
    if (!handled) return FALSE;
    return SetDlgMsgResult(window, message, result);
}

void Dialog::End(INT_PTR result) {
    if (window_) EndDialog(window_, result);
}

bool Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER:
        return OnTimer(static_cast<UINT_PTR>(wParam));
    case WM_HSCROLL:
        return OnHScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
    default:
        return false;
    }
}

void CenterOverOwner(HWND window) {
    RECT area{};
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner || owner == GetDesktopWindow() || !GetWindowRect(owner, &area)) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own{};
    GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
