// The stand-in chat window, another Wine process, driven from outside the way the relay drives
// an IM client: clicks and keys through SendInput, text through the clipboard, window queries
// and state changes through the windows backend.

#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "support/Finish.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "platform/VirtualKey.h"
#include "platform/win32/Win32Clipboard.h"
#include "platform/win32/Win32Input.h"
#include "platform/win32/Win32Windows.h"

namespace velmora::platform::win32 {
namespace {

using test::Pump;
using test::PumpFor;
using test::PumpUntil;

// win32chat's control ids and its margin around the controls.
constexpr int kHistoryId = 101;
constexpr int kInputId = 102;
constexpr int kSendId = 103;
constexpr int kMargin = 8;
constexpr Rect kPlaced{140, 110, 140 + 520, 110 + 440};

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The text of another process's window, asked for with a bound.
std::wstring TextOf(HWND h) {
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &n)) return L"?";
    std::wstring text(n + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &got))
        return L"?";
    text.resize(got);
    return text;
}

Point Centre(const Rect& r) {
    return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class Win32ChatDriveTest : public ::testing::Test {
  protected:
    virtual std::wstring ExtraOptions() const { return L""; }
    void SetUp() override {
        static std::atomic<int> counter{0};
        title_ = L"relay chat " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::filesystem::path(temp) / (L"velmora-" + title_);
        std::filesystem::create_directories(dir_);
        log_ = dir_ / L"sent.log";
        std::ofstream(dir_ / L"replies.txt", std::ios::binary)
            << "# the peer's answers\ngot it\n\xE5\xA5\xBD\\nsecond line\n";
        std::wstring cmd = L"\"" + test::WindowsPath(VELMORA_WIN32CHAT) + L"\" --title \"" +
                           title_ + L"\" --geometry " + std::to_wstring(kPlaced.left) + L"," +
                           std::to_wstring(kPlaced.top) + L"," +
                           std::to_wstring(kPlaced.right - kPlaced.left) + L"," +
                           std::to_wstring(kPlaced.bottom - kPlaced.top) + L" --replies \"" +
                           (dir_ / L"replies.txt").wstring() + L"\" --reply-delay 200 --log \"" +
                           log_.wstring() + L"\" " + ExtraOptions();
        chat_ = std::make_unique<test::Process>(cmd);
        ASSERT_TRUE(chat_->started());
        // Bounded: a window that never appears fails the test instead of hanging it.
        ASSERT_TRUE(PumpUntil(
            [&] {
                window_ = FindWindowW(L"Win32ChatWindow", title_.c_str());
                return window_ && IsWindowVisible(window_);
            },
            20000))
            << "the chat window did not appear";
        history_ = GetDlgItem(window_, kHistoryId);
        input_ = GetDlgItem(window_, kInputId);
        send_ = GetDlgItem(window_, kSendId);
        ASSERT_TRUE(history_ && input_ && send_);
        ASSERT_TRUE(platform::test::Finish(loop, windows_.SetForegroundWindow(ToHandle(window_))));
    }
    void TearDown() override {
        chat_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        EXPECT_FALSE(input.AnyKeyDown());
    }

    void Click(HWND control) {
        auto r = windows_.GetWindowRect(ToHandle(control));
        ASSERT_TRUE(r);
        const Point p = Centre(*r);
        input.MoveCursor(p.x, p.y);
        EXPECT_EQ(input.CursorPos(), p);
        input.LeftDown();
        input.LeftUp();
    }
    void Tap(std::uint8_t key, std::uint8_t modifier = 0) {
        if (modifier) input.KeyDown(modifier);
        input.KeyDown(key);
        input.KeyUp(key);
        if (modifier) input.KeyUp(modifier);
    }
    bool InputBecomes(const std::wstring& text) {
        return PumpUntil([&] { return TextOf(input_) == text; }, 3000);
    }
    HWND FocusOfChat() {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info);
        return info.hwndFocus;
    }

    test::PumpLoop loop;
    SystemInput input{std::make_unique<SystemInput::State>()};
    Win32Windows windows_{loop};
    SystemClipboard clipboard{loop};
    std::wstring title_;
    std::filesystem::path dir_, log_;
    std::unique_ptr<test::Process> chat_;
    HWND window_ = nullptr, history_ = nullptr, input_ = nullptr, send_ = nullptr;
};

TEST_F(Win32ChatDriveTest, ClicksKeysAndPastesEditTheInputAndSendReachesThePeer) {
    // Focus starts elsewhere in the chat, so the click is what brings it to the input.
    Click(history_);
    ASSERT_TRUE(PumpUntil([&] { return FocusOfChat() == history_; }, 3000));
    Click(input_);
    ASSERT_TRUE(PumpUntil([&] { return FocusOfChat() == input_; }, 3000));

    struct Step {
        const char* what;
        std::function<void()> act;
        std::wstring input;  // the input box afterwards
    };
    const std::vector<Step> steps = {
        {"letters",
         [&] {
             Tap(vk::Letter('h'));
             Tap(vk::Letter('i'));
         },
         L"hi"},
        {"shifted letter", [&] { Tap(vk::Letter('x'), vk::Shift); }, L"hiX"},
        {"paste with CJK",
         [&] {
             ASSERT_TRUE(clipboard.SetText(u" 你好 wörld"));
             Tap(vk::Letter('v'), vk::Control);
         },
         L"hiX 你好 wörld"},
        {"select all and delete",
         [&] {
             Tap(vk::Letter('a'), vk::Control);
             Tap(vk::Delete);
         },
         L""},
        {"type after clearing",
         [&] {
             Tap(vk::Letter('o'));
             Tap(vk::Letter('k'));
         },
         L"ok"},
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_TRUE(InputBecomes(s.input))
            << s.what << ": input holds " << TextOf(input_).size() << " chars";
    }

    // Enter sends: the input empties, the message is in the history and the log.
    Tap(vk::Return);
    ASSERT_TRUE(InputBecomes(L""));
    ASSERT_TRUE(PumpUntil([&] { return ReadAll(log_) == "ok\n"; }, 3000)) << ReadAll(log_);
    // The peer answers a moment later, under its own speaker line.
    ASSERT_TRUE(
        PumpUntil([&] { return TextOf(history_).find(L"got it") != std::wstring::npos; }, 3000));
    const std::wregex first(
        LR"(^Me \d\d:\d\d:\d\d\r\n    ok\r\nPeer \d\d:\d\d:\d\d\r\n    got it\r\n$)");
    EXPECT_TRUE(std::regex_match(TextOf(history_), first));

    // A multi-line paste, sent with the button: one log line, the break kept as \n.
    ASSERT_TRUE(clipboard.SetText(u"line one\r\nline 二"));
    Tap(vk::Letter('v'), vk::Control);
    ASSERT_TRUE(InputBecomes(L"line one\r\nline 二"));
    Click(send_);
    ASSERT_TRUE(
        PumpUntil([&] { return ReadAll(log_) == "ok\nline one\\nline \xE4\xBA\x8C\n"; }, 3000))
        << ReadAll(log_);
    EXPECT_TRUE(InputBecomes(L""));
    ASSERT_TRUE(
        PumpUntil([&] { return TextOf(history_).find(L"second") != std::wstring::npos; }, 3000));
    const std::wstring all = TextOf(history_);
    EXPECT_NE(all.find(L"    line one\r\n    line 二\r\nPeer "), std::wstring::npos);
    EXPECT_NE(all.find(L"    好\r\n    second line\r\n"), std::wstring::npos);
    // The send button leaves the focus in the input, so typing goes on there.
    Tap(vk::Letter('z'));
    EXPECT_TRUE(InputBecomes(L"z"));
}

TEST_F(Win32ChatDriveTest, WindowQueriesAgreeWithThePlacedWindow) {
    const WinHandle chat = ToHandle(window_);
    EXPECT_EQ(windows_.GetWindowRect(chat), kPlaced);
    EXPECT_EQ(windows_.FocusedWindow(), chat);
    for (HWND control : {history_, input_, send_}) {
        const WinHandle c = ToHandle(control);
        auto r = windows_.GetWindowRect(c);
        ASSERT_TRUE(r);
        EXPECT_GT(r->left, kPlaced.left);
        EXPECT_LT(r->right, kPlaced.right);
        EXPECT_EQ(windows_.WindowFromPoint(Centre(*r)), c);
        EXPECT_TRUE(windows_.IsInside(c, chat));
        EXPECT_FALSE(windows_.IsInside(chat, c));
        EXPECT_TRUE(windows_.IsWindow(c));
    }
    EXPECT_FALSE(windows_.IsInside(ToHandle(input_), ToHandle(history_)));
    // The history sits at the margin of the chat's client area; the button has no border, so
    // its own corner is its client origin.
    auto history = windows_.GetWindowRect(ToHandle(history_));
    EXPECT_EQ(windows_.ScreenToClient(chat, {history->left, history->top}),
              (Point{kMargin, kMargin}));
    auto send = windows_.GetWindowRect(ToHandle(send_));
    EXPECT_EQ(windows_.ScreenToClient(ToHandle(send_), {send->left + 5, send->top + 7}),
              (Point{5, 7}));
    // Outside every window of ours: not the chat.
    EXPECT_FALSE(windows_.IsInside(windows_.WindowFromPoint({kPlaced.right + 40, 20}), chat));

    // Handles of no window: nothing, and no crash.
    chat_->Kill();
    ASSERT_TRUE(PumpUntil([&] { return !windows_.IsWindow(chat); }, 5000));
    EXPECT_EQ(windows_.GetWindowRect(chat), std::nullopt);
    EXPECT_EQ(windows_.ScreenToClient(chat, {1, 1}), std::nullopt);
    EXPECT_FALSE(platform::test::Finish(loop, windows_.SetForegroundWindow(chat)));
    EXPECT_FALSE(windows_.IsIconic(chat));
    EXPECT_FALSE(windows_.IsInside(ToHandle(input_), chat));
    platform::test::Finish(loop, windows_.SetTopmost(chat, true, kPlaced));
    platform::test::Finish(loop, windows_.ShowWindow(chat, ShowCommand::Restore));
    EXPECT_FALSE(windows_.IsWindow(0));
    EXPECT_EQ(windows_.GetWindowRect(0), std::nullopt);
}

class Win32CtrlEnterChatTest : public Win32ChatDriveTest {
  protected:
    std::wstring ExtraOptions() const override { return L"--send-key ctrl-enter"; }
};

TEST_F(Win32CtrlEnterChatTest, EnterBreaksTheLineAndCtrlEnterSends) {
    Click(input_);
    ASSERT_TRUE(PumpUntil([&] { return FocusOfChat() == input_; }, 3000));
    ASSERT_TRUE(clipboard.SetText(u"c:\\dir"));
    Tap(vk::Letter('v'), vk::Control);
    Tap(vk::Return);
    Tap(vk::Letter('x'));
    ASSERT_TRUE(InputBecomes(L"c:\\dir\r\nx"));
    EXPECT_EQ(ReadAll(log_), "");
    Tap(vk::Return, vk::Control);
    ASSERT_TRUE(InputBecomes(L""));
    // Backslashes doubled, so the \n of the line break stays apart from the text's own.
    EXPECT_TRUE(PumpUntil([&] { return ReadAll(log_) == "c:\\\\dir\\nx\n"; }, 3000))
        << ReadAll(log_);
}

bool IsTopmost(HWND h) {
    return (GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

TEST_F(Win32ChatDriveTest, TopmostGoesOnAndOffAtTheGivenRectangle) {
    const WinHandle chat = ToHandle(window_);
    const Rect at{260, 180, 260 + 480, 180 + 400};
    platform::test::Finish(loop, windows_.SetTopmost(chat, true, at));
    EXPECT_TRUE(PumpUntil([&] { return IsTopmost(window_); }, 2000));
    EXPECT_EQ(windows_.GetWindowRect(chat), at);

    const Rect back{120, 90, 120 + 500, 90 + 420};
    platform::test::Finish(loop, windows_.SetTopmost(chat, false, back));
    EXPECT_TRUE(PumpUntil([&] { return !IsTopmost(window_); }, 2000));
    EXPECT_EQ(windows_.GetWindowRect(chat), back);

    // A control: the whole window moves so that the control lands at the corner, sizes kept.
    auto inputBefore = windows_.GetWindowRect(ToHandle(input_));
    ASSERT_TRUE(inputBefore);
    const Rect target{300, 400, 300 + 10, 400 + 10};
    platform::test::Finish(loop, windows_.SetTopmost(ToHandle(input_), true, target));
    EXPECT_TRUE(PumpUntil([&] { return IsTopmost(window_); }, 2000));
    auto inputAfter = windows_.GetWindowRect(ToHandle(input_));
    ASSERT_TRUE(inputAfter);
    EXPECT_EQ(inputAfter->left, target.left);
    EXPECT_EQ(inputAfter->top, target.top);
    EXPECT_EQ(inputAfter->right - inputAfter->left, inputBefore->right - inputBefore->left);

    // A rectangle of zeros changes the layer only.
    auto placed = windows_.GetWindowRect(chat);
    platform::test::Finish(loop, windows_.SetTopmost(chat, false, Rect{}));
    EXPECT_TRUE(PumpUntil([&] { return !IsTopmost(window_); }, 2000));
    EXPECT_EQ(windows_.GetWindowRect(chat), placed);
}

TEST_F(Win32ChatDriveTest, MinimiseAndRestoreAreSeenByIsIconic) {
    const WinHandle chat = ToHandle(window_);
    EXPECT_FALSE(windows_.IsIconic(chat));
    // Through a control, as a pick yields one: the state is the window's.
    platform::test::Finish(loop, windows_.ShowWindow(ToHandle(input_), ShowCommand::Minimize));
    // Under an X window manager the state changes when the manager has done it.
    EXPECT_TRUE(PumpUntil([&] { return IsIconic(window_) != FALSE; }, 2000));
    EXPECT_TRUE(windows_.IsIconic(chat));
    EXPECT_TRUE(windows_.IsIconic(ToHandle(input_)));

    platform::test::Finish(loop, windows_.ShowWindow(chat, ShowCommand::Restore));
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(window_); }, 2000));
    EXPECT_FALSE(windows_.IsIconic(chat));
    EXPECT_EQ(windows_.GetWindowRect(chat), kPlaced);
    // Back in use: it can be brought forward and typed into again.
    EXPECT_TRUE(platform::test::Finish(loop, windows_.SetForegroundWindow(chat)));
    Click(input_);
    Tap(vk::Letter('q'));
    EXPECT_TRUE(InputBecomes(L"q"));
}

}  // namespace
}  // namespace velmora::platform::win32
