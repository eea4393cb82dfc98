// The supported-language table and RunLanguageDialog's choice of template.
#include <gtest/gtest.h>

#include <string>

#include "app/dialog.h"
#include "app/languages.h"
#include "tests/resources/dialog_template_reader.h"
#include "tests/resources/expected_texts.h"

namespace {

TEST(InterfaceLanguages, OrderOfTheOptionsList) {
    const uint16_t order[] = {0x09, 0x06, 0x13, 0x07, 0x0A, 0x10, 0x1D, 0x0C};
    for (int i = 0; i < kInterfaceLanguageCount; ++i) {
        EXPECT_EQ(kInterfaceLanguages[i].uiLanguage, order[i]) << i;
        EXPECT_EQ(kInterfaceLanguages[i].resourceLanguage, LANGID(order[i] | 0x0400)) << i;
        EXPECT_EQ(ResourceLanguage(order[i]), LANGID(order[i] | 0x0400)) << i;
    }
}

TEST(InterfaceLanguages, SupportedAndFallback) {
    for (const InterfaceLanguage& language : kInterfaceLanguages) {
        EXPECT_TRUE(IsSupportedLanguage(language.uiLanguage));
        EXPECT_EQ(SupportedLanguageOrFallback(language.uiLanguage), language.uiLanguage);
    }
    // Portuguese, neutral, Norwegian (a neighbour of Danish and Swedish), and full LANGIDs
    // (which are not primary ids) are all unsupported.
    for (uint16_t other : {0x16, 0x00, 0x14, 0x0409, 0x0809, 0x3FF}) {
        EXPECT_FALSE(IsSupportedLanguage(other)) << other;
        EXPECT_EQ(SupportedLanguageOrFallback(other), 0x09) << other;
    }
    EXPECT_EQ(PrimaryLanguage(0x0816), 0x16);  // Portuguese (Portugal)
    EXPECT_EQ(PrimaryLanguage(0x0C0A), 0x0A);  // Spanish, modern sort
}

// Records what the dialog window looked like and ends it at once with a chosen value.
class ProbeDialog : public Dialog {
public:
    explicit ProbeDialog(INT_PTR endWith) : endWith_(endWith) {}

    std::string caption;
    bool hasEnglishFileGroup = false;
    bool hasSoundCardList = false;
    std::string closeButton;
    int initCount = 0;

protected:
    LRESULT OnInitDialog() override {
        ++initCount;
        wchar_t text[256] = {};
        GetWindowTextW(Window(), text, 256);
        caption = Utf8(text);
        hasEnglishFileGroup = Item(1005) != nullptr;
        hasSoundCardList = Item(1023) != nullptr;
        char button[256] = {};
        GetDlgItemTextA(Window(), 1, button, 256);  // the ANSI view, as the program reads it
        closeButton = button;
        End(endWith_);
        return TRUE;
    }

private:
    INT_PTR endWith_;
};

class RunLanguageDialogTest : public ::testing::Test {
protected:
    void TearDown() override { UiLanguage = saved_; }

private:
    uint16_t saved_ = UiLanguage;
};

TEST_F(RunLanguageDialogTest, MainWindowAndAboutBoxComeFromTheInterfaceLanguage) {
    INT_PTR endWith = 10;
    for (const LanguageTexts& texts : kLanguageTexts) {
        SCOPED_TRACE(texts.name);
        UiLanguage = texts.language;

        ProbeDialog main(++endWith);
        EXPECT_EQ(RunLanguageDialog(102, GetDesktopWindow(), main), endWith);
        EXPECT_EQ(main.initCount, 1);
        EXPECT_EQ(main.caption, texts.mainCaption);
        EXPECT_EQ(main.closeButton, texts.close);
        EXPECT_EQ(main.hasEnglishFileGroup, texts.language == LANG_ENGLISH);
        EXPECT_EQ(main.Window(), nullptr);  // unbound once the window is gone

        ProbeDialog about(++endWith);
        EXPECT_EQ(RunLanguageDialog(103, nullptr, about), endWith);
        EXPECT_EQ(about.caption, texts.aboutCaption);
    }
}

TEST_F(RunLanguageDialogTest, OptionsWithoutATemplateInTheLanguageTakeTheLanguagelessOne) {
    DialogTemplateInfo languageless;
    ASSERT_TRUE(LoadAnyDialogTemplate(129, languageless));
    for (const LanguageTexts& texts : kLanguageTexts) {
        SCOPED_TRACE(texts.name);
        UiLanguage = texts.language;
        ProbeDialog options(2);
        EXPECT_EQ(RunLanguageDialog(129, nullptr, options), 2);
        EXPECT_TRUE(options.hasSoundCardList);
        EXPECT_EQ(options.caption,
                  texts.optionsCaption ? texts.optionsCaption : languageless.caption);
    }
}

TEST_F(RunLanguageDialogTest, UnsupportedLanguageStillGetsAWindow) {
    // Start-up replaces such a language by English, but a lookup made before that must not
    // fail: the language-less lookup picks one of the templates present.
    UiLanguage = LANG_PORTUGUESE;
    DialogTemplateInfo languageless;
    ASSERT_TRUE(LoadAnyDialogTemplate(102, languageless));
    ProbeDialog main(1);
    EXPECT_EQ(RunLanguageDialog(102, GetDesktopWindow(), main), 1);
    EXPECT_EQ(main.caption, languageless.caption);
}

TEST_F(RunLanguageDialogTest, MissingTemplateEndsWithMinusOne) {
    UiLanguage = LANG_ENGLISH;
    ProbeDialog never(1);
    EXPECT_EQ(RunLanguageDialog(999, nullptr, never), -1);
    EXPECT_EQ(never.initCount, 0);
}

}  // namespace
