// The "What's This?" help: the two tables, the pop-up record handed to HTML Help and the
// right-click menu, on real windows and menus.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/context_help.h"

namespace {

// What the stand-in for HtmlHelpA received.
struct HelpCall {
    HWND caller;
    std::string file;
    UINT command;
    HelpPopup popup;
};
std::vector<HelpCall> g_calls;

HWND WINAPI RecordHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
    g_calls.push_back({caller, file, command, *reinterpret_cast<const HelpPopup*>(data)});
    return nullptr;
}

TEST(HelpTables, MainWindowTopicsAndGaps) {
    const int withHelp[] = {1000, 1024, 1001, 1010, 1018, 1017, 1008, 1003, 1009,
                            1002, 1015, 1014, 1011, 1006, 1020, 1012, 1013};
    for (int id : withHelp) EXPECT_EQ(FindHelpTopic(kMainWindowHelp, id), 0x80660000u + id) << id;
    for (int id : {1, 1007, 1016, 1019, 1022, 1004, 2, 0}) {
        EXPECT_EQ(FindHelpTopic(kMainWindowHelp, id), 0u) << id;
    }
    EXPECT_EQ(FindHelpTopic(kMainWindowHelp, 1000), 0x806603E8u);
}

TEST(HelpTables, OptionsTopicsAndGaps) {
    for (int id : {1006, 1017, 1019, 1015, 1016, 1007, 1023, 1021}) {
        EXPECT_EQ(FindHelpTopic(kOptionsHelp, id), 0x80810000u + id) << id;
    }
    for (int id : {1, 2, 1000, 1024}) EXPECT_EQ(FindHelpTopic(kOptionsHelp, id), 0u) << id;
}

// A top-level window with a Start-like button (1000) and a Close-like button (1), made once:
// under a display without a window manager, Wine takes seconds to take a window down.
class HelpWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        parent_ = CreateWindowExA(0, "STATIC", "help test", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        start_ = CreateWindowExA(0, "BUTTON", "&Start", WS_CHILD | WS_VISIBLE, 10, 10, 80, 20, parent_,
                                 reinterpret_cast<HMENU>(1000), GetModuleHandleA(nullptr), nullptr);
        close_ = CreateWindowExA(0, "BUTTON", "&Close", WS_CHILD | WS_VISIBLE, 100, 10, 80, 20, parent_,
                                 reinterpret_cast<HMENU>(1), GetModuleHandleA(nullptr), nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(parent_); }

    void SetUp() override {
        ASSERT_NE(start_, nullptr);
        ShowWindow(start_, SW_SHOWNA);
        g_calls.clear();
        source_.htmlHelp = RecordHelp;
        source_.helpFile = "C:\\work\\grooval.chm";
        source_.whatsThis = "What's This?";
    }

    static HWND parent_;
    static HWND start_;
    static HWND close_;
    ContextHelpSource source_;
};
HWND HelpWindow::parent_ = nullptr;
HWND HelpWindow::start_ = nullptr;
HWND HelpWindow::close_ = nullptr;

TEST_F(HelpWindow, F1ShowsThePopupAtTheControlsCorner) {
    EXPECT_EQ(ShowContextHelp(source_, start_, 0x806603E8, kMainWindowHelp, nullptr), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    const HelpCall& call = g_calls[0];
    EXPECT_EQ(call.caller, start_);
    EXPECT_EQ(call.file, "C:\\work\\grooval.chm");
    EXPECT_EQ(call.command, 14u);
    RECT bounds;
    GetWindowRect(start_, &bounds);
    EXPECT_EQ(call.popup.cbStruct, 52);
    EXPECT_EQ(call.popup.hinst, nullptr);
    EXPECT_EQ(call.popup.idString, 0x806603E8u);
    EXPECT_EQ(call.popup.pszText, nullptr);
    EXPECT_EQ(call.popup.pt.x, bounds.right);
    EXPECT_EQ(call.popup.pt.y, bounds.bottom);
    EXPECT_EQ(call.popup.clrForeground, COLORREF(-1));
    EXPECT_EQ(call.popup.clrBackground, COLORREF(-1));
    EXPECT_EQ(call.popup.rcMargins.left, 5);
    EXPECT_EQ(call.popup.rcMargins.top, 5);
    EXPECT_EQ(call.popup.rcMargins.right, 5);
    EXPECT_EQ(call.popup.rcMargins.bottom, 5);
    EXPECT_STREQ(call.popup.pszFont, "MS Sans Serif, 8");
}

TEST_F(HelpWindow, ControlWithoutEntryIsNotHandled) {
    EXPECT_EQ(ShowContextHelp(source_, close_, 0x80660001, kMainWindowHelp, nullptr), 0);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(HelpWindow, MissingHtmlHelpSwallowsTheRequest) {
    source_.htmlHelp = nullptr;
    EXPECT_EQ(ShowContextHelp(source_, start_, 0x806603E8, kMainWindowHelp, nullptr), 1);
    EXPECT_TRUE(g_calls.empty());
}

// Answers the tracked menu from another thread: records its item count and text, then either
// chooses the first item or dismisses the menu.
class MenuAnswer {
public:
    explicit MenuAnswer(bool choose, HWND owner) {
        worker_ = std::thread([this, choose, owner] {
            const DWORD start = GetTickCount();
            HWND menuWindow = nullptr;
            while (!(menuWindow = FindWindowA("#32768", nullptr)) || !IsWindowVisible(menuWindow)) {
                if (GetTickCount() - start > 10000) return;
                Sleep(10);  // polling for a window another thread creates
            }
            HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, 0x01E1 /*MN_GETHMENU*/, 0, 0));
            items_ = menu ? GetMenuItemCount(menu) : -1;
            if (menu) GetMenuStringA(menu, 0, text_, sizeof text_, MF_BYPOSITION);
            if (choose) {
                PostMessageA(owner, WM_KEYDOWN, VK_DOWN, 0);
                PostMessageA(owner, WM_KEYDOWN, VK_RETURN, 0);
            } else {
                PostMessageA(owner, WM_KEYDOWN, VK_ESCAPE, 0);
            }
        });
    }
    ~MenuAnswer() {
        if (worker_.joinable()) worker_.join();
    }
    int Items() {
        if (worker_.joinable()) worker_.join();
        return items_;
    }
    std::string Text() const { return text_; }

private:
    std::thread worker_;
    std::atomic<int> items_{-2};
    char text_[64] = {};
};

TEST_F(HelpWindow, RightClickMenuChosenShowsThePopup) {
    RECT bounds;
    GetWindowRect(start_, &bounds);
    const POINT at{bounds.left + 5, bounds.top + 5};
    MenuAnswer answer(true, parent_);
    EXPECT_EQ(ShowContextHelp(source_, start_, 0x806603E8, kMainWindowHelp, &at), 1);
    EXPECT_EQ(answer.Items(), 1);
    EXPECT_EQ(answer.Text(), "What's This?");
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].popup.idString, 0x806603E8u);
}

TEST_F(HelpWindow, RightClickMenuDismissedIsNotHandled) {
    RECT bounds;
    GetWindowRect(start_, &bounds);
    const POINT at{bounds.left + 5, bounds.top + 5};
    MenuAnswer answer(false, parent_);
    EXPECT_EQ(ShowContextHelp(source_, start_, 0x806603E8, kMainWindowHelp, &at), 0);
    EXPECT_EQ(answer.Items(), 1);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(HelpWindow, ContextPointFindsTheVisibleChild) {
    RECT bounds;
    GetWindowRect(start_, &bounds);
    const LPARAM at = MAKELPARAM(bounds.left + 3, bounds.top + 3);
    EXPECT_EQ(ChildAtContextPoint(parent_, at), start_);
    ShowWindow(start_, SW_HIDE);
    EXPECT_EQ(ChildAtContextPoint(parent_, at), nullptr);
    RECT own;
    GetWindowRect(parent_, &own);
    EXPECT_EQ(ChildAtContextPoint(parent_, MAKELPARAM(own.right - 2, own.bottom - 2)), nullptr);
}

}  // namespace
