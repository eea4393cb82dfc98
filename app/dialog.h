// Dialog: the base class of every dialog object. The object is bound to its window at
// WM_INITDIALOG (the init parameter carries it, DWLP_USER keeps it) and messages are forwarded
// to short virtual members; results go back through SetDlgMsgResult.
//
// Run one with DialogBoxIndirectParamA(..., Dialog::Procedure, Dialog::InitParam(dialog)).
#pragma once

#include <windows.h>

#include <cstdint>

class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // The dialog window while it exists, else null.
    HWND Window() const { return window_; }

    // The dialog procedure shared by every dialog object.
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The init parameter that makes Procedure bind `dialog` to the new window.
    static LPARAM InitParam(Dialog& dialog) { return reinterpret_cast<LPARAM>(&dialog); }

    // Ends the modal dialog with `result`.
    void End(INT_PTR result);

protected:
    // One message; true when handled, with `result` as the message's result. The default map
    // forwards to the members below; a dialog whose message order matters overrides it.
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // The WM_INITDIALOG result: TRUE lets the system set the focus.
    virtual LRESULT OnInitDialog() { return TRUE; }
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    virtual bool OnTimer(UINT_PTR /*id*/) { return false; }
    virtual bool OnHScroll(HWND /*control*/, int /*code*/) { return false; }

    HWND Item(int id) const { return GetDlgItem(window_, id); }

private:
    HWND window_ = nullptr;
};

// Centres `window` over its owner, or in the screen's work area when it has none.
void CenterOverOwner(HWND window);
