// Format choice: the chooser hook's answers, the description texts, the way back to PCM, and
// the chooser itself run under Wine.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/format_choice.h"
#include "output/format_description.h"
#include "output/format_record.h"
#include "tests/output/wave_test_util.h"

namespace {

using outtest::Pcm;

uint32_t MaxSize() { return ReadMaxFormatSize(); }

FormatBuffer Mp3(DWORD avgBytes, bool complete) {
    FormatBuffer format(MaxSize() + kFormatHeaderBytes);
    WAVEFORMATEX* record = format.Get();
    record->wFormatTag = kFormatTagMp3;
    record->nChannels = 2;
    record->nSamplesPerSec = 44100;
    record->nAvgBytesPerSec = avgBytes;
    record->nBlockAlign = 1;
    if (complete) CompleteMp3Format(record);
    return format;
}

UINT VerifyTag(DWORD tag) {
    return FormatChooserHook(nullptr, MM_ACM_FORMATCHOOSE, FORMATCHOOSE_FORMATTAG_VERIFY, LPARAM(tag));
}

UINT VerifyFormat(const FormatBuffer& format) {
    return FormatChooserHook(nullptr, MM_ACM_FORMATCHOOSE, FORMATCHOOSE_FORMAT_VERIFY,
                             reinterpret_cast<LPARAM>(format.Get()));
}

class FormatChooserHookTest : public testing::Test {
protected:
    void Open(const FormatBuffer& initial) {
        formatChooserState.listedCount = 77;
        formatChooserState.currentIndex = 77;
        formatChooserState.initialFormat = initial.Get();
        EXPECT_EQ(FormatChooserHook(nullptr, WM_INITDIALOG, 0, 0), 0u);
        EXPECT_EQ(formatChooserState.listedCount, -1);
        EXPECT_EQ(formatChooserState.currentIndex, -1);
    }
    void TearDown() override { formatChooserState = FormatChooserState(); }
};

TEST_F(FormatChooserHookTest, LeavesOutTheSevenTags) {
    const DWORD excluded[] = {0x0019, 0x0062, 0x0069, 0x0074, 0x0075, 0x0160, 0x0161};
    for (DWORD tag : excluded) EXPECT_EQ(VerifyTag(tag), 1u) << std::hex << tag;
    const DWORD listed[] = {0x0001, 0x0002, 0x0006, 0x0007, 0x0011, 0x0031, 0x0055,
                            0x0018, 0x0063, 0x0076, 0x0162, 0xFFFE};
    for (DWORD tag : listed) EXPECT_EQ(VerifyTag(tag), 0u) << std::hex << tag;
}

TEST_F(FormatChooserHookTest, ListsTheCurrentFormatOnceAndCountsTheList) {
    const FormatBuffer initial = outtest::Suggest(44100, 0x0011, 2, 44100);
    ASSERT_FALSE(initial.Empty());
    Open(initial);
    EXPECT_EQ(VerifyFormat(Pcm(22050)), 0u);
    EXPECT_EQ(VerifyFormat(Pcm(48000)), 1u) << "above 44100 Hz";
    EXPECT_EQ(VerifyFormat(CopyFormat(initial.Get())), 0u);
    EXPECT_EQ(formatChooserState.currentIndex, 1);
    EXPECT_EQ(VerifyFormat(CopyFormat(initial.Get())), 1u) << "a second codec's identical entry";
    EXPECT_EQ(VerifyFormat(Pcm(8000)), 0u);
    EXPECT_EQ(formatChooserState.listedCount, 2);
    EXPECT_EQ(formatChooserState.currentIndex, 1);
}

TEST_F(FormatChooserHookTest, FormatAboveTheLimitIsNeitherListedNorSelected) {
    const FormatBuffer initial = Pcm(48000);
    Open(initial);
    EXPECT_EQ(VerifyFormat(Pcm(48000)), 1u);
    EXPECT_EQ(VerifyFormat(Pcm(96000)), 1u);
    EXPECT_EQ(VerifyFormat(Pcm(44100)), 0u);
    EXPECT_EQ(formatChooserState.currentIndex, -1);
    EXPECT_EQ(formatChooserState.listedCount, 0);
}

TEST_F(FormatChooserHookTest, Mp3EntryWithoutExtraBytesMatchesTheStoredRecord) {
    const FormatBuffer stored = Mp3(16000, true);
    Open(stored);
    EXPECT_EQ(VerifyFormat(Mp3(20000, false)), 0u) << "160 kbit/s: another format";
    EXPECT_EQ(formatChooserState.currentIndex, -1);
    EXPECT_EQ(VerifyFormat(Mp3(16000, false)), 0u);
    EXPECT_EQ(formatChooserState.currentIndex, 1);

    // Twelve extra bytes but no block size: completed the same way, so a duplicate.
    FormatBuffer noBlockSize = Mp3(16000, true);
    reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(noBlockSize.Get())->nBlockSize = 0;
    EXPECT_EQ(VerifyFormat(noBlockSize), 1u);
    EXPECT_EQ(formatChooserState.listedCount, 1);
}

TEST_F(FormatChooserHookTest, PreselectsTheCurrentEntryWhenShown) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HWND list = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 90, 90,
                                window, HMENU(kChooserFormatList), nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    for (const char* item : {"a", "b", "c", "d"}) {
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    formatChooserState.currentIndex = 2;
    EXPECT_EQ(FormatChooserHook(window, WM_SHOWWINDOW, TRUE, 0), 0u);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR) << "posted, not sent";
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(FormatChooserHook(window, WM_COMMAND, IDOK, 0), 0u) << "everything else: 0";
    DestroyWindow(window);
}

TEST(FormatDescription, TagNameRateAndDescription) {
    char text[260];
    DescribeFormat(text, sizeof text, MaxSize(), Pcm(44100).Get());
    const std::string pcm = text;
    EXPECT_EQ(pcm.rfind("PCM, 172 KB/s\n", 0), 0u) << pcm;
    EXPECT_NE(pcm.find("44100"), std::string::npos) << "the codec's own description: " << pcm;

    const FormatBuffer ima = outtest::Suggest(44100, 0x0011, 2, 44100);
    ASSERT_FALSE(ima.Empty());
    DescribeFormat(text, sizeof text, MaxSize(), ima.Get());
    EXPECT_NE(std::string(text).find(", 43 KB/s\n"), std::string::npos) << text;  // 44251 bytes/s

    // 11025 bytes per second round to 11.
    FormatBuffer mono = Pcm(11025);
    mono.Get()->nChannels = 1;
    mono.Get()->wBitsPerSample = 8;
    mono.Get()->nBlockAlign = 1;
    mono.Get()->nAvgBytesPerSec = 11025;
    DescribeFormat(text, sizeof text, MaxSize(), mono.Get());
    EXPECT_EQ(std::string(text).rfind("PCM, 11 KB/s\n", 0), 0u) << text;
}

TEST(FormatDescription, UnknownFormatAndSmallBuffers) {
    char text[260] = "old";
    FormatBuffer broken = Pcm(44100);
    broken.Get()->nChannels = 0;
    DescribeFormat(text, sizeof text, MaxSize(), broken.Get());
    EXPECT_STREQ(text, "") << "a format no codec describes";

    // Wine can decode MPEG Layer-3, so it describes it: 128 kbit/s shows as 16 KB/s.
    DescribeFormat(text, sizeof text, MaxSize(), Mp3(16000, true).Get());
    EXPECT_NE(std::string(text).find(", 16 KB/s\n"), std::string::npos) << text;

    char small[10];
    std::memset(small, 'x', sizeof small);
    DescribeFormat(small, sizeof small, MaxSize(), Pcm(44100).Get());
    EXPECT_STREQ(small, "PCM, 172 ");
    char untouched = 'x';
    DescribeFormat(&untouched, 0, MaxSize(), Pcm(44100).Get());
    EXPECT_EQ(untouched, 'x');
}

TEST(FormatChoice, BackToPcmGivesCdPcmWithoutName) {
    FormatBuffer record = outtest::Suggest(44100, 0x0011, 2, 44100);
    ASSERT_FALSE(record.Empty());
    char name[kChooserNameBytes] = "My IMA";
    BackToPcm(record.Get(), name);
    EXPECT_TRUE(FormatsEqual(record.Get(), Pcm(44100).Get()));
    EXPECT_EQ(record.Get()->nAvgBytesPerSec, 176400u);
    EXPECT_STREQ(name, "");
}

// Drives the chooser on this thread: when its window activates, the queued actions run in it.
struct ChooserScript {
    static const char* tagToChoose;  // null: cancel
    static HHOOK hook;
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE) {
            HWND dialog = HWND(wParam);
            char className[16] = "";
            GetClassNameA(dialog, className, sizeof className);
            if (std::strcmp(className, "#32770") == 0) {
                if (tagToChoose) {
                    HWND tags = GetDlgItem(dialog, 101);
                    const LRESULT index = SendMessageA(tags, CB_FINDSTRINGEXACT, WPARAM(-1),
                                                       reinterpret_cast<LPARAM>(tagToChoose));
                    PostMessageA(tags, CB_SETCURSEL, WPARAM(index), 0);
                    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(101, CBN_SELCHANGE), LPARAM(tags));
                    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                } else {
                    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                }
            }
        }
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    static MMRESULT Run(const char* tag, FormatBuffer& record, char* name, char* text) {
        tagToChoose = tag;
        hook = SetWindowsHookExA(WH_CBT, Watch, nullptr, GetCurrentThreadId());
        const MMRESULT result =
            RunFormatChooser(nullptr, record.Get(), MaxSize(), name, kChooserNameBytes, text, kChooserTextBytes);
        UnhookWindowsHookEx(hook);
        return result;
    }
};
const char* ChooserScript::tagToChoose = nullptr;
HHOOK ChooserScript::hook = nullptr;

TEST(FormatChoice, CancelledChooserChangesNothing) {
    FormatBuffer record = Pcm(44100);
    char name[kChooserNameBytes] = "";
    char text[kChooserTextBytes] = "before";
    EXPECT_EQ(ChooserScript::Run(nullptr, record, name, text), MMRESULT(ACMERR_CANCELED));
    EXPECT_TRUE(FormatsEqual(record.Get(), Pcm(44100).Get()));
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(text, "before");
    EXPECT_EQ(formatChooserState.initialFormat, nullptr);
}

TEST(FormatChoice, ChosenFormatComesBackWithItsText) {
    FormatBuffer record = Pcm(44100);
    char name[kChooserNameBytes] = "";
    char text[kChooserTextBytes] = "";
    ASSERT_EQ(ChooserScript::Run("IMA ADPCM", record, name, text), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(record.Get()->wFormatTag, 0x0011);
    char expected[kChooserTextBytes];
    std::snprintf(expected, sizeof expected, "%s\nIMA ADPCM, %d KB/s\n", name,
                  KilobytesPerSecond(record.Get()));
    EXPECT_EQ(std::string(text).rfind(expected, 0), 0u) << text;
    char description[kChooserTextBytes];
    DescribeFormat(description, sizeof description, MaxSize(), record.Get());
    EXPECT_EQ(std::string(text), std::string(name) + "\n" + description);
    EXPECT_GT(std::strlen(text), std::strlen(expected)) << "the format's description follows";
}

}  // namespace
