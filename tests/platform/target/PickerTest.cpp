// The snapshot picker over a running chat window: real overlay, real clicks through XTest,
// real window lookups, compared with what xwininfo reports.

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>

#include "ImsimClient.h"
#include "platform/SystemScreen.h"
#include "platform/VirtualKey.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtEventLoop.h"
#include "support/Finish.h"
#include "support/Shell.h"
#include "target/Injector.h"
#include "target/SnapShotPick.h"
#include "target/qt/frmSnapShot.h"

// Xlib last: its macros clash with names in Qt's headers.
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velmora::target {
namespace {

using platform::Rect;
using platform::WinHandle;
namespace vk = platform::vk;

// The window's rectangle by xwininfo: absolute upper-left corner and size.
std::optional<Rect> XwininfoRect(long window) {
    std::string out = Shell("xwininfo -id " + std::to_string(window));
    auto field = [&](const char* name) -> std::optional<int> {
        std::smatch m;
        if (!std::regex_search(out, m, std::regex(std::string(name) + R"(:\s+(-?\d+))")))
            return std::nullopt;
        return std::stoi(m[1]);
    };
    auto x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
    auto w = field("Width"), h = field("Height");
    if (!x || !y || !w || !h) return std::nullopt;
    return Rect{*x, *y, *x + *w, *y + *h};
}

class PickerTest : public ::testing::Test {
  protected:
    PickerTest() : screen(clipboard) {}

    static void SetUpTestSuite() {
        std::string binary = std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
        chat = new imsim::ImsimProcess(binary,
                                       "/tmp/velmora-picker-" + std::to_string(getpid()) + ".sock",
                                       {"--geometry", "600x500+300+150"});
        ASSERT_TRUE(chat->WaitReady());
    }
    static void TearDownTestSuite() {
        delete chat;
        chat = nullptr;
    }

    void SetUp() override {
        // Settled geometry: the window manager has placed the window.
        for (int i = 0; i < 100; ++i) {
            geometry = chat->client().Geometry().value_or(imsim::ImsimGeometry{});
            if (geometry.input.window && XwininfoRect(geometry.input.window) &&
                XwininfoRect(geometry.input.window)->left == geometry.input.x)
                break;
            loop.Wait(50);
        }
        platform::test::Finish(
            loop, windows.SetForegroundWindow(static_cast<WinHandle>(geometry.window)));
        loop.Wait(200);
    }

    // Kept from pick to pick, with its fields, as the program keeps it.
    frmSnapShot overlay;

    platform::Platform Bundle() {
        return platform::Platform{.input = input,
                                  .windows = windows,
                                  .clipboard = clipboard,
                                  .screen = screen,
                                  .http = fakes.http,
                                  .regex = fakes.regex,
                                  .codePage = fakes.codePage,
                                  .clock = fakes.clock,
                                  .loop = loop,
                                  .keyStore = fakes.keyStore,
                                  .processorId = fakes.processorId,
                                  .process = fakes.process,
                                  .messageBox = fakes.messageBox,
                                  .accessibility = fakes.accessibility};
    }

    // Runs a pick; once the overlay is up, `act` plays the user. Returns whether the overlay
    // covered the point it acted at.
    bool Pick(TargetPoint& target, int x, int y, const std::function<void()>& act) {
        bool covered = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!overlay.window() || !overlay.window()->isVisible()) return;
            WinHandle id = overlay.WindowId();
            if (windows.WindowFromPoint({x, y}) != id) return;
            poll.stop();
            covered = true;
            input.MoveCursor(x, y);
            loop.Wait(50);
            act();
        });
        poll.start();
        // A pick that never gets its input must fail the test, not hang it.
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, [this] {
            if (overlay.window()) overlay.window()->close();
        });
        deadline.start(8000);
        auto p = Bundle();
        RunPick(p, overlay, target);
        poll.stop();
        return covered;
    }

    void Button(unsigned button) {
        XTestFakeButtonEvent(display.get(), button, True, CurrentTime);
        XTestFakeButtonEvent(display.get(), button, False, CurrentTime);
        XFlush(display.get());
    }
    void Key(KeySym sym, KeySym modifier = NoSymbol) {
        KeyCode mod = modifier ? XKeysymToKeycode(display.get(), modifier) : 0;
        KeyCode kc = XKeysymToKeycode(display.get(), sym);
        if (mod) XTestFakeKeyEvent(display.get(), mod, True, CurrentTime);
        XTestFakeKeyEvent(display.get(), kc, True, CurrentTime);
        XTestFakeKeyEvent(display.get(), kc, False, CurrentTime);
        if (mod) XTestFakeKeyEvent(display.get(), mod, False, CurrentTime);
        XFlush(display.get());
    }

    // What every pick of a control must give.
    void ExpectPicked(const TargetPoint& t, const imsim::ControlRect& control, int x, int y) {
        EXPECT_NE(t.WinHwnd, 0);
        EXPECT_EQ(t.WinHwnd, control.window);
        auto r = XwininfoRect(t.WinHwnd);
        ASSERT_TRUE(r);
        EXPECT_EQ((Rect{t.WinLeft, t.WinTop, t.WinRight, t.WinButtom}), *r);
        EXPECT_EQ(t.ScreenCursorX, x);
        EXPECT_EQ(t.ScreenCursorY, y);
        // The client point maps back onto the clicked screen point.
        EXPECT_EQ(t.ClientCursorX + r->left, x);
        EXPECT_EQ(t.ClientCursorY + r->top, y);
    }

    static imsim::ImsimProcess* chat;
    imsim::ImsimGeometry geometry;
    platform::fake::FakePlatform fakes;
    platform::qt::QtEventLoop loop;
    platform::SystemClipboard clipboard{loop};
    platform::SystemScreen screen;
    platform::x11::XDisplay display;
    platform::SystemInput input{std::make_unique<platform::SystemInput::State>(display)};
    platform::x11::X11Windows windows{display, loop};
};
imsim::ImsimProcess* PickerTest::chat = nullptr;

TEST_F(PickerTest, PicksEachControlOfTheChatWindow) {
    struct Case {
        const char* name;
        imsim::ControlRect imsim::ImsimGeometry::*control;
    };
    const Case cases[] = {{"input", &imsim::ImsimGeometry::input},
                          {"history", &imsim::ImsimGeometry::history},
                          {"send", &imsim::ImsimGeometry::send}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& control = geometry.*c.control;
        int x = control.x + control.width / 3, y = control.y + control.height / 2;
        TargetPoint target;
        ASSERT_TRUE(Pick(target, x, y, [&] { Button(1); }));
        ExpectPicked(target, control, x, y);
        // Window operations on the picked control act on the chat window that holds it.
        EXPECT_EQ(windows.TopLevelOf(static_cast<Window>(target.WinHwnd)),
                  static_cast<Window>(geometry.window));
    }
    // The overlay is gone and the capture stays on the clipboard, for other programs too.
    EXPECT_FALSE(overlay.window());
    platform::Bitmap shot = clipboard.Image();
    Rect v = screen.VirtualScreen();
    EXPECT_EQ(shot.width, v.right - v.left);
    EXPECT_EQ(shot.height, v.bottom - v.top);
    // We own the clipboard now, so xclip's request must be served while it runs.
    QProcess xclip;
    QObject::connect(&xclip, &QProcess::finished, [this] { loop.Wake(); });
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", "TARGETS"});
    loop.WaitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 5000);
    EXPECT_TRUE(xclip.readAllStandardOutput().contains("image/png"));
}

TEST_F(PickerTest, RightButtonPicksToo) {
    const auto& control = geometry.input;
    int x = control.x + 10, y = control.y + 10;
    TargetPoint target;
    ASSERT_TRUE(Pick(target, x, y, [&] { Button(3); }));
    ExpectPicked(target, control, x, y);
}

TEST_F(PickerTest, ClosingWithoutClickLeavesTheTargetAndKeepsTheLastFields) {
    // A pick for another target first, so the overlay holds values.
    TargetPoint returnArea;
    const auto& history = geometry.history;
    ASSERT_TRUE(Pick(returnArea, history.x + 20, history.y + 20, [&] { Button(1); }));
    ASSERT_EQ(returnArea.WinHwnd, history.window);

    TargetPoint sendButton;
    sendButton.WinHwnd = 4242;
    sendButton.WinLeft = 7;
    const TargetPoint before = sendButton;
    const auto& send = geometry.send;
    ASSERT_TRUE(Pick(sendButton, send.x + 5, send.y + 5, [&] { Key(XK_Escape); }));
    EXPECT_EQ(sendButton, before);
    ASSERT_TRUE(Pick(sendButton, send.x + 5, send.y + 5, [&] { Key(XK_F4, XK_Alt_L); }));
    EXPECT_EQ(sendButton, before);
    EXPECT_EQ(overlay.fields.WinHwnd, history.window);
    EXPECT_EQ(overlay.fields.ScreenCursorX, history.x + 20);
}

// A press on a window of this very program is refused: typing into it would feed the program
// its own output.
TEST_F(PickerTest, APressOnOurOwnWindowLeavesTheTarget) {
    QWidget mine;
    const Rect v = screen.VirtualScreen();
    mine.setGeometry(v.right - 260, v.top + 40, 240, 160);
    mine.show();
    const int x = v.right - 140, y = v.top + 120;
    const auto ours = static_cast<WinHandle>(mine.winId());
    ASSERT_TRUE(loop.WaitUntil(
        [&] {
            return windows.IsInside(windows.WindowFromPoint({x, y}), ours);
        },
        5000));
    EXPECT_TRUE(windows.IsOwnWindow(ours));
    EXPECT_FALSE(windows.IsOwnWindow(static_cast<WinHandle>(geometry.window)));
    TargetPoint target;
    target.WinHwnd = 4242;
    const TargetPoint before = target;
    ASSERT_TRUE(Pick(target, x, y, [&] { Button(1); }));
    EXPECT_EQ(target, before);
    EXPECT_TRUE(windows.IsInside(overlay.fields.WinHwnd, ours));
}

TEST_F(PickerTest, OverlayCoversTheWholeScreen) {
    Rect v = screen.VirtualScreen();
    TargetPoint target;
    // A corner far from the chat window is covered as well; picking there gives the desktop.
    ASSERT_TRUE(Pick(target, v.right - 3, v.top + 2, [&] { Button(1); }));
    EXPECT_EQ(target.ScreenCursorX, v.right - 3);
    EXPECT_NE(target.WinHwnd, static_cast<WinHandle>(geometry.window));
}

// The relay's two injected sequences with our own program on both ends of the clipboard:
// the waits keep our event loop running, so the chat window's paste is served in time.
TEST_F(PickerTest, InjectedPasteAndCopyWithOurOwnClipboard) {
    Injector inject(input, loop);
    const std::u16string text = u"Translated: 你好\r\nline two";
    ASSERT_TRUE(clipboard.SetText(text));
    chat->client().SetInput("leftover");
    ASSERT_TRUE(platform::test::Finish(
        loop, windows.SetForegroundWindow(static_cast<WinHandle>(geometry.input.window))));
    loop.Wait(100);
    // The chat window moves its focus to the clicked box in a round trip of its own.
    inject.ClickAt(geometry.input.x + 20, geometry.input.y + 20, 150);
    inject.PressKeyChord(vk::Letter('A'), vk::Control, 100);
    inject.PressKeyChord(vk::Delete, 1, 100);
    inject.PressKeyChord(vk::Letter('V'), vk::Control, 1);
    inject.PressKeyChord(vk::Return, 0, 100);
    loop.WaitUntil([] { return false; }, 300);
    auto sent = chat->client().Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().text, "Translated: 你好\nline two");

    chat->client().Post("a reply");
    std::string expected = chat->client().History();
    ASSERT_TRUE(platform::test::Finish(
        loop, windows.SetForegroundWindow(static_cast<WinHandle>(geometry.history.window))));
    inject.ClickAt(geometry.history.x + 20, geometry.history.y + 20, 10);
    inject.PressKeyChord(vk::Letter('A'), vk::Control, 100);
    inject.PressKeyChord(vk::Letter('C'), vk::Control, 100);
    auto asText = [](const std::u16string& s) {
        return QString::fromStdU16String(s).toUtf8().toStdString();
    };
    // The clipboard's change wakes the wait; no polling.
    bool got =
        loop.WaitUntil([&] { return asText(clipboard.Text().value_or(u"")) == expected; }, 3000);
    EXPECT_TRUE(got) << asText(clipboard.Text().value_or(u""));
}

}  // namespace
}  // namespace velmora::target

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
