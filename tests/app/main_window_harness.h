// Test harness for the main window: runs a MainDialog from template 102 on a thread of its own,
// as the start-up cycle would, so the test thread can drive it with messages and watch it.
// Also gives the test the settings key to itself.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/main_dialog.h"

namespace app_test {

// Deletes the settings key now and again when destroyed: tests start from and leave nothing.
class FreshSettingsKey {
public:
    FreshSettingsKey();
    ~FreshSettingsKey();
    FreshSettingsKey(const FreshSettingsKey&) = delete;
    FreshSettingsKey& operator=(const FreshSettingsKey&) = delete;
};

// Waits (polling, bounded) until `condition` holds; false when the time ran out.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

class MainWindowRun {
public:
    // `configure` runs on the window's thread after construction, before the window exists
    // (where the start-up cycle loads the settings).
    explicit MainWindowRun(std::function<void(MainDialog&)> configure = {},
                           const MainDialogApi& api = MainDialogApi());
    ~MainWindowRun();
    MainWindowRun(const MainWindowRun&) = delete;
    MainWindowRun& operator=(const MainWindowRun&) = delete;

    // True once the window has finished its initialisation.
    bool WaitOpen(DWORD timeoutMs = 20000);
    HWND Window() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    MainDialog& Dialog() { return *dialog_; }
    std::string Text(int id) const;
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // Returns once the window's own message loop has taken a message posted now, so whatever the
    // window was doing has ended. A sent message proves nothing: a window thread waiting on
    // another thread (a card change opening mixers does) serves sent messages meanwhile.
    bool Settle(DWORD timeoutMs = 10000);

    // Posts WM_CLOSE and waits for the window's end; the dialog's result (-2 on time-out).
    INT_PTR Close(DWORD timeoutMs = 30000);
    // Waits for the window to end by itself.
    INT_PTR WaitEnd(DWORD timeoutMs = 30000);
    bool Ended() const { return ended_ != nullptr && WaitForSingleObject(ended_, 0) == WAIT_OBJECT_0; }

private:
    std::unique_ptr<MainDialog> dialog_;
    std::thread thread_;
    HANDLE created_ = nullptr;
    HANDLE ended_ = nullptr;
    HANDLE settled_ = nullptr;
    HWND window_ = nullptr;
    INT_PTR result_ = -2;
};

// A top-level window of `className` (may be null) whose caption is `caption` and that belongs
// to the thread of `sibling`; null when none appears in time.
HWND WaitForThreadWindow(HWND sibling, const char* caption, DWORD timeoutMs);
// The text of a window.
std::string WindowText(HWND window);

}  // namespace app_test
