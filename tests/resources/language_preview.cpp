// Shows the main window template in one language, with the run-time texts the program puts in
// from the string table, so a person can look at it (a screenshot under Xvfb, for example).
//
//   language_preview.exe LANGUAGE [message]
//
// LANGUAGE is the primary language id (9 English, 6 Danish, 7 German, 0x13 Dutch, ...);
// "message" also shows the capture-failure message box over the window. The window closes
// itself after a minute.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/dialog.h"
#include "app/languages.h"
#include "resources/resource_ids.h"

namespace {

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kCloseAfterMs = 60000;
constexpr UINT kShowMessage = WM_APP + 1;

class PreviewDialog : public Dialog {
public:
    explicit PreviewDialog(bool withMessage) : withMessage_(withMessage) {}

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == kShowMessage) {
            char text[512];
            std::snprintf(text, sizeof(text), LoadLanguageString(IDS_SOUND_CARD_BUSY).c_str(),
                          0x80004005u);
            MessageBoxA(Window(), text, LoadLanguageString(IDS_PROGRAM_NAME).c_str(), MB_OK);
            return true;
        }
        if (message == WM_CLOSE) {
            End(IDC_MAIN_CLOSE);
            return true;
        }
        return Dialog::HandleMessage(message, wParam, lParam, result);
    }

    LRESULT OnInitDialog() override {
        SetDlgItemTextA(Window(), IDC_MAIN_RECORD, LoadLanguageString(IDS_START).c_str());
        SetDlgItemTextA(Window(), IDC_MAIN_TRACK, LoadLanguageString(IDS_NOT_RECORDING).c_str());
        SetCaption(IDC_MAIN_SILENCE_LENGTH_CAPTION, IDS_NEW_TRACK_AFTER);
        SetCaption(IDC_MAIN_DISCARD_CAPTION, IDS_DISCARD_SHORTER);
        ShowWindow(Window(), SW_SHOW);
        SetTimer(Window(), kCloseTimer, kCloseAfterMs, nullptr);
        if (withMessage_) PostMessageA(Window(), kShowMessage, 0, 0);
        return TRUE;
    }

    bool OnCommand(int id, int, HWND) override {
        if (id != IDC_MAIN_CLOSE) return false;
        End(IDC_MAIN_CLOSE);
        return true;
    }

    bool OnTimer(UINT_PTR) override {
        End(IDC_MAIN_CLOSE);
        return true;
    }

private:
    void SetCaption(int control, UINT format) {
        char text[256];
        std::snprintf(text, sizeof(text), LoadLanguageString(format).c_str(), "2.00");
        SetDlgItemTextA(Window(), control, text);
    }

    bool withMessage_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    char* rest = nullptr;
    const long language = std::strtol(commandLine, &rest, 0);
    UiLanguage = SupportedLanguageOrFallback(uint16_t(language));
    InitCommonControls();
    PreviewDialog dialog(std::strstr(rest, "message") != nullptr);
    RunLanguageDialog(IDD_MAIN_WINDOW, GetDesktopWindow(), dialog);
    return 0;
}
