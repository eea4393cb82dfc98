// The main window's commands on the bench: the record button, the prefix, the folder choice,
// and the Options dialog with its output-format test, driven as a user drives them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/languages.h"
#include "app/main_dialog.h"
#include "app/options_dialog.h"
#include "base/paths.h"
#include "capture/wave_in_capture.h"
#include "resources/resource_ids.h"
#include "tests/app/main_window_harness.h"
#include "tests/support/bench_audio.h"

namespace {

using app_test::FreshSettingsKey;
using app_test::MainWindowRun;
using app_test::WaitFor;
using app_test::WindowText;

constexpr int kChooserTags = 101;     // the format chooser's tag list
constexpr int kChooserFormats = 102;  // its format list

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        UiLanguage = LANG_ENGLISH;
        std::strcpy(DecimalSeparator, ".");
    }
    FreshSettingsKey key_;
};

void Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

struct DialogSearch {
    DWORD thread;
    int id;
    const char* className;
    const std::vector<HWND>* besides;
    HWND found;
};

BOOL CALLBACK CheckDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    if (GetWindowThreadProcessId(window, nullptr) != search->thread) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    for (HWND other : *search->besides) {
        if (window == other) return TRUE;
    }
    HWND item = GetDlgItem(window, search->id);
    char name[64] = {};
    if (!item || !GetClassNameA(item, name, sizeof name)) return TRUE;
    if (lstrcmpiA(name, search->className) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window of `thread` holding a control `id` of class `className`, other
// than those in `besides`.
HWND FindThreadDialog(DWORD thread, int id, const char* className, std::vector<HWND> besides = {}) {
    DialogSearch search{thread, id, className, &besides, nullptr};
    WaitFor([&] {
        search.found = nullptr;
        EnumWindows(CheckDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, 10000);
    return search.found;
}

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) < LRESULT(sizeof text)) {
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        }
        items.push_back(text);
    }
    return items;
}

int ComboIndexStartingWith(HWND combo, const std::string& start) {
    const std::vector<std::string> items = ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].rfind(start, 0) == 0) return static_cast<int>(i);
    }
    return -1;
}

// Chooses, in an open format chooser, the first format of the tag whose name starts with `tag`
// and whose text contains `format`.
bool ChooseInChooser(HWND chooser, const std::string& tag, const std::string& format = "") {
    HWND tags = GetDlgItem(chooser, kChooserTags);
    const int index = ComboIndexStartingWith(tags, tag);
    if (index < 0) {
        std::string offered;
        for (const std::string& item : ComboItems(tags)) offered += "[" + item + "]";
        ADD_FAILURE() << "the chooser offers no " << tag << ", only " << offered;
        Click(chooser, IDCANCEL);
        return false;
    }
    SendMessageA(tags, CB_SETCURSEL, index, 0);
    SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(kChooserTags, CBN_SELCHANGE), reinterpret_cast<LPARAM>(tags));
    HWND formats = GetDlgItem(chooser, kChooserFormats);
    const std::vector<std::string> offered = ComboItems(formats);
    int chosen = -1;
    for (size_t i = 0; i < offered.size() && chosen < 0; ++i) {
        if (offered[i].find(format) != std::string::npos) chosen = static_cast<int>(i);
    }
    if (chosen < 0) {
        std::string texts;
        for (const std::string& item : offered) texts += "[" + item + "]";
        ADD_FAILURE() << tag << " lists no format with " << format << ": " << texts;
        Click(chooser, IDCANCEL);
        return false;
    }
    SendMessageA(formats, CB_SETCURSEL, chosen, 0);
    SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(kChooserFormats, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(formats));
    Click(chooser, IDOK);
    return WaitFor([&] { return !IsWindow(chooser); }, 5000);
}

// A loud block fed to the engine beside the turntable's silence: it opens a track at once.
void SubmitLoudBlock(TrackEngine* engine) {
    const std::vector<int16_t> loud(kCaptureBlockValues, 12000);
    SampleBuffer* buffer = engine->GetFreeBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_TRUE(buffer->Fill(kCaptureBlockValues, loud.data()));
    engine->SubmitBuffer(buffer);
}

// The engine's worker, held after its next wake until the test lets it go: a track's end and
// a hand-over wait meanwhile. The turntable's blocks wake it.
class HeldWorker {
public:
    HeldWorker() {
        held_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~HeldWorker() {
        Release();
        CloseHandle(held_);
        CloseHandle(release_);
    }
    static DWORD WINAPI Wait(DWORD count, const HANDLE* handles, BOOL all, DWORD ms) {
        const DWORD result = WaitForMultipleObjects(count, handles, all, ms);
        if (hold_) {
            SetEvent(held_);
            WaitForSingleObject(release_, INFINITE);
        }
        return result;
    }
    bool Hold() {
        hold_ = 1;
        return WaitForSingleObject(held_, 10000) == WAIT_OBJECT_0;
    }
    void Release() {
        hold_ = 0;
        SetEvent(release_);
    }

private:
    static volatile LONG hold_;
    static HANDLE held_;
    static HANDLE release_;
};
volatile LONG HeldWorker::hold_ = 0;
HANDLE HeldWorker::held_ = nullptr;
HANDLE HeldWorker::release_ = nullptr;

const int kNamingControls[] = {IDC_MAIN_FOLDER, IDC_MAIN_SAVE_FILES_TO, IDC_MAIN_PREFIX,
                               IDC_MAIN_OPTIONS};

bool IsPcm44100(const WAVEFORMATEX* format) {
    WAVEFORMATEX pcm{};
    MakePcmFormat(&pcm, 44100);
    return FormatsEqual(format, &pcm);
}

TEST_F(Commands, RecordButtonArmsAndDisarmsAndLocksTheNamingControls) {
    MainWindowRun run([](MainDialog& dialog) { dialog.CurrentSettings().folder = "C:\\tracks"; });
    ASSERT_TRUE(run.WaitOpen());
    TrackEngine* engine = run.Dialog().Engine();
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Not Recording"; }, 5000));

    Click(run.Window(), IDC_MAIN_RECORD);
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Stop"; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Cueing..."; }, 5000));
    EXPECT_EQ(engine->IsStandby(), 0);
    for (int id : {IDC_MAIN_FOLDER, IDC_MAIN_SAVE_FILES_TO, IDC_MAIN_PREFIX, IDC_MAIN_OPTIONS}) {
        EXPECT_FALSE(IsWindowEnabled(run.Item(id))) << id;
    }

    Click(run.Window(), IDC_MAIN_RECORD);
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Start"; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Not Recording"; }, 5000));
    EXPECT_EQ(engine->IsStandby(), 1);
    // Back once the worker has served the Stop.
    for (int id : kNamingControls) {
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(run.Item(id)) != FALSE; }, 5000)) << id;
    }
    // Start and Stop with no sound in between: nothing opened, no number used.
    EXPECT_EQ(engine->trackNumber, 0);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(Commands, RecordingWritesNumberedTracksIntoTheFolder) {
    const std::string folder = bench::ScratchDir("commands_tracks");
    MainWindowRun run([&](MainDialog& dialog) {
        dialog.CurrentSettings().folder = bench::WindowsPath(folder);
        dialog.CurrentSettings().prefix = "take";
        dialog.CurrentSettings().Duration = 7;
        dialog.CurrentSettings().Discard = 3;
    });
    ASSERT_TRUE(run.WaitOpen());
    Click(run.Window(), IDC_MAIN_RECORD);
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Stop"; }, 5000));

    const std::string wav = folder + "/song.wav";
    ASSERT_TRUE(bench::WriteStereoWav(wav, 44100, bench::StereoSine(44100, 440.0, 0.5, 44100, 22050)));
    bench::Playback play;
    ASSERT_TRUE(play.Start(wav));
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Track 1"; }, 10000));
    ASSERT_TRUE(play.Wait(20000));
    // The silence after the song ends the track; the window goes back to cueing.
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Cueing..."; }, 10000));
    Click(run.Window(), IDC_MAIN_RECORD);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    const std::string track = bench::WindowsPath(folder) + "\\take0001.wav";
    EXPECT_NE(GetFileAttributesA(track.c_str()), INVALID_FILE_ATTRIBUTES) << track;
    EXPECT_EQ(GetFileAttributesA((bench::WindowsPath(folder) + "\\take0002.wav").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(Commands, PrefixRefusesFileNameCharactersTypedOrPasted) {
    MainWindowRun run([](MainDialog& dialog) { dialog.CurrentSettings().prefix = "tmp"; });
    ASSERT_TRUE(run.WaitOpen());
    HWND edit = run.Item(IDC_MAIN_PREFIX);
    SendMessageA(edit, EM_SETSEL, 3, 3);
    for (char c : std::string("\\/:*?\"<>|")) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    EXPECT_EQ(WindowText(edit), "tmp");
    SendMessageA(edit, WM_CHAR, 'A', 0);
    EXPECT_EQ(WindowText(edit), "tmpA");
    // Pasted (here: replaced) text loses them too.
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(":x"));
    EXPECT_EQ(WindowText(edit), "tmpAx");
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(Commands, ANewPrefixNumbersFromTheStartAgain) {
    const std::string folder = bench::WindowsPath(bench::ScratchDir("commands_prefix"));
    MainWindowRun run([&](MainDialog& dialog) {
        dialog.CurrentSettings().prefix = "tmp";
        dialog.CurrentSettings().folder = folder;
    });
    ASSERT_TRUE(run.WaitOpen());
    TrackEngine* engine = run.Dialog().Engine();
    auto leaveEdit = [&] {
        SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_PREFIX, EN_KILLFOCUS),
                     reinterpret_cast<LPARAM>(run.Item(IDC_MAIN_PREFIX)));
    };
    engine->trackNumber = 5;
    leaveEdit();  // unchanged text
    // The same prefix numbers on, even in an empty folder.
    Click(run.Window(), IDC_MAIN_RECORD);
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Stop"; }, 5000));
    SubmitLoudBlock(engine);
    EXPECT_TRUE(WaitFor([&] { return engine->IsTrackOpen(); }, 5000));
    EXPECT_EQ(engine->trackNumber, 6);
    Click(run.Window(), IDC_MAIN_RECORD);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(run.Item(IDC_MAIN_PREFIX)) != FALSE; }, 5000));
    engine->trackNumber = 5;
    SetWindowTextA(run.Item(IDC_MAIN_PREFIX), "side A ");
    leaveEdit();
    EXPECT_EQ(engine->trackNumber, 5) << "the worker applies the reset at the next track";
    EXPECT_EQ(run.Dialog().CurrentSettings().prefix, "side A ");
    Click(run.Window(), IDC_MAIN_RECORD);
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Stop"; }, 5000));
    SubmitLoudBlock(engine);
    EXPECT_TRUE(WaitFor([&] { return engine->IsTrackOpen(); }, 5000));
    EXPECT_EQ(engine->trackNumber, 1);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    char stored[64] = {};
    DWORD size = sizeof stored;
    EXPECT_EQ(RegQueryValueExA(key, "prefix", nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(stored, "side A ");
}

TEST(TrackNames, TemplateAndChosenFolder) {
    EXPECT_EQ(TrackNameTemplate("C:\\Rec", "Side A "), "C:\\Rec\\Side A %04d.%s");
    EXPECT_EQ(TrackNameTemplate("D:", "tmp"), "D:\\tmp%04d.%s");
    EXPECT_EQ(TrackNameTemplate("D:", "..\\a:b/*?\"<>|"), "D:\\..ab%04d.%s");
    EXPECT_EQ(WithoutTrailingBackslash("D:\\"), "D:");
    EXPECT_EQ(WithoutTrailingBackslash("C:\\Rec"), "C:\\Rec");
    EXPECT_EQ(WithoutTrailingBackslash("C:\\Rec\\\\"), "C:\\Rec\\");  // one character only
    EXPECT_EQ(WithoutTrailingBackslash(""), "");
    // Shift-JIS: the trail byte of "\x83\x5C" is a backslash's, the character is not one.
    EXPECT_EQ(WithoutTrailingBackslash("D:\\\x83\x5C", 932), "D:\\\x83\x5C");
    EXPECT_EQ(WithoutTrailingBackslash("D:\\\x83\x5C\\", 932), "D:\\\x83\x5C");
}

// The refused characters are found by characters: on the double-byte code pages a second
// byte 5C or 7C (ソ, 表, ポ in 932; 乗, 亅 in 936; 許, 功, 吜 in 950) is part of its character,
// in the stored or pasted text and in the keystrokes alike.
TEST(TrackNames, RefusedCharactersAreFoundByCharactersOnDoubleByteCodePages) {
    struct Case {
        UINT codePage;
        std::string prefix;
        std::string kept;
    } cases[] = {
        {932, "\x83\x5C\x83\x6A\x81\x5B", "\x83\x5C\x83\x6A\x81\x5B"},  // ソニー
        {932, "\x95\x5C|\x83\x7C:a\\", "\x95\x5C\x83\x7C" "a"},  // 表, ポ and a
        {936, "\x81\x5C/\x81\x7C*", "\x81\x5C\x81\x7C"},
        {950, "\xB3\x5C\xA5\x5C?\xCA\x7C\"", "\xB3\x5C\xA5\x5C\xCA\x7C"},
        {950, "ab\xB3", "ab\xB3"},  // a lead byte with nothing after it stays
        {1252, "\x83\x5C", "\x83"},  // no double bytes: the backslash is one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        EXPECT_EQ(WithoutRefusedCharacters(c.prefix, c.codePage), c.kept);
        EXPECT_EQ(TrackNameTemplate("C:\\Rec", c.prefix, c.codePage),
                  "C:\\Rec\\" + c.kept + "%04d.%s");
        PrefixFilter typed(c.codePage);
        std::string landed;
        for (char byte : c.prefix) {
            if (!typed.Refuses(static_cast<unsigned char>(byte))) landed += byte;
        }
        EXPECT_EQ(landed, c.kept);
    }
}

// Enter in the prefix box presses the default button, the record button, while the box keeps
// the focus: the take is named by what the box holds.
TEST_F(Commands, EnterInThePrefixBoxNamesTheTake) {
    const std::string folder = bench::WindowsPath(bench::ScratchDir("commands_enter"));
    MainWindowRun run([&](MainDialog& dialog) {
        dialog.CurrentSettings().prefix = "side";
        dialog.CurrentSettings().folder = folder;
    });
    ASSERT_TRUE(run.WaitOpen());
    HWND edit = run.Item(IDC_MAIN_PREFIX);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    for (char c : std::string("neu")) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Stop"; }, 5000));
    SubmitLoudBlock(run.Dialog().Engine());
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Track 1"; }, 5000));
    // The open file, before the close deletes it as too short.
    EXPECT_NE(GetFileAttributesA((folder + "\\neu0001.wav").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((folder + "\\side0001.wav").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    EXPECT_EQ(run.Dialog().CurrentSettings().prefix, "neu");
}

// While the engine still ends the track after a Stop, the naming controls stay locked.
TEST_F(Commands, TheNamingControlsComeBackOnceTheEngineHasEndedTheTrack) {
    MainDialogApi api;
    api.recorder.engine.waitForMultipleObjects = &HeldWorker::Wait;
    MainWindowRun run({}, api);
    HeldWorker worker;  // let go before the window closes, however the test ends
    ASSERT_TRUE(run.WaitOpen());
    Click(run.Window(), IDC_MAIN_RECORD);
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Cueing..."; }, 5000));
    ASSERT_TRUE(worker.Hold());
    Click(run.Window(), IDC_MAIN_RECORD);
    // The tick that writes this text has asked the engine first.
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Not Recording"; }, 5000));
    EXPECT_EQ(run.Text(IDC_MAIN_RECORD), "&Start");
    for (int id : kNamingControls) EXPECT_FALSE(IsWindowEnabled(run.Item(id))) << id;
    worker.Release();
    for (int id : kNamingControls) {
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(run.Item(id)) != FALSE; }, 5000)) << id;
    }
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

std::unique_ptr<CaptureDevice> NoBackEnd(bool, const char*, TrackEngine*, bool) { return nullptr; }

TEST_F(Commands, ABackEndThatCannotBeMadeIsReportedAsACaptureFailure) {
    MainDialogApi api;
    api.recorder.createCapture = &NoBackEnd;
    MainWindowRun run({}, api);
    ASSERT_TRUE(run.WaitOpen());
    HWND box = app_test::WaitForThreadWindow(run.Window(), "Grooval", 10000);
    ASSERT_NE(box, nullptr) << "no capture-failure message";
    const std::string text = WindowText(GetDlgItem(box, 0xFFFF));
    EXPECT_NE(text.find("8007000e"), std::string::npos) << text;
    Click(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Monitor"; }, 5000));
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(Commands, FolderDialogCancelledKeepsTheFolderWithoutItsTrailingBackslash) {
    MainWindowRun run([](MainDialog& dialog) { dialog.CurrentSettings().folder = "C:\\"; });
    ASSERT_TRUE(run.WaitOpen());
    Click(run.Window(), IDC_MAIN_SAVE_FILES_TO);
    HWND browse = FindThreadDialog(ThreadOf(run.Window()), IDCANCEL, "Button", {run.Window()});
    ASSERT_NE(browse, nullptr) << "no folder dialog";
    Click(browse, IDCANCEL);
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_FOLDER) == "C:"; }, 5000)) << run.Text(IDC_MAIN_FOLDER);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    EXPECT_EQ(run.Dialog().CurrentSettings().folder, "C:");
}

// The folder dialog's stand-in: the user chooses g_browseTo.
const char* g_browseTo = "";
LPITEMIDLIST WINAPI BrowseTo(LPBROWSEINFOA) { return ILCreateFromPathA(g_browseTo); }

// The record button's window procedure while the test holds the window's thread right after a
// press armed the engine (in its "&Stop" text) until the worker has tried a track name.
WNDPROC g_buttonProc = nullptr;
TrackEngine* g_stalledEngine = nullptr;
LRESULT CALLBACK StallAfterArming(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && g_stalledEngine &&
        std::strcmp(reinterpret_cast<const char*>(lParam), "&Stop") == 0) {
        WaitFor([] { return g_stalledEngine->trackNumber != 0; }, 10000);
        g_stalledEngine = nullptr;
    }
    return CallWindowProcA(g_buttonProc, button, message, wParam, lParam);
}

TEST_F(Commands, StartRightAfterNamingRecordsInTheChosenFolderUnderTheCleanPrefix) {
    const std::string folder = bench::ScratchDir("commands_named");
    MainDialogApi api;
    api.browseForFolder = &BrowseTo;
    MainWindowRun run([](MainDialog& dialog) { dialog.CurrentSettings().Discard = 3; }, api);
    ASSERT_TRUE(run.WaitOpen());
    for (const std::string& to : {std::string("C:\\"), bench::WindowsPath(folder)}) {
        g_browseTo = to.c_str();
        SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_SAVE_FILES_TO, BN_CLICKED), 0);
        EXPECT_EQ(run.Text(IDC_MAIN_FOLDER), WithoutTrailingBackslash(to));
    }
    HWND edit = run.Item(IDC_MAIN_PREFIX);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("..\\esc"));
    EXPECT_EQ(WindowText(edit), "..esc");
    SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_PREFIX, EN_KILLFOCUS), LPARAM(edit));

    const std::string wav = folder + "/song.wav";
    ASSERT_TRUE(bench::WriteStereoWav(wav, 44100, bench::StereoSine(44100, 440.0, 0.5, 88200, 4410)));
    bench::Playback play;
    ASSERT_TRUE(play.Start(wav));
    HWND button = run.Item(IDC_MAIN_RECORD);
    g_stalledEngine = run.Dialog().Engine();
    g_buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StallAfterArming)));
    SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_RECORD, BN_CLICKED), LPARAM(button));
    EXPECT_EQ(g_stalledEngine, nullptr) << "the worker tried no name while the window stood";
    ASSERT_TRUE(play.Wait(20000));
    SendMessageA(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_RECORD, BN_CLICKED), LPARAM(button));
    EXPECT_EQ(run.Close(), kMainDialogClosed);
    const std::string inside = bench::WindowsPath(folder) + "\\..esc0001.wav";
    EXPECT_NE(GetFileAttributesA(inside.c_str()), INVALID_FILE_ATTRIBUTES) << inside;
    const std::string outside = bench::WindowsPath(folder) + "\\..\\esc0001.wav";
    EXPECT_EQ(GetFileAttributesA(outside.c_str()), INVALID_FILE_ATTRIBUTES) << outside;
}

// ---- Options ----

class OptionsFlow : public Commands {
protected:
    // Opens the Options dialog from the main window.
    HWND OpenOptions(MainWindowRun& run) {
        Click(run.Window(), IDC_MAIN_OPTIONS);
        return FindThreadDialog(ThreadOf(run.Window()), IDC_OPTIONS_LANGUAGE, "ComboBox", {run.Window()});
    }
};

TEST_F(OptionsFlow, ShowsTheCurrentChoicesAndCancelChangesNothing) {
    MainWindowRun run([](MainDialog& dialog) {
        dialog.CurrentSettings().liveMode = 1;
        dialog.CurrentSettings().useDirectSound = 0;
    });
    ASSERT_TRUE(run.WaitOpen());
    CaptureDevice* capture = run.Dialog().Capture();
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(WindowText(options), "Options");

    const std::vector<std::string> languages = ComboItems(GetDlgItem(options, IDC_OPTIONS_LANGUAGE));
    ASSERT_EQ(languages.size(), 8u);
    // Each in its own language, whatever the interface language; no character lost.
    for (size_t i = 0; i < languages.size(); ++i) {
        WCHAR wide[64] = {};
        GetLocaleInfoW(kInterfaceLanguages[i].resourceLanguage, LOCALE_SNATIVELANGNAME, wide, 64);
        char native[128] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, native, sizeof native, nullptr, nullptr);
        EXPECT_EQ(languages[i], native) << i;
    }
    EXPECT_EQ(languages[4], "espa\xC3\xB1ol") << "UTF-8, the program's code page";
    EXPECT_EQ(SendDlgItemMessageA(options, IDC_OPTIONS_LANGUAGE, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(options, IDC_OPTIONS_LIVE_MODE, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(options, IDC_OPTIONS_MODE78, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendDlgItemMessageA(options, IDC_OPTIONS_DIRECTSOUND, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(options, IDC_OPTIONS_DIRECTSOUND)));
    HWND cards = GetDlgItem(options, IDC_OPTIONS_SOUND_CARD);
    const LRESULT selected = SendMessageA(cards, CB_GETCURSEL, 0, 0);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(ComboItems(cards)[selected], run.Dialog().CurrentSettings().sourceName);
    // No name: the first line is empty, then the description.
    const std::string format = WindowText(GetDlgItem(options, IDC_OPTIONS_FORMAT));
    EXPECT_EQ(format.rfind("\n", 0), 0u) << format;
    EXPECT_NE(format.find(", 172 KB/s\n"), std::string::npos) << format;

    SendDlgItemMessageA(options, IDC_OPTIONS_MODE78, BM_SETCHECK, BST_CHECKED, 0);
    Click(options, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 5000));
    ASSERT_TRUE(run.Settle());
    EXPECT_EQ(run.Dialog().CurrentSettings().mode78, 0u);
    EXPECT_EQ(run.Dialog().Capture(), capture) << "nothing changed: capture not restarted";
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(OptionsFlow, OkWithOnlyLiveModeChangedSetsTheEngineWithoutARestart) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    CaptureDevice* capture = run.Dialog().Capture();
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    SendDlgItemMessageA(options, IDC_OPTIONS_LIVE_MODE, BM_SETCHECK, BST_CHECKED, 0);
    // The WAV button on a PCM format chooses the same record: no format change.
    Click(options, IDC_OPTIONS_WAV);
    Click(options, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 5000));
    ASSERT_TRUE(run.Settle());
    EXPECT_EQ(run.Dialog().CurrentSettings().liveMode, 1u);
    EXPECT_EQ(run.Dialog().Engine()->liveMode, 1);
    EXPECT_EQ(run.Dialog().Capture(), capture);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(OptionsFlow, Mode78RestartsCaptureAndRelabels) {
    MainWindowRun run([](MainDialog& dialog) { dialog.CurrentSettings().Duration = 14; });
    ASSERT_TRUE(run.WaitOpen());
    EXPECT_EQ(run.Text(IDC_MAIN_SILENCE_LENGTH_CAPTION), "&New Track after 2.00 seconds of silence");
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    SendDlgItemMessageA(options, IDC_OPTIONS_MODE78, BM_SETCHECK, BST_CHECKED, 0);
    Click(options, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_FORMAT).rfind("78 RPM, ", 0) == 0; }, 5000));
    EXPECT_EQ(run.Text(IDC_MAIN_SILENCE_LENGTH_CAPTION), "&New Track after 3.50 seconds of silence");
    ASSERT_NE(run.Dialog().Capture(), nullptr);
    EXPECT_TRUE(run.Dialog().Capture()->Mode78());
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

// Back-ends of a card that another program holds until the first one has failed.
int g_capturesMade = 0;
MMRESULT WINAPI BusyOpen(LPHWAVEIN, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
    return MMSYSERR_ALLOCATED;
}
std::unique_ptr<CaptureDevice> BusyAtFirst(bool directSound, const char* name, TrackEngine* engine,
                                           bool mode78) {
    if (g_capturesMade++ > 0) return CreateCaptureDevice(directSound, name, engine, mode78);
    WaveInApi busy;
    busy.open = &BusyOpen;
    return std::make_unique<WaveInCapture>(name, engine, mode78, busy);
}

TEST_F(OptionsFlow, AChangeAfterACaptureFailureRestartsCaptureAndStartKeepsIt) {
    g_capturesMade = 0;
    MainDialogApi api;
    api.recorder.createCapture = &BusyAtFirst;
    MainWindowRun run({}, api);
    ASSERT_TRUE(run.WaitOpen());
    HWND box = app_test::WaitForThreadWindow(run.Window(), "Grooval", 10000);
    ASSERT_NE(box, nullptr) << "no capture-failure message";
    Click(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Monitor"; }, 5000));

    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    SendDlgItemMessageA(options, IDC_OPTIONS_MODE78, BM_SETCHECK, BST_CHECKED, 0);
    Click(options, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 5000));
    ASSERT_TRUE(run.Settle());
    EXPECT_FALSE(run.Dialog().CaptureFailed());
    EXPECT_EQ(run.Text(IDC_MAIN_RECORD), "&Start");
    SetWindowTextA(run.Item(IDC_MAIN_TRACK), "frozen");
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_TRACK) == "Not Recording"; }, 5000));

    // Start arms the running back-end; it neither replaces nor destroys it.
    CaptureDevice* running = run.Dialog().Capture();
    Click(run.Window(), IDC_MAIN_RECORD);
    EXPECT_TRUE(WaitFor([&] { return run.Text(IDC_MAIN_RECORD) == "&Stop"; }, 5000));
    EXPECT_EQ(run.Dialog().Capture(), running);
    EXPECT_FALSE(running->HasEnded());
    EXPECT_EQ(g_capturesMade, 2);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

DWORD StoredNoDirectSound() {
    DWORD value = 2, size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, kValueNoDirectSound, RRF_RT_REG_DWORD, nullptr,
                 &value, &size);
    return value;
}

TEST_F(OptionsFlow, AnotherCardAndDirectSoundOnThenOffRestartCaptureAndAreStoredAtOnce) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    std::string card = run.Dialog().CurrentSettings().sourceName;
    for (bool directSound : {true, false}) {
        HWND options = OpenOptions(run);
        ASSERT_NE(options, nullptr);
        const std::vector<std::string> cards = ComboItems(GetDlgItem(options, IDC_OPTIONS_SOUND_CARD));
        ASSERT_GE(cards.size(), 2u) << "the bench offers one card only";
        if (directSound) card = cards[cards[0] == card ? 1 : 0];  // and another card
        const auto at = std::find(cards.begin(), cards.end(), card) - cards.begin();
        SendDlgItemMessageA(options, IDC_OPTIONS_SOUND_CARD, CB_SETCURSEL, WPARAM(at), 0);
        SendDlgItemMessageA(options, IDC_OPTIONS_DIRECTSOUND, BM_SETCHECK, directSound ? BST_CHECKED : BST_UNCHECKED, 0);
        Click(options, IDOK);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 5000));
        ASSERT_TRUE(run.Settle());
        EXPECT_EQ(StoredNoDirectSound(), directSound ? 0u : 1u) << "stored with the window open";
        CaptureDevice* capture = run.Dialog().Capture();
        ASSERT_NE(capture, nullptr);
        EXPECT_EQ(dynamic_cast<DirectSoundCapture*>(capture) != nullptr, directSound);
        EXPECT_EQ(capture->DeviceName(), card);
        EXPECT_FALSE(capture->HasEnded()) << directSound;
    }
    EXPECT_EQ(run.Dialog().CurrentSettings().sourceName, card);
    EXPECT_EQ(run.Text(IDC_MAIN_SOUND_CARD), card);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(OptionsFlow, AnUnconvertibleFormatIsRefusedAndCancelKeepsTheOldOne) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    const DWORD thread = ThreadOf(run.Window());
    const std::string label = run.Text(IDC_MAIN_FORMAT);
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);

    // Wine's chooser lists Microsoft ADPCM, but its codec refuses every conversion to it.
    Click(options, IDC_OPTIONS_CHANGE_FORMAT);
    HWND chooser = FindThreadDialog(thread, kChooserFormats, "ComboBox", {run.Window(), options});
    ASSERT_NE(chooser, nullptr) << "no format chooser";
    ASSERT_TRUE(ChooseInChooser(chooser, "Microsoft ADPCM", "44100 Hz"));
    const std::string chosen = WindowText(GetDlgItem(options, IDC_OPTIONS_FORMAT));
    EXPECT_NE(chosen.find("Microsoft ADPCM"), std::string::npos) << chosen;
    Click(options, IDOK);

    HWND sorry = app_test::WaitForThreadWindow(run.Window(), "Sorry", 10000);
    ASSERT_NE(sorry, nullptr) << "no conversion message";
    EXPECT_EQ(WindowText(GetDlgItem(sorry, 0xFFFF)), "Can't convert...");
    Click(sorry, IDOK);

    // The dialog again, on the rejected choice.
    HWND again = FindThreadDialog(thread, IDC_OPTIONS_LANGUAGE, "ComboBox", {run.Window()});
    ASSERT_NE(again, nullptr) << "the Options dialog did not come back";
    EXPECT_EQ(WindowText(GetDlgItem(again, IDC_OPTIONS_FORMAT)), chosen);
    Click(again, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(again); }, 5000));
    ASSERT_TRUE(run.Settle());

    EXPECT_TRUE(IsPcm44100(run.Dialog().CurrentSettings().outputFormat.Get()));
    EXPECT_EQ(run.Text(IDC_MAIN_FORMAT), label);
    // Capture runs again (with the format still named), not stopped by the test.
    ASSERT_NE(run.Dialog().Capture(), nullptr);
    EXPECT_EQ(run.Dialog().Capture()->stopping, 0);
    EXPECT_FALSE(run.Dialog().Capture()->HasEnded());
    EXPECT_EQ(run.Close(), kMainDialogClosed);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE stored[64] = {};
    DWORD size = sizeof stored;
    EXPECT_EQ(RegQueryValueExA(key, "OutputFormat", nullptr, nullptr, stored, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(size, 18u);
    EXPECT_TRUE(IsPcm44100(reinterpret_cast<const WAVEFORMATEX*>(stored)));
}

// The engine does not let go of its chain in time: the user is told, and no format is tried.
TEST_F(OptionsFlow, AFormatTheEngineCannotMakeRoomForIsReportedAndNotTried) {
    MainDialogApi api;
    api.recorder.engine.waitForMultipleObjects = &HeldWorker::Wait;
    api.recorder.handOverLimit = 300;
    MainWindowRun run({}, api);
    HeldWorker worker;  // let go before the window closes, however the test ends
    ASSERT_TRUE(run.WaitOpen());
    const std::string label = run.Text(IDC_MAIN_FORMAT);
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    Click(options, IDC_OPTIONS_CHANGE_FORMAT);
    HWND chooser =
        FindThreadDialog(ThreadOf(run.Window()), kChooserFormats, "ComboBox", {run.Window(), options});
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(ChooseInChooser(chooser, "IMA ADPCM"));
    ASSERT_TRUE(worker.Hold());
    Click(options, IDOK);
    HWND sorry = app_test::WaitForThreadWindow(run.Window(), "Sorry", 10000);
    ASSERT_NE(sorry, nullptr) << "no message, and " << run.Text(IDC_MAIN_FORMAT);
    EXPECT_EQ(WindowText(GetDlgItem(sorry, 0xFFFF)), kEngineBusyText);
    Click(sorry, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(sorry); }, 5000));
    worker.Release();
    ASSERT_TRUE(run.Settle());
    EXPECT_TRUE(IsPcm44100(run.Dialog().CurrentSettings().outputFormat.Get()));
    EXPECT_EQ(run.Text(IDC_MAIN_FORMAT), label);
    ASSERT_NE(run.Dialog().Capture(), nullptr) << "capture runs again";
    EXPECT_FALSE(run.Dialog().Capture()->HasEnded());
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(OptionsFlow, AConvertibleFormatIsTakenAndNamed) {
    MainWindowRun run;
    ASSERT_TRUE(run.WaitOpen());
    const DWORD thread = ThreadOf(run.Window());
    CaptureDevice* capture = run.Dialog().Capture();
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    Click(options, IDC_OPTIONS_CHANGE_FORMAT);
    HWND chooser = FindThreadDialog(thread, kChooserFormats, "ComboBox", {run.Window(), options});
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(ChooseInChooser(chooser, "IMA ADPCM"));
    Click(options, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 10000));
    ASSERT_TRUE(run.Settle());

    const WAVEFORMATEX* format = run.Dialog().CurrentSettings().outputFormat.Get();
    EXPECT_EQ(format->wFormatTag, 0x0011);
    EXPECT_NE(run.Text(IDC_MAIN_FORMAT).find("IMA ADPCM"), std::string::npos) << run.Text(IDC_MAIN_FORMAT);
    EXPECT_NE(run.Dialog().Capture(), capture) << "capture restarted with the new chain";
    EXPECT_EQ(run.Dialog().Capture()->stopping, 0);
    EXPECT_EQ(run.Close(), kMainDialogClosed);
}

TEST_F(OptionsFlow, ANewLanguageEndsTheWindowWithTwoAndStoresIt) {
    MainWindowRun run([](MainDialog& dialog) { dialog.CurrentSettings().prefix = "kept"; });
    ASSERT_TRUE(run.WaitOpen());
    HWND options = OpenOptions(run);
    ASSERT_NE(options, nullptr);
    SendDlgItemMessageA(options, IDC_OPTIONS_LANGUAGE, CB_SETCURSEL, 2, 0);  // Dutch
    SendDlgItemMessageA(options, IDC_OPTIONS_LIVE_MODE, BM_SETCHECK, BST_CHECKED, 0);
    Click(options, IDOK);
    EXPECT_EQ(run.WaitEnd(), kMainDialogNewLanguage);
    EXPECT_EQ(run.Dialog().Engine(), nullptr) << "shut down before the window ended";
    // Live mode chosen together with a language is not applied.
    EXPECT_EQ(run.Dialog().CurrentSettings().liveMode, 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD language = 0;
    DWORD size = sizeof language;
    EXPECT_EQ(RegQueryValueExA(key, "Language", nullptr, nullptr, reinterpret_cast<BYTE*>(&language), &size),
              ERROR_SUCCESS);
    char prefix[32] = {};
    size = sizeof prefix;
    EXPECT_EQ(RegQueryValueExA(key, "prefix", nullptr, nullptr, reinterpret_cast<BYTE*>(prefix), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(language, 0x13u);
    EXPECT_STREQ(prefix, "kept");
}

// The Options dialog alone, on a main-window object whose window is not open.
class OptionsAlone : public Commands {
protected:
    // Runs `options` on a thread of its own until the test ends it; returns its window.
    HWND Run(OptionsDialog& options) {
        thread_ = std::thread([&] { result_ = RunLanguageDialog(IDD_OPTIONS, nullptr, options); });
        HWND window = nullptr;
        WaitFor([&] { return (window = options.Window()) != nullptr && IsWindowVisible(window); }, 10000);
        return window;
    }
    INT_PTR Finish() {
        if (thread_.joinable()) thread_.join();
        return result_;
    }
    void TearDown() override {
        if (thread_.joinable()) thread_.join();
    }
    std::thread thread_;
    INT_PTR result_ = -2;
};

TEST_F(OptionsAlone, DirectSoundWithoutCaptureIsHiddenAndTurnedOffEvenOnCancel) {
    MainDialog main;
    main.CurrentSettings().useDirectSound = 1;
    OptionsDialog options(main.CurrentSettings(), {}, main.HelpSource(),
                          DirectSoundSupport::kNoCaptureEntry);
    HWND window = Run(options);
    ASSERT_NE(window, nullptr);
    HWND box = GetDlgItem(window, IDC_OPTIONS_DIRECTSOUND);
    EXPECT_FALSE(IsWindowVisible(box));
    EXPECT_FALSE(IsWindowEnabled(box));
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    Click(window, IDCANCEL);
    EXPECT_EQ(Finish(), IDCANCEL);
    EXPECT_TRUE(options.Choice().directSoundRuledOut);
}

TEST_F(OptionsAlone, AMissingLibraryLeavesTheChoiceAlone) {
    MainDialog main;
    main.CurrentSettings().useDirectSound = 1;
    OptionsDialog options(main.CurrentSettings(), {}, main.HelpSource(),
                          DirectSoundSupport::kNoLibrary);
    HWND window = Run(options);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, IDC_OPTIONS_DIRECTSOUND)));
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_OPTIONS_DIRECTSOUND, BM_GETCHECK, 0, 0), BST_CHECKED);
    Click(window, IDOK);
    EXPECT_EQ(Finish(), IDOK);
    EXPECT_EQ(options.Choice().directSound, 1u);
    EXPECT_FALSE(options.Choice().directSoundRuledOut);
}

TEST_F(OptionsAlone, OkReadsEveryChoiceAndANamedFormatShowsItsName) {
    MainDialog main;
    main.CurrentSettings().outputName = "My format";
    main.CurrentSettings().sourceName = "no such card";
    OptionsDialog options(main.CurrentSettings(), {"Card A", "Card B"}, main.HelpSource(),
                          DirectSoundSupport::kAvailable);
    HWND window = Run(options);
    ASSERT_NE(window, nullptr);
    const std::string format = WindowText(GetDlgItem(window, IDC_OPTIONS_FORMAT));
    EXPECT_EQ(format.rfind("My format\n", 0), 0u) << format;
    SendDlgItemMessageA(window, IDC_OPTIONS_LANGUAGE, CB_SETCURSEL, 7, 0);
    SendDlgItemMessageA(window, IDC_OPTIONS_MODE78, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(window, IDC_OPTIONS_LIVE_MODE, BM_SETCHECK, BST_CHECKED, 0);
    // WAV: back to PCM without a name.
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_WAV, BN_CLICKED), 0);
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_OPTIONS_FORMAT)).rfind("\n", 0), 0u);
    Click(window, IDOK);
    EXPECT_EQ(Finish(), IDOK);
    EXPECT_EQ(options.Choice().language, LANG_FRENCH);
    EXPECT_EQ(options.Choice().mode78, 1u);
    EXPECT_EQ(options.Choice().liveMode, 1u);
    EXPECT_EQ(options.Choice().soundCard, "Card A") << "an unknown card selects the first";
    EXPECT_STREQ(options.FormatName(), "");
    EXPECT_TRUE(IsPcm44100(options.Format()));
    // The main window's values are copies: untouched.
    EXPECT_EQ(main.CurrentSettings().outputName, "My format");
}

TEST_F(OptionsAlone, TheDutchInterfaceGetsATemplateFromAnotherLanguage) {
    UiLanguage = LANG_DUTCH;
    MainDialog main;
    OptionsDialog options(main.CurrentSettings(), {}, main.HelpSource(),
                          DirectSoundSupport::kAvailable);
    HWND window = Run(options);
    ASSERT_NE(window, nullptr) << "no Options template found for Dutch";
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_OPTIONS_LANGUAGE, CB_GETCURSEL, 0, 0), 2);
    Click(window, IDCANCEL);
    EXPECT_EQ(Finish(), IDCANCEL);
}

}  // namespace
