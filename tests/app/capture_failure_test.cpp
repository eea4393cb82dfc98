// The main window on a machine without a recording device: ctest runs this exe with a sound
// server address that leads nowhere, so Wine's waveIn has no device and the capture thread ends
// by itself as soon as it starts.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/languages.h"
#include "app/main_dialog.h"
#include "resources/resource_ids.h"
#include "tests/app/main_window_harness.h"

namespace {

using app_test::MainWindowRun;
using app_test::WaitFor;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

TEST(NoRecordingDevice, TheFailureIsShownOnceAndTheButtonOffersMonitor) {
    ASSERT_EQ(waveInGetNumDevs(), 0u) << "this test needs a bench without a recording device";
    UiLanguage = LANG_ENGLISH;
    std::strcpy(DecimalSeparator, ".");
    app_test::FreshSettingsKey key;
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());

    HWND box = app_test::WaitForThreadWindow(run.Window(), "Grooval", 10000);
    ASSERT_NE(box, nullptr) << "no capture-failure message";
    EXPECT_TRUE(run.Dialog().CaptureFailed()) << "latched before the message box";
    // The text ends with the capture's result code as eight lower-case hexadecimal digits.
    HWND textControl = GetDlgItem(box, 0xFFFF);
    const std::string text = app_test::WindowText(textControl);
    const std::string lead = "The sound card is in use by another application.";
    EXPECT_EQ(text.rfind(lead, 0), 0u) << text;
    const std::string marker = "Error code:  ";
    const size_t at = text.rfind(marker);
    ASSERT_NE(at, std::string::npos) << text;
    const std::string code = text.substr(at + marker.size());
    ASSERT_EQ(code.size(), 8u) << text;
    for (char c : code) EXPECT_TRUE(IsHexDigit(c)) << code;
    char expected[16];
    std::snprintf(expected, sizeof expected, "%08x",
                  static_cast<unsigned>(run.Dialog().Capture()->lastResult));
    EXPECT_EQ(code, expected);
    EXPECT_NE(code, "00000000");

    // While the box is open the ticks do nothing: no second box.
    Sleep(500);  // several 62 ms ticks must pass for this check to mean anything
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Monitor"; }, 5000));

    // Later ticks change nothing and show nothing.
    SetWindowTextA(run.Item(IDC_MAIN_ELAPSED), "frozen");
    SetWindowTextA(run.Item(IDC_MAIN_TRACK), "frozen");
    const std::string before = "frozen";
    Sleep(500);
    EXPECT_EQ(app_test::WaitForThreadWindow(run.Window(), "Grooval", 300), nullptr);
    EXPECT_EQ(run.Text(IDC_MAIN_ELAPSED), before);
    EXPECT_EQ(run.Text(IDC_MAIN_TRACK), before);
    EXPECT_EQ(run.Text(IDC_MAIN_RECORD), "&Monitor");

    // The button restarts capture and goes straight to recording; the new capture fails too
    // and is reported again.
    PostMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_RECORD, BN_CLICKED),
                 reinterpret_cast<LPARAM>(run.Item(IDC_MAIN_RECORD)));
    HWND again = app_test::WaitForThreadWindow(run.Window(), "Grooval", 10000);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(run.Dialog().IsRecording());
    PostMessageA(again, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(again); }, 5000));
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST(NoRecordingDevice, ClosingWhileTheMessageIsOpenEndsCleanly) {
    ASSERT_EQ(waveInGetNumDevs(), 0u);
    UiLanguage = LANG_ENGLISH;
    app_test::FreshSettingsKey key;
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    HWND box = app_test::WaitForThreadWindow(run.Window(), "Grooval", 10000);
    ASSERT_NE(box, nullptr);
    // The close is taken by the message box's loop: everything shuts down under it, and the
    // window ends once the box is dismissed.
    PostMessageA(run.Window(), WM_CLOSE, 0, 0);
    // Posted to the same thread after the close, so taken after it.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(run.WaitEnd(), kMainDialogClosed);
    EXPECT_EQ(run.Dialog().Engine(), nullptr);
}

}  // namespace
