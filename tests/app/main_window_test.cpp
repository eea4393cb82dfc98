// The main window on the bench: opened from template 102 with a live engine and waveIn capture
// from the turntable, as the start-up cycle runs it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "app/context_help.h"
#include "app/languages.h"
#include "app/level_scale.h"
#include "app/main_dialog.h"
#include "grooval_version.h"
#include "resources/resource_ids.h"
#include "tests/app/main_window_harness.h"
#include "tests/support/bench_audio.h"

namespace {

using app_test::FreshSettingsKey;
using app_test::MainWindowRun;
using app_test::WaitFor;

constexpr int kRate = 44100;
constexpr COLORREF kPenColour = RGB(0, 0, 0);

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        UiLanguage = LANG_ENGLISH;
        std::strcpy(DecimalSeparator, ".");
    }
    FreshSettingsKey key_;
};

int MeterPos(MainWindowRun& run, int id) {
    return static_cast<int>(run.Send(id, PBM_GETPOS));
}

// The colour at a point of the window's client area.
COLORREF PixelAt(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// The silence-level tick set by the refresh: the one tick between the two ends.
int SilenceTick(MainWindowRun& run) {
    if (run.Send(IDC_MAIN_SILENCE_LEVEL, TBM_GETNUMTICS) < 3) return -1;
    return static_cast<int>(run.Send(IDC_MAIN_SILENCE_LEVEL, TBM_GETTIC, 0));
}

TEST_F(MainWindow, OpensWithTemplateTextsAndControlsSetUp) {
    MainWindowRun run([](MainDialog& dialog) {
        dialog.CurrentSettings().prefix = "side";
        dialog.CurrentSettings().folder = "C:\\records";
    });
    ASSERT_TRUE(run.WaitOpen());
    EXPECT_EQ(app_test::WindowText(run.Window()), "Grooval by Quellbrook Software Ltd.");
    EXPECT_EQ(run.Text(IDC_MAIN_PREFIX), "side");
    EXPECT_EQ(run.Text(IDC_MAIN_FOLDER), "C:\\records");
    EXPECT_EQ(run.Send(IDC_MAIN_LEFT_METER, PBM_GETRANGE, FALSE), kMeterRange);
    EXPECT_EQ(run.Send(IDC_MAIN_RIGHT_METER, PBM_GETRANGE, TRUE), 0);
    EXPECT_EQ(run.Send(IDC_MAIN_SILENCE_LEVEL, TBM_GETRANGEMAX), 66);
    EXPECT_EQ(run.Send(IDC_MAIN_SILENCE_LENGTH, TBM_GETRANGEMIN), 7);
    EXPECT_EQ(run.Send(IDC_MAIN_DISCARD_LENGTH, TBM_GETRANGEMIN), 3);
    EXPECT_EQ(run.Send(IDC_MAIN_DISCARD_LENGTH, TBM_GETRANGEMAX), 140);
    EXPECT_EQ(GetWindowLongA(run.Window(), GWL_STYLE) & WS_MINIMIZEBOX, 0);
    EXPECT_FALSE(IsWindowVisible(run.Item(IDC_MAIN_SINK_STATUS)));
    // The English template's group box places the status area.
    RECT group, status;
    GetWindowRect(run.Item(IDC_MAIN_FILE_GROUP), &group);
    GetWindowRect(run.Item(IDC_MAIN_SINK_STATUS), &status);
    EXPECT_TRUE(EqualRect(&group, &status));
    // The first ticks show monitoring.
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Not Recording"; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_ELAPSED) == "--:--"; }, 5000));
    EXPECT_EQ(run.Text(IDC_MAIN_RECORD), "&Start");
    EXPECT_NE(run.Dialog().Capture(), nullptr);
    // A mixer device was found and named.
    EXPECT_FALSE(run.Text(IDC_MAIN_SOUND_CARD).empty());
    EXPECT_EQ(run.Text(IDC_MAIN_SOUND_CARD), run.Dialog().CurrentSettings().sourceName);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(MainWindow, EscapeDoesNotCloseButTheCaptionsCloseDoes) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    SendMessageA(run.Window(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(run.Ended());
    EXPECT_TRUE(IsWindow(run.Window()));
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    EXPECT_EQ(run.Dialog().Engine(), nullptr) << "the shutdown stops and destroys the engine";
    EXPECT_EQ(run.Dialog().Capture(), nullptr);
}

TEST_F(MainWindow, MetersHeldPeaksAndTickFollowTheTurntable) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    const RECT strip = run.Dialog().LevelScaleRect();
    ASSERT_LT(strip.left, strip.right);
    const int topLine = HeldPeakLineY(strip, 32767);
    const int bottomLine = HeldPeakLineY(strip, 0);
    const int x = strip.left + 1;

    // Full scale: 127 on both meters, the held-peak lines near the top.
    const std::string loud = bench::ScratchDir("main_window") + "/loud.wav";
    ASSERT_TRUE(bench::WriteStereoWav(loud, kRate, bench::StereoSine(kRate, 1000.0, 1.0, 3 * kRate, 4410)));
    bench::Playback loudPlay;
    ASSERT_TRUE(loudPlay.Start(loud));
    EXPECT_TRUE(WaitFor([&] {
        return MeterPos(run, IDC_MAIN_LEFT_METER) == 127 && MeterPos(run, IDC_MAIN_RIGHT_METER) == 127;
    }, 10000)) << "left " << MeterPos(run, IDC_MAIN_LEFT_METER);
    EXPECT_TRUE(WaitFor([&] {
        return PixelAt(run.Window(), x, topLine) == kPenColour &&
               PixelAt(run.Window(), strip.right - 2, topLine) == kPenColour;
    }, 5000)) << "no held-peak line at y " << topLine;
    EXPECT_NE(PixelAt(run.Window(), x, bottomLine), kPenColour);
    ASSERT_TRUE(loudPlay.Wait(20000));

    // Silence: the meters fall at once, the held peaks after their hold.
    EXPECT_TRUE(WaitFor([&] {
        return MeterPos(run, IDC_MAIN_LEFT_METER) == 0 && MeterPos(run, IDC_MAIN_RIGHT_METER) == 0;
    }, 5000));
    EXPECT_NE(run.Dialog().Engine()->left.heldPeak, 0) << "held for 14 blocks after the tone";
    EXPECT_TRUE(WaitFor([&] {
        return PixelAt(run.Window(), x, bottomLine) == kPenColour &&
               PixelAt(run.Window(), x, topLine) == kLevelBandTable[3].colour;
    }, 5000));

    // A quiet tone: its level (about amplitude / 54) is the tick of the silence-level slider.
    const std::string quiet = bench::ScratchDir("main_window") + "/quiet.wav";
    ASSERT_TRUE(bench::WriteStereoWav(quiet, kRate, bench::StereoSine(kRate, 1000.0, 0.05, 2 * kRate, 4410)));
    bench::Playback quietPlay;
    ASSERT_TRUE(quietPlay.Start(quiet));
    EXPECT_TRUE(WaitFor([&] {
        const int tick = SilenceTick(run);
        return tick >= 28 && tick <= 32;
    }, 10000)) << "tick " << SilenceTick(run);
    EXPECT_TRUE(WaitFor([&] { return MeterPos(run, IDC_MAIN_LEFT_METER) == 1638 / 256; }, 5000));
    ASSERT_TRUE(quietPlay.Wait(20000));
    EXPECT_TRUE(WaitFor([&] { return SilenceTick(run) == 0; }, 5000));
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(MainWindow, SlidersClampStoredValuesAndCaptionSeconds) {
    MainWindowRun run([](MainDialog& dialog) {
        dialog.CurrentSettings().Discard = 1;
        dialog.CurrentSettings().Duration = 500;
        dialog.CurrentSettings().Silence = 12;
    });
    ASSERT_TRUE(run.WaitOpen());
    EXPECT_EQ(run.Send(IDC_MAIN_DISCARD_LENGTH, TBM_GETPOS), 3);
    EXPECT_EQ(run.Send(IDC_MAIN_SILENCE_LENGTH, TBM_GETPOS), 140);
    TrackEngine* engine = run.Dialog().Engine();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->discardBlocks, 3);
    EXPECT_EQ(engine->gapBlocks, 140);
    EXPECT_EQ(engine->silenceThreshold, 12);
    EXPECT_EQ(run.Text(IDC_MAIN_DISCARD_CAPTION), "&Discard tracks shorter than 0.42 seconds");
    EXPECT_EQ(run.Text(IDC_MAIN_SILENCE_LENGTH_CAPTION), "&New Track after 20.00 seconds of silence");

    // The user moves 1015 to 10: 1.42 seconds at 7 blocks a second.
    run.Send(IDC_MAIN_SILENCE_LENGTH, TBM_SETPOS, TRUE, 10);
    SendMessageA(run.Window(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 10),
                 reinterpret_cast<LPARAM>(run.Item(IDC_MAIN_SILENCE_LENGTH)));
    EXPECT_EQ(run.Text(IDC_MAIN_SILENCE_LENGTH_CAPTION), "&New Track after 1.42 seconds of silence");
    EXPECT_EQ(engine->gapBlocks, 10);
    run.Send(IDC_MAIN_SILENCE_LEVEL, TBM_SETPOS, TRUE, 40);
    SendMessageA(run.Window(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(run.Item(IDC_MAIN_SILENCE_LEVEL)));
    EXPECT_EQ(engine->silenceThreshold, 40);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    EXPECT_EQ(run.Dialog().CurrentSettings().Duration, 10);
    EXPECT_EQ(run.Dialog().CurrentSettings().Discard, 3);
    EXPECT_EQ(run.Dialog().CurrentSettings().Silence, 40);
}

TEST_F(MainWindow, Mode78CountsFourBlocksASecondAndNamesItInTheFormatLabel) {
    MainWindowRun run([](MainDialog& dialog) {
        dialog.CurrentSettings().mode78 = 1;
        dialog.CurrentSettings().Duration = 10;
        dialog.CurrentSettings().Discard = 7;
    });
    ASSERT_TRUE(run.WaitOpen());
    EXPECT_EQ(run.Text(IDC_MAIN_SILENCE_LENGTH_CAPTION), "&New Track after 2.50 seconds of silence");
    EXPECT_EQ(run.Text(IDC_MAIN_DISCARD_CAPTION), "&Discard tracks shorter than 1.75 seconds");
    const std::string label = run.Text(IDC_MAIN_FORMAT);
    EXPECT_EQ(label.rfind("78 RPM, ", 0), 0u) << label;
    EXPECT_NE(label.find(", 172 KB/s\n"), std::string::npos) << label;
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(MainWindow, FormatLabelDescribesPcmWithoutThe78Prefix) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    const std::string label = run.Text(IDC_MAIN_FORMAT);
    const size_t line = label.find('\n');
    ASSERT_NE(line, std::string::npos) << label;
    EXPECT_EQ(label.find("78 RPM"), std::string::npos);
    EXPECT_EQ(label.substr(line - 10, 10), ", 172 KB/s") << label;
    EXPECT_GT(line, 10u) << "the codec manager's name of the PCM tag comes first";
    EXPECT_GT(label.size(), line + 1) << "the second line describes the format";
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(MainWindow, SinkStatusAreaShowsTheWritersMessage) {
    // A folder that does not exist: the first track file cannot be opened.
    MainWindowRun run([](MainDialog& dialog) {
        dialog.CurrentSettings().folder = "Z:\\no\\such\\folder";
        dialog.CurrentSettings().Silence = 0;
    });
    ASSERT_TRUE(run.WaitOpen());
    SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_RECORD, BN_CLICKED),
                 reinterpret_cast<LPARAM>(run.Item(IDC_MAIN_RECORD)));
    const std::string wav = bench::ScratchDir("main_window") + "/status.wav";
    ASSERT_TRUE(bench::WriteStereoWav(wav, kRate, bench::StereoSine(kRate, 440.0, 0.5, kRate, 4410)));
    ASSERT_TRUE(bench::PlayAndWait(wav, 20000));
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(run.Item(IDC_MAIN_SINK_STATUS)) != FALSE; }, 5000));
    EXPECT_FALSE(run.Text(IDC_MAIN_SINK_STATUS).empty());
    EXPECT_EQ(run.Text(IDC_MAIN_TRACK), "Cueing...");
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

// Answers a popup menu tracked by the window's thread: counts its items, then dismisses it.
class MenuWatcher {
public:
    explicit MenuWatcher(HWND owner) {
        worker_ = std::thread([this, owner] {
            HWND menuWindow = nullptr;
            if (!WaitFor([&] {
                    menuWindow = FindWindowA("#32768", nullptr);
                    return menuWindow && IsWindowVisible(menuWindow);
                }, 3000)) {
                return;
            }
            HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, 0x01E1 /*MN_GETHMENU*/, 0, 0));
            items_ = menu ? GetMenuItemCount(menu) : -1;
            PostMessageA(owner, WM_KEYDOWN, VK_ESCAPE, 0);
        });
    }
    int Items() {
        if (worker_.joinable()) worker_.join();
        return items_;
    }
    ~MenuWatcher() {
        if (worker_.joinable()) worker_.join();
    }

private:
    std::thread worker_;
    std::atomic<int> items_{0};
};

// Right-clicks the middle of `control` as the system reports it to `dialog`; the items of the
// menu that opened, 0 when none did.
int RightClick(HWND dialog, HWND control) {
    RECT bounds;
    GetWindowRect(control, &bounds);
    MenuWatcher watcher(dialog);
    SendMessageA(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control),
                 MAKELPARAM((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2));
    return watcher.Items();
}

// Every control of both help tables, those inside group boxes included, offers "What's This?".
TEST_F(MainWindow, RightClickOffersWhatsThisOnlyWhereThereIsHelp) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    for (const HelpEntry* entry = kMainWindowHelp; entry->control != 0; ++entry) {
        ASSERT_TRUE(IsWindowVisible(run.Item(entry->control))) << entry->control;
        EXPECT_EQ(RightClick(run.Window(), run.Item(entry->control)), 1) << entry->control;
    }
    for (int id : {IDC_MAIN_CLOSE, IDC_MAIN_LINE_SWITCH}) {
        ASSERT_TRUE(IsWindowVisible(run.Item(id))) << id;
        EXPECT_EQ(RightClick(run.Window(), run.Item(id)), 0) << "no menu for " << id;
    }
    PostMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_OPTIONS, BN_CLICKED), 0);
    HWND options = app_test::WaitForThreadWindow(run.Window(), "Options", 10000);
    ASSERT_NE(options, nullptr);
    for (const HelpEntry* entry = kOptionsHelp; entry->control != 0; ++entry) {
        ASSERT_TRUE(IsWindowVisible(GetDlgItem(options, entry->control))) << entry->control;
        EXPECT_EQ(RightClick(options, GetDlgItem(options, entry->control)), 1) << entry->control;
    }
    PostMessageA(options, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(MainWindow, AboutBoxShowsProductAndVersionAndEndsWithEscape) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    HMENU system = GetSystemMenu(run.Window(), FALSE);
    char item[64] = {};
    GetMenuStringA(system, IDM_ABOUT, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "&About Grooval...");
    EXPECT_EQ(GetMenuState(system, SC_MAXIMIZE, MF_BYCOMMAND), UINT(-1));
    EXPECT_EQ(GetMenuState(system, SC_SIZE, MF_BYCOMMAND), UINT(-1));

    for (WPARAM key : {WPARAM(IDCANCEL), WPARAM(IDOK)}) {
        PostMessageA(run.Window(), WM_SYSCOMMAND, IDM_ABOUT, 0);
        HWND about = app_test::WaitForThreadWindow(run.Window(), "About Grooval", 5000);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(app_test::WindowText(GetDlgItem(about, IDC_ABOUT_PRODUCT)),
                  std::string("Grooval Version ") + GROOVAL_VERSION_TEXT);
        EXPECT_NE(app_test::WindowText(GetDlgItem(about, IDC_ABOUT_NOTICE)), "(c)");
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(key, BN_CLICKED), 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 5000));
    }
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

}  // namespace
