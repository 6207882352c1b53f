// A send through the sway backends (its IPC for windows, the virtual keyboard and pointer, the
// data-control clipboard) into Wayland-native chat windows on a headless sway: the picked window
// gets the translation once; a closed or covered one gets nothing, nor does the window now at
// its point.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "HeadlessSway.h"
#include "TriggeredInPlace.h"
#include "WaylandImsim.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/SwayWindows.h"
#include "platform/wayland/VirtualInput.h"
#include "relay/InPlaceFlow.h"
#include "relay/OutgoingFlow.h"
#include "relay/TargetCheck.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/TempDir.h"
#include "target/Injector.h"
#include "unit/relay/RelayTestSupport.h"

namespace velmora::relay {
namespace {

using platform::WinHandle;
namespace wl = platform::wayland;

constexpr char kDraft[] = "my own draft";

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_sway_relay";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class SwayRelayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.WaitReady()) << sway_.Log();
        ipc_ = std::make_unique<wl::SwayIpc>(sway_.SwaySock());
        windows_ = std::make_unique<wl::SwayWindows>(*ipc_, loop_);
        // The seat's devices exist before the chat windows start (they bind them at start).
        input_ = std::make_unique<wl::VirtualInput>(sway_.WaylandDisplay());
        wl::DataControlClipboard::Options options;
        options.display = sway_.WaylandDisplay();
        clipboard_ = std::make_unique<wl::DataControlClipboard>(loop_, options);
        ASSERT_TRUE(clipboard_->Available());
        p_ = std::make_unique<platform::Platform>(
            platform::Platform{.input = *input_,
                               .windows = *windows_,
                               .clipboard = *clipboard_,
                               .screen = fp_.screen,
                               .http = fp_.http,
                               .regex = fp_.regex,
                               .codePage = fp_.codePage,
                               .clock = fp_.clock,
                               .loop = loop_,
                               .keyStore = fp_.keyStore,
                               .processorId = fp_.processorId,
                               .process = fp_.process,
                               .messageBox = fp_.messageBox,
                               .accessibility = fp_.accessibility});
        flow_ = std::make_unique<OutgoingFlow>(*p_, view_, box_, state_, buffer_, translate_,
                                               translate::clsGoogleLanguages::Shared(), scheduler_);
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "sway's log:\n" << sway_.Log();
    }

    // A chat window, settled where sway put it; its container id.
    WinHandle Open(std::unique_ptr<WaylandImsim>& chat, const std::string& peer) {
        chat = std::make_unique<WaylandImsim>(sway_, clients_, peer);
        const auto view = SettledView(*ipc_, chat->pid());
        return view ? static_cast<WinHandle>(view->id) : 0;
    }
    // Picks the chat window's input box and send button as a pick on the frozen picture does:
    // the points on the screen, the window that was under them.
    void Pick(WinHandle window, const WaylandImsim& chat) {
        const auto rect = windows_->GetWindowRect(window);
        ASSERT_TRUE(rect);
        std::optional<imsim::ImsimGeometry> g;
        ASSERT_TRUE(PollUntil(
            [&] {
                g = chat.client().Geometry();
                return g && g->input.width > 0;
            },
            kAppearMs, 50));
        auto target = [&](const imsim::ControlRect& c) {
            const int x = rect->left + c.x + c.width / 2;
            const int y = rect->top + c.y + c.height / 2;
            return target::TargetPoint{static_cast<std::int32_t>(window),
                                       x,
                                       y,
                                       x - rect->left,
                                       y - rect->top,
                                       rect->top,
                                       rect->left,
                                       rect->right,
                                       rect->bottom};
        };
        state_.InputAreaTarget = target(g->input);
        state_.SendButtonTarget = target(g->send);
        windows_->Watch(window);
    }
    void Send() {
        view_.sendText = u"hello";
        flow_->Send();
        ASSERT_TRUE(loop_.WaitUntil([&] { return !scheduler_.Busy(); }, 30'000));
    }
    static void ExpectUntouched(const WaylandImsim& chat) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(chat.client().Input(), kDraft);
        EXPECT_TRUE(chat.client().Sent().empty());
    }

    QCoreApplication& app_ = App();
    HeadlessSway sway_;
    TempDir clients_;
    platform::qt::QtEventLoop loop_;
    std::unique_ptr<wl::SwayIpc> ipc_;
    std::unique_ptr<wl::SwayWindows> windows_;
    std::unique_ptr<wl::VirtualInput> input_;
    std::unique_ptr<wl::DataControlClipboard> clipboard_;
    platform::fake::FakePlatform fp_;
    std::unique_ptr<platform::Platform> p_;
    RelayState state_;
    testing::FakeView view_{fp_, state_};
    fake::RecordingResultBox box_;
    testing::FakeTranslate translate_;
    mduSendBuffer buffer_{fp_.regex, translate_};
    RelayScheduler scheduler_{loop_};
    std::unique_ptr<OutgoingFlow> flow_;
};

TEST_F(SwayRelayTest, ThePickedChatWindowSendsTheTranslationOnceAndNoKeyStaysDown) {
    std::unique_ptr<WaylandImsim> chat;
    const WinHandle window = Open(chat, "Alice");
    ASSERT_NE(window, 0);
    ASSERT_TRUE(chat->client().SetInput(kDraft));
    Pick(window, *chat);
    Send();
    ASSERT_TRUE(PollUntil([&] { return !chat->client().Sent().empty(); }, 15000))
        << "input box '" << chat->client().Input() << "', tip '" << testing::Narrow(view_.tip)
        << "'";
    const auto sent = chat->client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "[en]hello") << "the draft was replaced, not sent with it";
    EXPECT_TRUE(view_.tip.empty()) << testing::Narrow(view_.tip);
    EXPECT_EQ(view_.sendText, u"");
    EXPECT_FALSE(input_->AnyKeyDown());
    EXPECT_FALSE(input_->AnyButtonDown());
    EXPECT_GE(clipboard_->Reads().value_or(0), 1) << "the chat window took the paste";
}

TEST_F(SwayRelayTest, AClosedChatWindowLeavesTheWindowNowAtItsPointAlone) {
    std::unique_ptr<WaylandImsim> picked, bystander;
    const WinHandle window = Open(picked, "Alice");
    ASSERT_NE(window, 0);
    Pick(window, *picked);
    ASSERT_NE(Open(bystander, "Anna"), 0);
    ASSERT_TRUE(bystander->client().SetInput(kDraft));
    picked->Close();
    // Sway gives the freed space to the bystander: its input box now lies at the picked point.
    ASSERT_TRUE(PollUntil([&] { return !windows_->IsWindow(window); }, kAppearMs));
    const platform::Point at{state_.InputAreaTarget.ScreenCursorX,
                             state_.InputAreaTarget.ScreenCursorY};
    ASSERT_TRUE(PollUntil([&] { return windows_->WindowFromPoint(at) != 0; }, kAppearMs));
    Send();
    EXPECT_EQ(view_.tip, kTargetLost);
    EXPECT_EQ(view_.sendText, u"hello");
    ExpectUntouched(*bystander);
}

TEST_F(SwayRelayTest, AWindowOverTheInputPointGetsNothing) {
    std::unique_ptr<WaylandImsim> picked, cover;
    const WinHandle window = Open(picked, "Alice");
    ASSERT_NE(window, 0);
    ASSERT_TRUE(picked->client().SetInput(kDraft));
    Pick(window, *picked);
    const WinHandle over = Open(cover, "Anna");
    ASSERT_NE(over, 0);
    ASSERT_TRUE(cover->client().SetInput(kDraft));
    // Floating windows lie above tiled ones: this one over the picked input box.
    const auto& in = state_.InputAreaTarget;
    ASSERT_TRUE(ipc_->RunCommand("[con_id=" + std::to_string(over) +
                                 "] floating enable, resize set 300 200, move position " +
                                 std::to_string(in.ScreenCursorX - 150) + " " +
                                 std::to_string(in.ScreenCursorY - 100)));
    const platform::Point at{in.ScreenCursorX, in.ScreenCursorY};
    ASSERT_TRUE(PollUntil([&] { return windows_->WindowFromPoint(at) == over; }, kAppearMs));
    Send();
    // The flow may raise the picked window over the cover first (then the point rightly shows
    // it); either way nothing may reach the covering window.
    ExpectUntouched(*cover);
    if (view_.tip == kTargetLost) {
        EXPECT_EQ(picked->client().Input(), kDraft);
        EXPECT_TRUE(picked->client().Sent().empty());
    } else {
        ASSERT_TRUE(PollUntil([&] { return !picked->client().Sent().empty(); }, 15000));
        EXPECT_EQ(picked->client().Sent()[0].text, "[en]hello");
    }
    EXPECT_FALSE(input_->AnyKeyDown());
}

// On sway the in-place shortcut is the desktop's: its binding runs `velmora --trigger inplace`,
// which reaches the running program through the trigger socket; the flow then replaces the
// focused input box's text through the virtual keyboard and the data-control clipboard.
TEST_F(SwayRelayTest, TheDesktopsTriggerReplacesTheTypedTextInPlace) {
    std::unique_ptr<WaylandImsim> chat;
    const WinHandle window = Open(chat, "Alice");
    ASSERT_NE(window, 0);
    ASSERT_TRUE(chat->client().SetInput("hello there"));
    Pick(window, *chat);  // for the click that leaves the caret in the box, as the user does
    ASSERT_TRUE(platform::test::Finish(loop_, windows_->SetForegroundWindow(window)));
    const auto& in = state_.InputAreaTarget;
    target::Injector(*input_, loop_).ClickAt(in.ScreenCursorX, in.ScreenCursorY, 10);
    ASSERT_TRUE(clipboard_->SetText(u"earlier clipboard text"));

    InPlaceFlow inPlace{*p_,
                        view_,
                        box_,
                        state_,
                        buffer_,
                        translate_,
                        translate::clsGoogleLanguages::Shared(),
                        scheduler_};
    EXPECT_EQ(TriggerInPlace(loop_, inPlace, scheduler_), platform::posix::TriggerResult::Done);
    EXPECT_TRUE(view_.tip.empty()) << testing::Narrow(view_.tip);
    EXPECT_EQ(chat->client().Input(), "[en]hello there");
    EXPECT_TRUE(chat->client().Sent().empty());
    EXPECT_EQ(clipboard_->Text(), u"earlier clipboard text") << "the user's clipboard is back";
    EXPECT_FALSE(input_->AnyKeyDown());
}

}  // namespace
}  // namespace velmora::relay
