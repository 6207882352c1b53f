// A send through the real X11 backends, clipboard and event loop: it types into the picked
// window or into nothing. Another program's chat window, holding a draft and the focus, must
// never receive a key.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ImsimClient.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtEventLoop.h"
#include "relay/OutgoingFlow.h"
#include "relay/TargetCheck.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/XInputWindow.h"
#include "unit/relay/RelayTestSupport.h"

// Xlib last: its None macro would clash with names in the ports.
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"
#include "support/ImsimPlaced.h"

namespace velmora::relay {
namespace {

// How long the chat window may take to paste and send once our keys are in: its own clipboard
// request may wait up to 5 s for the owner, and a sanitized build on a loaded desktop is slow.
constexpr int kChatAnswersMs = 15000;

using platform::WinHandle;

std::string Imsim() {
    return std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
}

constexpr char kDraft[] = "my own draft, 我的草稿";

std::string Flat(std::string lines) {
    std::replace(lines.begin(), lines.end(), '\n', ' ');
    return lines;
}

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "platform_relay_guard";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

class InjectionGuardTest : public ::testing::Test {
  public:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr);
        socket_ = "/tmp/velmora-guard-" + std::to_string(getpid()) + ".sock";
        // The bystander: a chat window of another conversation, with a draft and the focus.
        std::vector<std::string> args{"--geometry", "560x460+200+120", "--me",
                                      "Wang",       "--peer",          "Anna"};
        args.insert(args.end(), bystanderArgs_.begin(), bystanderArgs_.end());
        bystander_ = std::make_unique<imsim::ImsimProcess>(Imsim(), socket_, args);
        ASSERT_TRUE(bystander_->WaitReady());
        ASSERT_TRUE(PollUntil([&] {
            auto g = bystander_->client().Geometry();
            if (g && g->input.x > 200 && windows.GetWindowRect(static_cast<WinHandle>(g->window)) &&
                PlacedAsReported(display.get(), *g))
                geometry_ = *g;
            return geometry_.window != 0;
        }));
        ASSERT_TRUE(bystander_->client().SetInput(kDraft));
    }
    void TearDown() override {
        if (bystander_) bystander_->client().Quit();
    }

    // The picked targets: the input box and send button points of the bystander's layout,
    // in the window `picked`, whose rectangle is `rect`.
    void Pick(Window picked, const platform::Rect& rect) {
        auto target = [&](const imsim::ControlRect& c) {
            const int x = c.x + c.width / 2;
            const int y = c.y + c.height / 2;
            return target::TargetPoint{static_cast<std::int32_t>(picked),
                                       x,
                                       y,
                                       x - rect.left,
                                       y - rect.top,
                                       rect.top,
                                       rect.left,
                                       rect.right,
                                       rect.bottom};
        };
        state.InputAreaTarget = target(geometry_.input);
        state.SendButtonTarget = target(geometry_.send);
    }
    platform::Rect BystanderRect() {
        return windows.GetWindowRect(static_cast<WinHandle>(geometry_.window)).value();
    }
    void FocusBystander() {
        ASSERT_TRUE(platform::test::Finish(
            loop, windows.SetForegroundWindow(static_cast<WinHandle>(geometry_.window))));
    }
    void ExpectBystanderUntouched() {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(bystander_->client().Input(), kDraft);
        EXPECT_TRUE(bystander_->client().Sent().empty());
    }
    // The user sends; returns once the send has ended.
    void Send() {
        view.sendText = u"hello";
        flow.Send();
        ASSERT_TRUE(loop.WaitUntil([&] { return !scheduler.Busy(); }, 30'000));
    }
    // The chat window sent exactly the translation, once; no key is left down.
    void ExpectSentOnceAsIs() {
        // The loop turns meanwhile: a chat window still pasting is served our clipboard.
        ASSERT_TRUE(
            loop.WaitUntil([&] { return !bystander_->client().Sent().empty(); }, kChatAnswersMs))
            << "the chat window's input box holds '" << bystander_->client().Input() << "'; tip '"
            << testing::Narrow(view.tip) << "'; a key down: " << input.AnyKeyDown() << "; "
            << Flat(bystander_->client().Request("stats").value_or("?"));
        const auto sent = bystander_->client().Sent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].text, "[en]hello");
        EXPECT_TRUE(view.tip.empty()) << testing::Narrow(view.tip);
        EXPECT_FALSE(input.AnyKeyDown());
    }

    QGuiApplication& app = App();
    platform::x11::XDisplay display;
    platform::SystemInput input{std::make_unique<platform::SystemInput::State>(display)};
    platform::qt::QtEventLoop loop;
    platform::x11::X11Windows windows{display, loop};
    // The chat window pastes from our clipboard, whose reads the flow watches.
    platform::SystemClipboard clipboard{loop};
    platform::fake::FakePlatform fp;
    platform::Platform p{.input = input,
                         .windows = windows,
                         .clipboard = clipboard,
                         .screen = fp.screen,
                         .http = fp.http,
                         .regex = fp.regex,
                         .codePage = fp.codePage,
                         .clock = fp.clock,
                         .loop = loop,
                         .keyStore = fp.keyStore,
                         .processorId = fp.processorId,
                         .process = fp.process,
                         .messageBox = fp.messageBox,
                         .accessibility = fp.accessibility};
    RelayState state;
    testing::FakeView view{fp, state};
    fake::RecordingResultBox box;
    testing::FakeTranslate translate;
    mduSendBuffer buffer{fp.regex, translate};
    RelayScheduler scheduler{loop};
    OutgoingFlow flow{
        p, view, box, state, buffer, translate, translate::clsGoogleLanguages::Shared(), scheduler};

    std::vector<std::string> bystanderArgs_;
    std::string socket_;
    std::unique_ptr<imsim::ImsimProcess> bystander_;
    imsim::ImsimGeometry geometry_;
};

TEST_F(InjectionGuardTest, APickedWindowThatIsThereGetsTheClickAndTheKeys) {
    const platform::Rect r = BystanderRect();
    XInputWindow picked(r.left, r.top, r.right - r.left, r.bottom - r.top);
    Pick(picked.id(), r);
    FocusBystander();
    Send();
    EXPECT_GE(picked.InputEvents(), 5);  // click, Ctrl, A, Delete, V
    // It never asks for the paste, so its send button is not clicked and the text stays.
    EXPECT_EQ(view.tip, kSendPasteNotTaken);
    EXPECT_EQ(view.sendText, u"hello");
    ExpectBystanderUntouched();
}

TEST_F(InjectionGuardTest, AnAltStillHeldFromTheSendShortcutIsWaitedOut) {
    // The user's Alt+S fired the send and Alt is still down: the injected Ctrl+A would be
    // Ctrl+Alt+A, select nothing, and the chat would send its draft with the translation.
    Pick(static_cast<Window>(geometry_.window), BystanderRect());
    FocusBystander();
    ASSERT_EQ(std::system("xdotool keydown alt"), 0);
    ASSERT_EQ(std::system("(sleep 0.7; xdotool keyup alt) >/dev/null 2>&1 &"), 0);
    Send();
    ExpectSentOnceAsIs();  // not the draft in front of it
}

class LatePasteGuardTest : public InjectionGuardTest {
  public:
    LatePasteGuardTest() { bystanderArgs_ = {"--paste-delay", "1500"}; }
};

TEST_F(LatePasteGuardTest, AChatWindowThatTakesThePasteLateIsSentToOnceItHasIt) {
    // Clicked before it asked for the paste, it would send an empty box and keep the
    // translation unsent while we reported it sent.
    Pick(static_cast<Window>(geometry_.window), BystanderRect());
    FocusBystander();
    Send();
    ExpectSentOnceAsIs();
    EXPECT_EQ(view.sendText, u"");
}

TEST_F(InjectionGuardTest, AHandlerThatBlocksForASecondNeverRunsWhileOurKeyIsDown) {
    // Another handler of the program (the version query, say) blocks for a second whenever it
    // runs: inside a held Ctrl+V the server would repeat the V into the chat window.
    Pick(static_cast<Window>(geometry_.window), BystanderRect());
    FocusBystander();
    int blockedWithAKeyDown = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] {
        if (!input.AnyKeyDown()) return;
        ++blockedWithAKeyDown;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    other.start(5);
    Send();
    other.stop();
    EXPECT_EQ(blockedWithAKeyDown, 0);
    ExpectSentOnceAsIs();  // the translation once, nothing repeated
}

TEST_F(InjectionGuardTest, ClosedChatWindowLeavesTheWindowNowAtItsPointAlone) {
    const platform::Rect r = BystanderRect();
    {
        XInputWindow picked(r.left, r.top, r.right - r.left, r.bottom - r.top);
        Pick(picked.id(), r);
    }  // closed: its points now show the bystander's input box and send button
    FocusBystander();
    Send();
    EXPECT_EQ(view.tip, kTargetLost);
    EXPECT_EQ(view.sendText, u"hello");
    ExpectBystanderUntouched();
}

TEST_F(InjectionGuardTest, AWindowThatGotTheClosedChatWindowsIdGetsNothing) {
    const platform::Rect r = BystanderRect();
    Window id = 0;
    {
        XInputWindow picked(r.left, r.top, r.right - r.left, r.bottom - r.top);
        id = picked.id();
        Pick(id, r);
        windows.Watch(static_cast<WinHandle>(id));  // as a pick does
    }                                               // closed with its connection
    // Another program's windows at the same place, until one has the closed window's id.
    std::vector<std::unique_ptr<XInputWindow>> others;
    while (others.size() < 40 && (others.empty() || others.back()->id() != id))
        others.push_back(
            std::make_unique<XInputWindow>(r.left, r.top, r.right - r.left, r.bottom - r.top));
    ASSERT_EQ(others.back()->id(), id) << "no new window got the chat window's id";
    ASSERT_TRUE(
        platform::test::Finish(loop, windows.SetForegroundWindow(static_cast<WinHandle>(id))));
    Send();
    EXPECT_EQ(view.tip, kTargetLost);
    EXPECT_EQ(view.sendText, u"hello");
    EXPECT_EQ(others.back()->InputEvents(), 0);
}

TEST_F(InjectionGuardTest, WindowOverTheInputPointGetsNothing) {
    const platform::Rect r = BystanderRect();
    XInputWindow picked(r.left, r.top, r.right - r.left, r.bottom - r.top);
    Pick(picked.id(), r);
    const auto& in = state.InputAreaTarget;
    XInputWindow cover(in.ScreenCursorX - 40, in.ScreenCursorY - 20, 80, 40,
                       {.overrideRedirect = true});
    FocusBystander();
    Send();
    // The window manager may restack the topmost chat window over the popup, and then the point
    // rightly shows it; either way nothing may reach the popup or the bystander.
    EXPECT_EQ(cover.InputEvents(), 0);
    if (view.tip == kTargetLost) {
        EXPECT_EQ(picked.InputEvents(0), 0);
    } else {
        EXPECT_GE(picked.InputEvents(0), 5);
        EXPECT_EQ(view.tip, kSendPasteNotTaken);  // it never asks for the paste
    }
    ExpectBystanderUntouched();
}

TEST_F(InjectionGuardTest, WindowThatWillNotTakeTheFocusGetsNothing) {
    const platform::Rect r = BystanderRect();
    XInputWindow picked(r.left, r.top, r.right - r.left, r.bottom - r.top, {.takesFocus = false});
    Pick(picked.id(), r);
    FocusBystander();
    Send();
    EXPECT_EQ(view.tip, kTargetLost);
    EXPECT_EQ(picked.InputEvents(), 0);
    ExpectBystanderUntouched();
}

}  // namespace
}  // namespace velmora::relay
