// Translate in place through the real global shortcut: xdotool presses Ctrl+Alt+Y, the grab
// delivers it, and the text typed in the stand-in chat window is replaced through the real
// clipboard and XTest keys.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "ImsimClient.h"
#include "platform/VirtualKey.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtFdWatch.h"
#include "relay/InPlaceFlow.h"
#include "support/Finish.h"

#include "platform/atspi/AtspiAccessibility.h"
#include "support/PollUntil.h"
#include "support/TinyPng.h"
#include "support/XInputWindow.h"
#include "target/Injector.h"
#include "unit/relay/RelayTestSupport.h"

// Xlib last: its None macro would clash with names in the ports.
#include "platform/x11/X11Hotkey.h"
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
namespace vk = platform::vk;

constexpr char kTyped[] = "你好 world, 再见";
const std::u16string kTyped16 = u"你好 world, 再见";
const std::u16string kEarlierClip = u"earlier clipboard text";
const platform::HotkeyChord kCtrlAltY{platform::kHotkeyControl | platform::kHotkeyAlt, 'Y'};

std::string Imsim() {
    return std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
}

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "platform_relay_inplace";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

class InPlaceTest : public ::testing::Test {
  public:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr);
        socket_ = "/tmp/velmora-inplace-" + std::to_string(getpid()) + ".sock";
        chat_ = std::make_unique<imsim::ImsimProcess>(Imsim(), socket_, [this] {
            std::vector<std::string> args{"--geometry", "560x460+200+120", "--me",
                                          "Wang",       "--peer",          "Anna"};
            args.insert(args.end(), chatArgs_.begin(), chatArgs_.end());
            return args;
        }());
        ASSERT_TRUE(chat_->WaitReady());
        ASSERT_TRUE(PollUntil([&] {
            auto g = chat_->client().Geometry();
            if (g && g->input.x > 200 && windows.GetWindowRect(static_cast<WinHandle>(g->window)) &&
                PlacedAsReported(display.get(), *g))
                geometry_ = *g;
            return geometry_.window != 0;
        }));
        ASSERT_TRUE(chat_->client().SetInput(kTyped));
        // The user's part: the chat window active, the caret in its input box.
        ASSERT_TRUE(platform::test::Finish(
            loop, windows.SetForegroundWindow(static_cast<WinHandle>(geometry_.window))));
        // The window manager may still be moving the new window into place: a click where it
        // was hits the desktop, and openbox then puts the focus on a window of its own.
        imsim::ImsimGeometry seen;
        ASSERT_TRUE(PollUntil([&] {
            auto g = chat_->client().Geometry();
            if (!g) return false;
            const bool settled = g->input.x == seen.input.x && g->input.y == seen.input.y &&
                                 PlacedAsReported(display.get(), *g);
            seen = *g;
            loop.Wait(100);
            return settled;
        }));
        geometry_ = seen;
        const auto& in = geometry_.input;
        target::Injector(input, loop).ClickAt(in.x + in.width / 2, in.y + in.height / 2, 10);
        ASSERT_TRUE(PollUntil([&] {
            return windows.FocusedWindow() == static_cast<WinHandle>(geometry_.window);
        })) << "the click did not leave the focus in the chat window";
        loop.Wait(200);

        std::string why;
        ASSERT_TRUE(hotkey.Register(kCtrlAltY, why)) << why;
        hotkey.SetHandler([this] {
            active_->OnShortcut();
            ++runs;
            loop.Wake();
        });
        ASSERT_TRUE(clipboard.SetText(kEarlierClip));
    }
    void TearDown() override {
        if (chat_) chat_->client().Quit();
        if (layoutChanged_) {
            EXPECT_EQ(std::system("setxkbmap us"), 0) << "layout not restored";
        }
    }

    // The user presses the shortcut; true once the flow ran to its end.
    bool PressShortcut() {
        if (std::system("xdotool key ctrl+alt+y") != 0) return false;
        return RunEnded();
    }
    bool RunEnded() {
        return loop.WaitUntil([&] { return runs > 0 && !scheduler.Busy(); }, 20'000);
    }
    void ExpectCleanAfterwards() {
        EXPECT_EQ(clipboard.Text(), kEarlierClip);
        EXPECT_FALSE(input.AnyKeyDown());
        EXPECT_FALSE(state.SendRunning || state.InPlaceRunning);
    }

    QGuiApplication& app = App();
    platform::x11::XDisplay display;
    platform::SystemInput input{std::make_unique<platform::SystemInput::State>(display)};
    platform::qt::QtEventLoop loop;
    platform::x11::X11Windows windows{display, loop};
    platform::SystemClipboard clipboard{loop};
    platform::x11::X11Hotkey hotkey;
    platform::qt::QtFdWatch watch{hotkey.Fd(), [this] { hotkey.Dispatch(); }};
    platform::fake::FakePlatform fp;
    // The real X11 and Qt backends, fakes for what the flow does not reach, and the given tree.
    platform::Platform Backends(platform::IAccessibility& a11y) {
        return platform::Platform{.input = input,
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
                                  .accessibility = a11y};
    }
    platform::Platform p = Backends(fp.accessibility);
    RelayState state;
    testing::FakeView view{fp, state};
    fake::RecordingResultBox box;
    testing::FakeTranslate translate;
    mduSendBuffer buffer{fp.regex, translate};
    RelayScheduler scheduler{loop};
    InPlaceFlow flow{
        p, view, box, state, buffer, translate, translate::clsGoogleLanguages::Shared(), scheduler};
    // The same flow with the desktop's accessibility tree, as the program has it.
    platform::atspi::AtspiAccessibility tree{windows};
    platform::Platform pTree = Backends(tree);
    InPlaceFlow treeFlow{
        pTree,    view, box, state, buffer, translate, translate::clsGoogleLanguages::Shared(),
        scheduler};
    InPlaceFlow* active_ = &flow;
    int runs = 0;

    bool layoutChanged_ = false;
    std::vector<std::string> chatArgs_;  // more options for the chat program
    std::string socket_;
    std::unique_ptr<imsim::ImsimProcess> chat_;
    imsim::ImsimGeometry geometry_;
};

TEST_F(InPlaceTest, TheTypedTextIsReplacedByItsTranslation) {
    ASSERT_TRUE(PressShortcut());
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(view.tip.empty()) << testing::Narrow(view.tip);
    ASSERT_EQ(translate.calls.size(), 1u);
    EXPECT_EQ(translate.calls[0].text, kTyped16);
    EXPECT_EQ(chat_->client().Input(), "[en]" + std::string(kTyped));
    EXPECT_TRUE(chat_->client().Sent().empty());
    EXPECT_EQ(buffer.SentTexts(), std::vector<std::u16string>{u"[en]" + kTyped16});
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, AnImageTheUserCopiedIsOnTheClipboardAgainAfterwards) {
    const QByteArray png = TinyPng();
    ASSERT_EQ(std::system(("printf '%s' '" + png.toBase64().toStdString() +
                           "' | base64 -d | xclip -selection clipboard -t image/png -i")
                              .c_str()),
              0);
    ASSERT_TRUE(loop.WaitUntil([&] { return !clipboard.Image().empty(); }, 5000));
    ASSERT_TRUE(PressShortcut());
    EXPECT_EQ(chat_->client().Input(), "[en]" + std::string(kTyped));
    // What another program pastes now is the very image, served by us.
    QProcess read;
    read.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    loop.WaitUntil([&] { return read.state() == QProcess::NotRunning; }, 5000);
    EXPECT_EQ(read.readAllStandardOutput(), png);
    EXPECT_FALSE(input.AnyKeyDown());
}

// A chat program that reads the clipboard a second after the paste key.
class InPlaceLatePasteTest : public InPlaceTest {
  protected:
    InPlaceLatePasteTest() { chatArgs_ = {"--paste-delay", "1000"}; }
};

TEST_F(InPlaceLatePasteTest, ThePasteGetsTheTranslationNotTheOldClipboard) {
    ASSERT_TRUE(PressShortcut());
    EXPECT_TRUE(view.tip.empty()) << testing::Narrow(view.tip);
    EXPECT_EQ(chat_->client().Input(), "[en]" + std::string(kTyped));
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, ALayoutSwitchedAfterTheGrabStillWorksAndLeavesNoKeyDown) {
    // A German map puts y where z was: the grab has to follow the key.
    layoutChanged_ = true;
    ASSERT_EQ(std::system("setxkbmap de"), 0);
    loop.Wait(300);
    ASSERT_TRUE(PressShortcut());
    EXPECT_EQ(chat_->client().Input(), "[en]" + std::string(kTyped));
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, AShortcutHeldForAWhileRunsOnceAfterItsRelease) {
    ASSERT_EQ(std::system("(xdotool keydown ctrl+alt+y; sleep 1.5; xdotool keyup y alt ctrl) "
                          ">/dev/null 2>&1 &"),
              0);
    ASSERT_TRUE(RunEnded());
    loop.Wait(1000);  // a second run would start now
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(translate.calls.size(), 1u) << testing::Narrow(view.tip);
    EXPECT_EQ(chat_->client().Input(), "[en]" + std::string(kTyped));
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, SendAfterPasteSendsTheTranslationOnce) {
    flow.SetSendAfterPaste(true);
    state.SendShortcutKey = vk::Return;
    ASSERT_TRUE(PressShortcut());
    ASSERT_TRUE(PollUntil([&] { return !chat_->client().Sent().empty(); }, kChatAnswersMs));
    loop.Wait(300);
    const auto sent = chat_->client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "[en]" + std::string(kTyped));
    EXPECT_EQ(chat_->client().Input(), "");
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, AFailingTranslationLeavesTheTextByteForByte) {
    translate.outcome = translate::TranslationOutcome{u"[en]你好", false, {}};
    ASSERT_TRUE(PressShortcut());
    EXPECT_TRUE(view.tip.starts_with(kInPlaceTranslationFailed)) << testing::Narrow(view.tip);
    EXPECT_EQ(chat_->client().Input(), kTyped);
    EXPECT_TRUE(chat_->client().Sent().empty());
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, FocusMovedBeforeThePasteLeavesBothWindowsAlone) {
    XInputWindow other(900, 120, 300, 200);
    // A new window takes the focus when it maps: give it back to the chat.
    ASSERT_TRUE(platform::test::Finish(
        loop, windows.SetForegroundWindow(static_cast<WinHandle>(geometry_.window))));
    ASSERT_EQ(other.InputEvents(), 0);
    platform::Task<bool> activation;
    translate.onTranslate = [&] {
        // The user went on to another window while the engines worked (this runs aside: the
        // activation runs on the loop's thread, which is free while the job waits).
        std::atomic<int> active = -1;
        loop.Post([&] {
            activation = windows.SetForegroundWindow(static_cast<WinHandle>(other.id()));
            activation.Start([&](std::exception_ptr) { active = activation.await_resume(); });
        });
        for (int i = 0; i < 1000 && active < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(active, 1);
    };
    ASSERT_TRUE(PressShortcut());
    EXPECT_EQ(view.tip, kInPlaceFocusMoved);
    EXPECT_EQ(other.InputEvents(), 0);
    EXPECT_EQ(chat_->client().Input(), kTyped);
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, PressedInOneOfOurOwnWindowsItCopiesAndReplacesNothing) {
    XInputWindow ours(900, 120, 300, 200, {.markedOurs = true});
    ASSERT_TRUE(platform::test::Finish(
        loop, windows.SetForegroundWindow(static_cast<WinHandle>(ours.id()))));
    ASSERT_TRUE(PressShortcut());
    EXPECT_EQ(view.tip, kInPlaceOwnWindow) << testing::Narrow(view.tip);
    EXPECT_TRUE(translate.calls.empty());
    EXPECT_EQ(chat_->client().Input(), kTyped);
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, AShortcutAnotherProgramHoldsIsRefused) {
    platform::x11::X11Hotkey other;
    std::string why;
    EXPECT_FALSE(other.Register(kCtrlAltY, why));
    EXPECT_EQ(why, platform::kHotkeyTaken);
    // The holder keeps it.
    ASSERT_TRUE(PressShortcut());
    EXPECT_EQ(chat_->client().Input(), "[en]" + std::string(kTyped));
}

TEST_F(InPlaceTest, ThroughTheTreeTheTextIsReplacedWithoutACopyOrAKey) {
    active_ = &treeFlow;
    ASSERT_TRUE(PressShortcut());
    EXPECT_TRUE(view.tip.empty()) << testing::Narrow(view.tip);
    EXPECT_TRUE(
        PollUntil([&] { return chat_->client().Input() == "[en]" + std::string(kTyped); }, 2000))
        << chat_->client().Input();
    ASSERT_EQ(translate.calls.size(), 1u);
    EXPECT_EQ(translate.calls[0].text, kTyped16);
    // The chat window copied nothing and sent nothing: the text went through the tree.
    EXPECT_EQ(chat_->client().Request("stats").value_or(""), "sent 0\nempty 0\ncopies 0\n");
    ExpectCleanAfterwards();
}

TEST_F(InPlaceTest, ThroughTheTreeASendIsMadeAndConfirmed) {
    active_ = &treeFlow;
    treeFlow.SetSendAfterPaste(true);
    state.SendShortcutKey = vk::Return;
    ASSERT_TRUE(PressShortcut());
    ASSERT_TRUE(PollUntil([&] { return !chat_->client().Sent().empty(); }, kChatAnswersMs));
    const auto sent = chat_->client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "[en]" + std::string(kTyped));
    EXPECT_TRUE(view.tip.empty()) << testing::Narrow(view.tip);
    ExpectCleanAfterwards();
}

}  // namespace
}  // namespace velmora::relay
