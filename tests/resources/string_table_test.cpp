// The string tables of every language as LoadLanguageString gives them to the program, and
// that the program's 8-bit texts reach the screen unchanged.
#include <gtest/gtest.h>

#include <string>

#include "app/languages.h"
#include "tests/resources/dialog_template_reader.h"
#include "tests/resources/expected_texts.h"

namespace {

class StringTable : public ::testing::Test {
protected:
    void TearDown() override { UiLanguage = saved_; }

private:
    uint16_t saved_ = UiLanguage;
};

TEST_F(StringTable, EveryStringOfEveryLanguage) {
    for (const LanguageTexts& texts : kLanguageTexts) {
        UiLanguage = texts.language;
        for (int i = 0; i < kStringIdCount; ++i) {
            EXPECT_EQ(LoadLanguageString(kStringIds[i]), texts.strings[i])
                << texts.name << " string " << kStringIds[i];
        }
    }
}

TEST_F(StringTable, IdsOutsideTheTableAreEmpty) {
    // 100 and 108 share blocks with strings that exist; 200 and 1000 fall in blocks that
    // do not exist at all.
    for (const LanguageTexts& texts : kLanguageTexts) {
        UiLanguage = texts.language;
        for (unsigned id : {0u, 100u, 108u, 111u, 200u, 259u, 513u, 1000u, 57345u, 65535u}) {
            EXPECT_EQ(LoadLanguageString(id), "") << texts.name << " string " << id;
        }
    }
}

TEST_F(StringTable, NoFallbackToAnotherLanguage) {
    // (LANG_NEUTRAL is not among them: with SUBLANG_DEFAULT it makes LANG_USER_DEFAULT, and
    // start-up replaces it by English before any lookup.)
    for (uint16_t language : {uint16_t(LANG_PORTUGUESE), uint16_t(LANG_JAPANESE),
                              uint16_t(LANG_NORWEGIAN), uint16_t(0x3FF)}) {
        UiLanguage = language;
        EXPECT_EQ(LoadLanguageString(101), "") << language;
        EXPECT_EQ(LoadLanguageString(57344), "") << language;
    }
}

TEST_F(StringTable, ProgramTextsAreUtf8) {
    // The manifest sets the process code page; without it the conversion would fall back to
    // the system's code page and lose whatever that cannot hold.
    EXPECT_EQ(GetACP(), UINT(CP_UTF8));
    UiLanguage = LANG_GERMAN;
    EXPECT_EQ(LoadLanguageString(258), "&\xC3\x9C" "berwachen");
}

TEST_F(StringTable, TextsShownThroughTheAnsiFunctionsKeepEveryCharacter) {
    // What the main window does with a loaded text: SetWindowTextA. The window must then
    // hold exactly the resource's UTF-16 text, in every language.
    HWND label = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(label, nullptr);
    for (const LanguageTexts& texts : kLanguageTexts) {
        UiLanguage = texts.language;
        for (unsigned id : {101u, 102u, 103u, 105u, 107u, 258u}) {
            ASSERT_TRUE(SetWindowTextA(label, LoadLanguageString(id).c_str()));
            wchar_t shown[512] = {};
            GetWindowTextW(label, shown, 512);
            const int index = int(std::find(kStringIds, kStringIds + kStringIdCount, id) -
                                  kStringIds);
            EXPECT_EQ(Utf8(shown), texts.strings[index]) << texts.name << " string " << id;
        }
    }
    DestroyWindow(label);
}

}  // namespace
