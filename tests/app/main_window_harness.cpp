// The main-window test harness.
#include "tests/app/main_window_harness.h"

#include <shlwapi.h>

#include "app/languages.h"
#include "resources/resource_ids.h"

namespace app_test {

FreshSettingsKey::FreshSettingsKey() { SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath); }
FreshSettingsKey::~FreshSettingsKey() { SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath); }

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);  // the window's thread and the sound card move on their own
    }
    return true;
}

MainWindowRun::MainWindowRun(std::function<void(MainDialog&)> configure, const MainDialogApi& api) {
    created_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ended_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    settled_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = std::thread([this, configure, api] {
        dialog_ = std::make_unique<MainDialog>(api);
        dialog_->SetDecimalSeparator(DecimalSeparator);
        if (configure) configure(*dialog_);
        SetEvent(created_);
        result_ = RunLanguageDialog(IDD_MAIN_WINDOW, GetDesktopWindow(), *dialog_);
        SetEvent(ended_);
    });
}

namespace {

const UINT kSettleMessage = RegisterWindowMessageA("Grooval test: settle");
const char kDialogProcProperty[] = "Grooval test: dialog procedure";

// Sets the event in lParam for kSettleMessage; everything else goes to the dialog.
LRESULT CALLBACK SettleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSettleMessage) {
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    }
    const auto dialog = reinterpret_cast<WNDPROC>(GetPropA(window, kDialogProcProperty));
    return CallWindowProcA(dialog, window, message, wParam, lParam);
}

BOOL CALLBACK DismissWindow(HWND window, LPARAM mainWindow) {
    const HWND main = reinterpret_cast<HWND>(mainWindow);
    if (window != main && GetWindowThreadProcessId(window, nullptr) ==
                              GetWindowThreadProcessId(main, nullptr)) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return TRUE;
}

}  // namespace

MainWindowRun::~MainWindowRun() {
    // A test that failed may leave a message box or dialog open over the window: dismiss
    // whatever the window's thread shows until the window has ended.
    for (int attempt = 0; attempt < 5 && !Ended() && window_; ++attempt) {
        if (Close(5000) != -2) break;
        EnumWindows(DismissWindow, reinterpret_cast<LPARAM>(window_));
    }
    if (thread_.joinable()) thread_.join();
    dialog_.reset();
    CloseHandle(created_);
    CloseHandle(ended_);
    CloseHandle(settled_);
}

bool MainWindowRun::WaitOpen(DWORD timeoutMs) {
    if (WaitForSingleObject(created_, timeoutMs) != WAIT_OBJECT_0) return false;
    if (!WaitFor([this] { return dialog_->Window() != nullptr || Ended(); }, timeoutMs)) return false;
    if (Ended()) return false;
    window_ = dialog_->Window();
    SetPropA(window_, kDialogProcProperty,
             reinterpret_cast<HANDLE>(SetWindowLongPtrA(window_, GWLP_WNDPROC,
                                                        reinterpret_cast<LONG_PTR>(&SettleProc))));
    // A sent message is taken only once WM_INITDIALOG has returned and the dialog's loop runs.
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored)) return false;
    // The modal loop shows the window when its queue first runs empty.
    return WaitFor([this] { return IsWindowVisible(window_) != FALSE; }, timeoutMs);
}

std::string MainWindowRun::Text(int id) const { return WindowText(Item(id)); }

LRESULT MainWindowRun::Send(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Item(id), message, wParam, lParam);
}

bool MainWindowRun::Settle(DWORD timeoutMs) {
    return PostMessageA(window_, kSettleMessage, 0, reinterpret_cast<LPARAM>(settled_)) &&
           WaitForSingleObject(settled_, timeoutMs) == WAIT_OBJECT_0;
}

INT_PTR MainWindowRun::Close(DWORD timeoutMs) {
    if (window_ && !Ended()) PostMessageA(window_, WM_CLOSE, 0, 0);
    return WaitEnd(timeoutMs);
}

INT_PTR MainWindowRun::WaitEnd(DWORD timeoutMs) {
    if (WaitForSingleObject(ended_, timeoutMs) != WAIT_OBJECT_0) return -2;
    if (thread_.joinable()) thread_.join();
    return result_;
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    if (window) GetWindowTextA(window, text, sizeof text);
    return text;
}

namespace {

struct WindowSearch {
    DWORD thread;
    HWND exclude;
    const char* caption;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (window == search->exclude) return TRUE;
    if (GetWindowThreadProcessId(window, nullptr) != search->thread) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    if (search->caption && WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND WaitForThreadWindow(HWND sibling, const char* caption, DWORD timeoutMs) {
    WindowSearch search{GetWindowThreadProcessId(sibling, nullptr), sibling, caption, nullptr};
    WaitFor([&] {
        search.found = nullptr;
        EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs);
    return search.found;
}

}  // namespace app_test
