// Start-up: the command-line rate, the language and separators a pass settles on, the cycle's
// decisions, and one real pass that opens the main window template in the chosen language.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/languages.h"
#include "app/startup.h"
#include "engine/stream_format.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "resources/resource_ids.h"
#include "settings/settings_store.h"
#include "tests/settings/settings_key_guard.h"

namespace {

using settings_test::SettingsKeyGuard;
using settings_test::StoreDword;

constexpr uint16_t kEnglish = 0x09;
constexpr uint16_t kDutch = 0x13;
constexpr uint16_t kPortuguese = 0x16;

TEST(StreamRateTest, OnlyAWholePositiveNumberThatFitsSetsTheRate) {
    struct Case {
        const char* commandLine;
        int32_t rate;
    };
    const Case cases[] = {
        {"22050", 22050},
        {"  8000", 8000},          // leading blanks are allowed
        {"+48000", 48000},
        {"1", 1},
        {"536870911", 536870911},  // the largest whose byte rate fits
        {"", 44100},
        {"22050x", 44100},
        {"0", 44100},
        {"-44100", 44100},
        {"32000 ", 44100},
        {" ", 44100},
        {"0x5622", 44100},
        {"536870912", 44100},
        {"1073741824", 44100},     // 4 x rate wraps 32 bits to 0
        {"2147483647", 44100},
        {"99999999999", 44100},    // out of range for the conversion itself
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StreamRateFromCommandLine(c.commandLine), c.rate) << '"' << c.commandLine << '"';
    }
    EXPECT_EQ(StreamRateFromCommandLine(nullptr), 44100);
}

TEST(StreamRateTest, TheLargestRateGivesAConsistentCaptureFormat) {
    FormatBuffer capture(ReadMaxFormatSize() + kFormatHeaderBytes);
    ASSERT_FALSE(capture.Empty());
    MakePcmFormat(capture.Get(), uint32_t(kMaxStreamRate));
    EXPECT_EQ(capture.Get()->nSamplesPerSec, DWORD(kMaxStreamRate));
    EXPECT_EQ(uint64_t(capture.Get()->nAvgBytesPerSec),
              uint64_t(kMaxStreamRate) * capture.Get()->nBlockAlign);
    EXPECT_NE(capture.Get()->nAvgBytesPerSec, 0u);
}

// Whatever the codecs make of an odd capture rate, building and preparing a chain for it must
// end in a chain or in none, never in a crash; a usual rate shows the path works.
TEST(StreamRateTest, OddCaptureRatesGiveAPreparedChainOrNone) {
    const uint32_t maxFormatSize = ReadMaxFormatSize();
    for (const uint32_t rate : {22050u, 1u, 100u, 192000u, uint32_t(kMaxStreamRate)}) {
        SCOPED_TRACE(rate);
        FormatBuffer capture(maxFormatSize + kFormatHeaderBytes);
        FormatBuffer chosen(maxFormatSize + kFormatHeaderBytes);
        ASSERT_FALSE(capture.Empty() || chosen.Empty());
        MakePcmFormat(capture.Get(), rate);
        MakePcmFormat(chosen.Get(), kCaptureRate);
        const auto sink = CreateOutputChain(capture.Get(), chosen.Get(), maxFormatSize);
        if (rate == 22050u) {
            ASSERT_NE(sink, nullptr);
        }
        if (!sink) continue;
        if (sink->Prepare(kCaptureBlockBytes) == 0) {
            EXPECT_EQ(sink->SourceBlockBytes(), kCaptureBlockBytes);
        }
        sink->Unprepare();
    }
}

TEST(CycleTest, OnlyANewLanguageBuildsTheWindowAgain) {
    struct Case {
        std::vector<INT_PTR> results;
        int passes;
    };
    const Case cases[] = {
        {{1}, 1},
        {{2, 1}, 2},
        {{2, 2, 2, 1}, 4},
        {{-1}, 1},  // the window could not be created
        {{2, 0}, 2},
        {{2, 3}, 2},
    };
    for (const Case& c : cases) {
        size_t next = 0;
        const int passes = RunMainWindowCycle([&]() -> INT_PTR {
            return next < c.results.size() ? c.results[next++] : 1;
        });
        EXPECT_EQ(passes, c.passes) << "first result " << c.results.front();
        EXPECT_EQ(next, size_t(c.passes));
    }
}

class PassTest : public ::testing::Test {
protected:
    void SetUp() override { InitCommonControls(); }
    void TearDown() override {
        UiLanguage = kEnglish;
        std::strcpy(DecimalSeparator, ".");
        std::strcpy(TimeSeparator, ":");
    }

    // Loads a pass's settings for a user whose default LANGID is `userLanguage`.
    void LoadFor(LANGID userLanguage) {
        UiLanguage = PrimaryLanguage(userLanguage);
        std::strcpy(DecimalSeparator, "?");
        std::strcpy(TimeSeparator, "?");
        Settings settings(ReadMaxFormatSize(), "C:\\");
        LoadPassSettings(settings);
    }

    SettingsKeyGuard guard_;
};

TEST_F(PassTest, APortugueseUserGetsEnglishTextsWithPortugueseSeparators) {
    LoadFor(0x0416);
    EXPECT_EQ(UiLanguage, kEnglish);
    EXPECT_STREQ(DecimalSeparator, ",");
    EXPECT_STREQ(TimeSeparator, ":");
    EXPECT_EQ(LoadLanguageString(107), "Not Recording");
}

TEST_F(PassTest, AStoredLanguageReplacesTheUsersBeforeTheFallback) {
    struct Case {
        DWORD stored;
        uint16_t language;
        const char* decimal;
    };
    const Case cases[] = {
        {kDutch, kDutch, ","},
        {0x00010407, kEnglish, ","},  // 0x0407 is no primary language, German separators
        {kPortuguese, kEnglish, ","},
        {0x0009, kEnglish, "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.stored);
        StoreDword(kValueLanguage, c.stored);
        LoadFor(0x040C);  // a French user
        EXPECT_EQ(UiLanguage, c.language);
        EXPECT_STREQ(DecimalSeparator, c.decimal);
    }
}

// Watches the windows this thread creates: the first dialog that activates is read and
// closed with its Close button, as the user would.
struct MainWindowWatch {
    static MainWindowWatch* current;
    HHOOK hook = nullptr;
    std::string caption;
    std::string closeButton;
    int activations = 0;

    MainWindowWatch() {
        current = this;
        hook = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    }
    ~MainWindowWatch() {
        if (hook) UnhookWindowsHookEx(hook);
        current = nullptr;
    }

    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE && current && current->activations++ == 0) {
            const HWND window = reinterpret_cast<HWND>(wParam);
            char text[256] = {};
            GetWindowTextA(window, text, sizeof(text));
            current->caption = text;
            GetDlgItemTextA(window, IDC_MAIN_CLOSE, text, sizeof(text));
            current->closeButton = text;
            // Escape first: it must not end the window, or the pass would end with 2.
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_MAIN_CLOSE, BN_CLICKED), 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};
MainWindowWatch* MainWindowWatch::current = nullptr;

TEST_F(PassTest, AStoredDutchLanguageOpensTheDutchMainWindow) {
    StoreDword(kValueLanguage, kDutch);
    UiLanguage = kEnglish;
    MainWindowWatch watch;
    ASSERT_NE(watch.hook, nullptr);
    EXPECT_EQ(RunMainWindowPass(), 1);
    EXPECT_EQ(UiLanguage, kDutch);
    EXPECT_EQ(watch.caption, "Grooval door Quellbrook Software Ltd.");
    EXPECT_EQ(watch.closeButton, "&Afsluiten");
}

TEST_F(PassTest, ACycleWithoutStoredSettingsOpensEnglishOnceAndCreatesTheKey) {
    UiLanguage = 0x19;  // Russian: not supported
    MainWindowWatch watch;
    ASSERT_NE(watch.hook, nullptr);
    EXPECT_EQ(RunMainWindowCycle(RunMainWindowPass), 1);
    EXPECT_EQ(watch.caption, "Grooval by Quellbrook Software Ltd.");
    EXPECT_EQ(watch.closeButton, "&Close");
    EXPECT_TRUE(settings_test::KeyExists());
}

}  // namespace
