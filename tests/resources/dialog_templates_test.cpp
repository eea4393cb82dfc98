// The dialog templates of every language: which exist, their frames, and every control's id,
// kind, position, caption and help context against the layout the program relies on.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "tests/resources/dialog_template_reader.h"
#include "tests/resources/expected_texts.h"

namespace {

// A control kind: window class and the style bits that make it that kind.
struct Kind {
    const char* className;
    DWORD mask;
    DWORD value;
};

constexpr DWORD kButtonType = 0xF;
constexpr Kind kPushButton = {"Button", kButtonType | WS_VISIBLE, BS_PUSHBUTTON | WS_VISIBLE};
constexpr Kind kDefaultButton = {"Button", kButtonType | WS_VISIBLE,
                                 BS_DEFPUSHBUTTON | WS_VISIBLE};
constexpr Kind kGroupBox = {"Button", kButtonType, BS_GROUPBOX};
constexpr Kind kCheckBox = {"Button", kButtonType | WS_VISIBLE, BS_AUTOCHECKBOX | WS_VISIBLE};
constexpr Kind kText = {"Static", SS_TYPEMASK | WS_VISIBLE, SS_LEFT | WS_VISIBLE};
constexpr Kind kRightText = {"Static", SS_TYPEMASK, SS_RIGHT};
constexpr Kind kFormatText = {"Static", SS_TYPEMASK | SS_NOPREFIX,
                              SS_LEFTNOWORDWRAP | SS_NOPREFIX};
constexpr Kind kPlainText = {"Static", SS_TYPEMASK | SS_NOPREFIX, SS_LEFT};
constexpr Kind kProductText = {"Static", SS_TYPEMASK | SS_NOPREFIX, SS_LEFT | SS_NOPREFIX};
constexpr Kind kIcon = {"Static", SS_TYPEMASK, SS_ICON};
constexpr Kind kPrefixEdit = {"Edit", ES_AUTOHSCROLL | ES_MULTILINE | WS_BORDER | WS_VISIBLE,
                              ES_AUTOHSCROLL | WS_BORDER | WS_VISIBLE};
constexpr Kind kStatusEdit = {"Edit", ES_MULTILINE | WS_BORDER | WS_VISIBLE,
                              ES_MULTILINE | WS_BORDER};
constexpr Kind kDropList = {"ComboBox", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL,
                            CBS_DROPDOWNLIST | WS_VSCROLL};
constexpr Kind kLevelSlider = {"msctls_trackbar32", TBS_VERT | TBS_BOTH | TBS_AUTOTICKS,
                               TBS_VERT | TBS_BOTH | TBS_AUTOTICKS};
constexpr Kind kSilenceSlider = {"msctls_trackbar32", TBS_VERT | TBS_TOP | TBS_AUTOTICKS,
                                 TBS_TOP | TBS_AUTOTICKS};
constexpr Kind kSlider = {"msctls_trackbar32", TBS_VERT, 0};
constexpr Kind kMeter = {"msctls_progress32", PBS_VERTICAL | PBS_SMOOTH | WS_BORDER,
                         PBS_VERTICAL | PBS_SMOOTH | WS_BORDER};

// One control of a template: the English caption, or the member of LanguageTexts that holds
// its caption in each language.
struct Control {
    int32_t id;
    Kind kind;
    const char* caption;
    const char* LanguageTexts::*translated;
    int x, y, width, height;
    bool hasHelp;
};

constexpr int32_t kFileGroupEnglishId = 1005;

const Control kMainWindow[] = {
    {1000, kDefaultButton, nullptr, &LanguageTexts::record, 187, 229, 40, 14, true},
    {1, kPushButton, nullptr, &LanguageTexts::close, 230, 229, 32, 14, true},
    {1005, kGroupBox, nullptr, &LanguageTexts::fileGroup, 7, 0, 304, 52, false},
    {1009, kPushButton, nullptr, &LanguageTexts::saveFilesTo, 11, 14, 72, 14, true},
    {1010, kText, "Static", nullptr, 87, 16, 220, 12, true},
    {-1, kText, nullptr, &LanguageTexts::prefixLabel, 11, 36, 60, 8, false},
    {1008, kPrefixEdit, "", nullptr, 87, 32, 220, 14, true},
    {1022, kFormatText, "", nullptr, 7, 57, 200, 20, false},
    {1020, kPushButton, nullptr, &LanguageTexts::options, 261, 55, 50, 14, true},
    {1024, kRightText, "-", nullptr, 217, 74, 94, 8, true},
    {-1, kText, "&Source:", nullptr, 183, 88, 26, 8, false},
    {1001, kDropList, "", nullptr, 216, 85, 95, 109, true},
    {-1, kRightText, "-", nullptr, 187, 99, 113, 10, false},
    {1006, kLevelSlider, "Slider1", nullptr, 278, 114, 29, 109, true},
    {1007, kCheckBox, "-", nullptr, 268, 226, 32, 10, true},
    {1004, kStatusEdit, "", nullptr, 188, 111, 36, 20, false},
    {-1, kGroupBox, nullptr, &LanguageTexts::trackDetection, 7, 103, 172, 120, false},
    {-1, kText, nullptr, &LanguageTexts::silenceLevel, 11, 116, 44, 8, false},
    {1003, kSilenceSlider, "Slider1", nullptr, 11, 128, 156, 24, true},
    {1016, kText, "silence", nullptr, 11, 156, 152, 8, false},
    {1015, kSlider, "Slider1", nullptr, 11, 167, 156, 20, true},
    {1019, kText, "Discard ", nullptr, 11, 191, 152, 8, false},
    {1018, kSlider, "Slider1", nullptr, 11, 199, 156, 20, true},
    {1002, kPushButton, nullptr, &LanguageTexts::recordingControls, 11, 229, 104, 14, true},
    {1017, kPushButton, nullptr, &LanguageTexts::help, 124, 229, 50, 14, true},
    {1014, kText, "00:59", nullptr, 184, 178, 36, 16, true},
    {1011, kText, "Track %1", nullptr, 184, 199, 36, 21, true},
    {1012, kMeter, "Progress2", nullptr, 231, 114, 12, 109, true},
    {1013, kMeter, "Progress2", nullptr, 251, 114, 12, 109, true},
};

const Control kAboutBox[] = {
    {1066, kProductText, "prod", nullptr, 40, 10, 119, 8, false},
    {1067, kPlainText, "(c)", nullptr, 40, 25, 119, 31, false},
    {1, kDefaultButton, "OK", nullptr, 178, 7, 50, 14, false},
    {-1, kIcon, nullptr, nullptr, 12, 8, 20, 20, false},
    {-1, kIcon, nullptr, nullptr, 12, 28, 20, 20, false},
};
constexpr int kAboutIcons[] = {127, 129};

const Control kOptionsDialog[] = {
    {-1, kText, "Source:", nullptr, 62, 11, 49, 8, false},
    {1023, kDropList, "", nullptr, 117, 7, 144, 123, true},
    {1006, kCheckBox, nullptr, &LanguageTexts::mode78, 4, 33, 104, 10, true},
    {1007, kCheckBox, nullptr, &LanguageTexts::liveMode, 4, 46, 104, 10, true},
    {1015, kCheckBox, nullptr, &LanguageTexts::directSound, 4, 57, 104, 10, true},
    {-1, kText, nullptr, &LanguageTexts::languageLabel, 4, 79, 104, 8, false},
    {1016, kDropList, "", nullptr, 4, 90, 108, 116, true},
    {-1, kGroupBox, nullptr, &LanguageTexts::formatGroup, 113, 29, 148, 56, false},
    {1021, kText, "", nullptr, 119, 37, 135, 28, true},
    {1017, kPushButton, nullptr, &LanguageTexts::changeFormat, 149, 66, 50, 14, true},
    {1019, kPushButton, nullptr, &LanguageTexts::wav, 205, 66, 50, 14, true},
    {1, kDefaultButton, "OK", nullptr, 153, 89, 50, 14, false},
    {2, kPushButton, nullptr, &LanguageTexts::cancel, 209, 89, 50, 14, false},
};

LANGID ResourceLanguageOf(const LanguageTexts& texts) {
    return MAKELANGID(texts.language, SUBLANG_DEFAULT);
}

// Checks every control of `actual` against `expected`, in order.
template <size_t N>
void ExpectControls(const DialogTemplateInfo& actual, const Control (&expected)[N],
                    const LanguageTexts& texts, DWORD helpBase, bool englishIds) {
    ASSERT_EQ(actual.items.size(), N);
    for (size_t i = 0; i < N; ++i) {
        const Control& want = expected[i];
        const TemplateItem& item = actual.items[i];
        SCOPED_TRACE(std::string(texts.name) + " control " + std::to_string(i) + " (" +
                     std::to_string(want.id) + ")");
        int32_t id = want.id;
        if (id == kFileGroupEnglishId && !englishIds) id = -1;
        EXPECT_EQ(item.id, id);
        EXPECT_STRCASEEQ(item.className.c_str(), want.kind.className);
        EXPECT_EQ(item.style & want.kind.mask, want.kind.value);
        EXPECT_EQ(item.style & WS_CHILD, DWORD(WS_CHILD));
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.width, want.width);
        EXPECT_EQ(item.height, want.height);
        if (want.translated) {
            EXPECT_EQ(item.title, texts.*want.translated);
        } else if (want.caption) {
            EXPECT_EQ(item.title, want.caption);
        }
        EXPECT_EQ(item.helpId, want.hasHelp ? helpBase + DWORD(want.id) : 0u);
    }
}

TEST(DialogTemplates, MainWindowAndAboutBoxExistInEveryLanguageOptionsInAllButDutch) {
    for (const LanguageTexts& texts : kLanguageTexts) {
        SCOPED_TRACE(texts.name);
        DialogTemplateInfo info;
        EXPECT_TRUE(LoadDialogTemplate(102, ResourceLanguageOf(texts), info));
        EXPECT_TRUE(LoadDialogTemplate(103, ResourceLanguageOf(texts), info));
        EXPECT_EQ(LoadDialogTemplate(129, ResourceLanguageOf(texts), info),
                  texts.optionsCaption != nullptr);
    }
    // Only the primary languages' default sub-language is carried (English once more as UK
    // for the manifest, which is no dialog).
    DialogTemplateInfo info;
    EXPECT_FALSE(LoadDialogTemplate(102, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), info));
    EXPECT_FALSE(LoadDialogTemplate(102, MAKELANGID(LANG_PORTUGUESE, SUBLANG_DEFAULT), info));
}

TEST(DialogTemplates, MainWindowFrameAndControlsPerLanguage) {
    const DWORD englishStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                               WS_CLIPSIBLINGS | DS_CONTEXTHELP | DS_MODALFRAME | DS_SETFONT;
    for (const LanguageTexts& texts : kLanguageTexts) {
        SCOPED_TRACE(texts.name);
        DialogTemplateInfo info;
        ASSERT_TRUE(LoadDialogTemplate(102, ResourceLanguageOf(texts), info));
        const bool english = texts.language == LANG_ENGLISH;
        EXPECT_EQ(info.width, texts.mainWidth);
        EXPECT_EQ(info.height, texts.mainHeight);
        EXPECT_EQ(info.style, english ? englishStyle : englishStyle | WS_VISIBLE);
        EXPECT_EQ(info.exStyle, DWORD(WS_EX_APPWINDOW));
        EXPECT_EQ(info.caption, texts.mainCaption);
        EXPECT_EQ(info.font, "MS Sans Serif");
        EXPECT_EQ(info.pointSize, 8);
        ASSERT_NO_FATAL_FAILURE(ExpectControls(info, kMainWindow, texts, 0x80660000u, english));
    }
}

TEST(DialogTemplates, LevelCaptionIsTheWindowBeforeTheLevelSlider) {
    // The level control's name goes into the window right before 1006 (GW_HWNDPREV).
    for (const LanguageTexts& texts : kLanguageTexts) {
        DialogTemplateInfo info;
        ASSERT_TRUE(LoadDialogTemplate(102, ResourceLanguageOf(texts), info));
        for (size_t i = 0; i < info.items.size(); ++i) {
            if (info.items[i].id != 1006) continue;
            ASSERT_GT(i, 0u);
            EXPECT_STRCASEEQ(info.items[i - 1].className.c_str(), "Static") << texts.name;
            EXPECT_EQ(info.items[i - 1].y, 99) << texts.name;
        }
    }
}

TEST(DialogTemplates, AboutBoxPerLanguage) {
    for (const LanguageTexts& texts : kLanguageTexts) {
        SCOPED_TRACE(texts.name);
        DialogTemplateInfo info;
        ASSERT_TRUE(LoadDialogTemplate(103, ResourceLanguageOf(texts), info));
        EXPECT_EQ(info.caption, texts.aboutCaption);
        EXPECT_EQ(info.font, "MS Sans Serif");
        EXPECT_EQ(info.pointSize, 8);
        ASSERT_NO_FATAL_FAILURE(ExpectControls(info, kAboutBox, texts, 0, true));
        ASSERT_EQ(info.items.size(), 5u);
        EXPECT_EQ(info.items[3].titleOrdinal, kAboutIcons[0]);
        EXPECT_EQ(info.items[4].titleOrdinal, kAboutIcons[1]);
    }
}

TEST(DialogTemplates, OptionsDialogPerLanguage) {
    for (const LanguageTexts& texts : kLanguageTexts) {
        if (!texts.optionsCaption) continue;
        SCOPED_TRACE(texts.name);
        DialogTemplateInfo info;
        ASSERT_TRUE(LoadDialogTemplate(129, ResourceLanguageOf(texts), info));
        EXPECT_EQ(info.caption, texts.optionsCaption);
        EXPECT_EQ(info.font, "MS Sans Serif");
        EXPECT_EQ(info.pointSize, 8);
        EXPECT_EQ(info.style & DS_CONTEXTHELP, DWORD(DS_CONTEXTHELP));
        ASSERT_NO_FATAL_FAILURE(ExpectControls(info, kOptionsDialog, texts, 0x80810000u, true));
    }
}

TEST(DialogTemplates, TemplateReaderRejectsTruncatedTemplates) {
    // The reader itself must not pass a damaged template off as whole.
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(103),
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr);
    const void* data = LockResource(LoadResource(module, found));
    const DWORD size = SizeofResource(module, found);
    DialogTemplateInfo info;
    EXPECT_TRUE(ReadDialogTemplate(data, size, info));
    EXPECT_FALSE(ReadDialogTemplate(data, size / 2, info));
    EXPECT_FALSE(ReadDialogTemplate(data, 10, info));
}

}  // namespace
