// Both ways of a conversation through the GNOME backends on a headless mutter: a send into a
// full-screen chat window whose history is already full, then the peer's replies, which scroll
// the history under the picked point, copied out by the history capture and shown translated;
// a second reply after the first capture is copied too.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>

#include "GnomeRelayDesk.h"
#include "WaylandImsim.h"
#include "platform/SystemClock.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/wayland/PictureCompare.h"
#include "platform/wayland/PortalInput.h"
#include "platform/wayland/ScreenCast.h"
#include "platform/wayland/ScreenCastScreen.h"
#include "platform/wayland/ScreenCastWindows.h"
#include "platform/wayland/WlClipboard.h"
#include "relay/IncomingMonitor.h"
#include "relay/OutgoingFlow.h"
#include "relay/TargetCheck.h"
#include "support/NativeBackends.h"
#include "support/PollUntil.h"
#include "support/TempDir.h"
#include "target/SnapShotPick.h"
#include "unit/relay/RelayTestSupport.h"

namespace velmora::relay {
namespace {

namespace wl = platform::wayland;

// A light page with dark text: the glyphs differ from it in every channel.
constexpr char kFill[] = "F0F0E0";
// Long enough to wrap across the whole width: a full history is text wherever one points.
std::string Said(const std::string& what) {
    std::string s = what + ":";
    while (s.size() < 420) s += " and then the next part of " + what;
    return s;
}

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_gnome_conversation";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class GnomeConversationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string failed = desk_.Start(loop_, fp_, regex_, clock_);
        ASSERT_EQ(failed, "") << desk_.desktop.Log();
        p_ = desk_.p.get();
        windows_ = desk_.windows.get();
        cast_ = desk_.cast.get();
        input_ = desk_.input.get();
        const auto& languages = translate::clsGoogleLanguages::Shared();
        flow_ = std::make_unique<OutgoingFlow>(*p_, view_, box_, state_, buffer_, translate_,
                                               languages, scheduler_);
        monitor_ = std::make_unique<IncomingMonitor>(*p_, view_, box_, state_, buffer_, languages,
                                                     scheduler_);
    }
    void TearDown() override {
        // Jobs still waiting go before the flows their frames use.
        scheduler_.Abandon();
        if (HasFailure()) ADD_FAILURE() << "the desktop's log:\n" << desk_.desktop.Log();
    }

    // A full-screen chat window whose history is full of earlier messages, once the stream
    // shows the last of them.
    std::unique_ptr<WaylandImsim> Open(std::optional<imsim::ImsimGeometry>& g,
                                       const char* peer = "Alice", const char* fill = kFill) {
        auto chat = std::make_unique<WaylandImsim>(
            desk_.desktop.WaylandDisplay(), clients_, peer,
            // Controls drawn into the window itself: a control of its own window is a Wayland
            // subsurface, whose new content shows only once the window commits again.
            std::vector<std::string>{"--full-screen", "--fill", fill, "--alien-controls"});
        g = FullScreenGeometry(*chat, false);
        if (!g) {
            ADD_FAILURE() << "the chat window never filled the screen";
            return chat;
        }
        for (int i = 1; i <= 12; ++i)
            chat->client().Post(Said("earlier news " + std::to_string(i)));
        if (!Arrived(*chat, Said("earlier news 12"))) g.reset();
        return chat;
    }
    // The chat window has the text and the stream shows it drawn: the picture has stopped
    // changing (the same in two looks a fifth of a second apart).
    bool Arrived(const WaylandImsim& chat, const std::string& text) {
        if (!PollUntil([&] { return chat.client().History().find(text) != std::string::npos; },
                       10000)) {
            ADD_FAILURE() << "the chat window never showed '" << text << "'";
            return false;
        }
        platform::Bitmap last = cast_->Live();
        std::int64_t since = clock_.SteadyMs();
        const bool settled = loop_.WaitUntil(
            [&] {
                if (clock_.SteadyMs() - since < 200) return false;
                platform::Bitmap now = cast_->Live();
                if (!now.empty() && now.pixels == last.pixels) return true;
                last = std::move(now);
                since = clock_.SteadyMs();
                return false;
            },
            10000);
        if (!settled) ADD_FAILURE() << "the screen never settled after '" << text << "'";
        return settled;
    }
    // The picks as the user makes them: the screen frozen (onto the clipboard), then the
    // window at each point read once the picture is gone; the history pane is announced.
    void Pick(const imsim::ImsimGeometry& g) {
        auto pick = [&](const imsim::ControlRect& c, target::TargetPoint& t) {
            return desk_.Pick(Centre(c), t);
        };
        pick(g.input, state_.InputAreaTarget);
        pick(g.send, state_.SendButtonTarget);
        historyPicture_ = pick(g.history, state_.ReturnAreaTarget);
        monitor_->OnReturnAreaPicked();
    }
    // Whether the live screen around the history point still shows what it showed at the pick.
    bool HistoryPointUnchanged() {
        const platform::Point at{state_.ReturnAreaTarget.ScreenCursorX,
                                 state_.ReturnAreaTarget.ScreenCursorY};
        return wl::SameAround(*historyPicture_, cast_->Live(), at, wl::ScreenCastWindows::kRadius);
    }
    // Timer1's tick with the send box idle: the countdown, then the capture, to their end.
    void Capture() {
        monitor_->OnIdleTick();
        ASSERT_TRUE(monitor_->TickRunning()) << "no countdown started";
        ASSERT_TRUE(loop_.WaitUntil([&] { return !monitor_->TickRunning() && !scheduler_.Busy(); },
                                    30'000));
    }
    std::string Result() const { return testing::Narrow(box_.Text()); }

    QCoreApplication& app_ = App();
    TempDir clients_;
    platform::qt::QtEventLoop loop_;
    platform::SystemClock clock_;
    native::RegexEngine regex_;
    wl::ScreenCast* cast_ = nullptr;
    wl::ScreenCastWindows* windows_ = nullptr;
    wl::PortalInput* input_ = nullptr;
    platform::fake::FakePlatform fp_;
    GnomeRelayDesk desk_;
    platform::Platform* p_ = nullptr;
    RelayState state_;
    testing::FakeView view_{fp_, state_};
    fake::RecordingResultBox box_;
    testing::FakeTranslate translate_;
    mduSendBuffer buffer_{regex_, translate_};
    RelayScheduler scheduler_{loop_};
    std::unique_ptr<OutgoingFlow> flow_;
    std::unique_ptr<IncomingMonitor> monitor_;
    std::shared_ptr<const platform::Bitmap> historyPicture_;
};

TEST_F(GnomeConversationTest, ThePeersRepliesUnderThePickedHistoryPointAreCopiedAndTranslated) {
    std::optional<imsim::ImsimGeometry> g;
    auto chat = Open(g);
    ASSERT_TRUE(g);
    Pick(*g);
    ASSERT_NE(state_.InputAreaTarget.WinHwnd, 0);
    ASSERT_NE(state_.SendButtonTarget.WinHwnd, 0);
    ASSERT_NE(state_.ReturnAreaTarget.WinHwnd, 0);

    view_.sendText = u"hello";
    flow_->Send();
    ASSERT_TRUE(loop_.WaitUntil([&] { return !scheduler_.Busy(); }, 30'000));
    ASSERT_TRUE(PollUntil([&] { return !chat->client().Sent().empty(); }, 15000))
        << "tip '" << testing::Narrow(view_.tip) << "'";
    EXPECT_EQ(chat->client().Sent()[0].text, "[en]hello");

    // The reply scrolls the full history: the picked point shows other pixels than at the pick.
    const std::string first = Said("first reply");
    ASSERT_TRUE(chat->client().Post(first));
    ASSERT_TRUE(Arrived(*chat, first));
    ASSERT_FALSE(HistoryPointUnchanged()) << "the reply left the picked point as it was";

    Capture();
    EXPECT_EQ(view_.tip, kRouteKeys) << "the copy was refused: " << testing::Narrow(view_.tip);
    EXPECT_NE(Result().find("[zh-CN]" + first), std::string::npos) << Result();
    EXPECT_EQ(Result().find("[zh-CN][en]hello"), std::string::npos) << "our own message came back";
    EXPECT_FALSE(input_->AnyKeyDown());
    EXPECT_FALSE(input_->AnyButtonDown());

    // A second reply after that capture: new pixels at the point again, and only it is new.
    const std::string second = Said("second reply");
    ASSERT_TRUE(chat->client().Post(second));
    ASSERT_TRUE(Arrived(*chat, second));
    const std::string before = Result();
    Capture();
    EXPECT_EQ(view_.tip, kRouteKeys) << "the copy was refused: " << testing::Narrow(view_.tip);
    const std::string added = Result().substr(std::min(before.size(), Result().size()));
    EXPECT_NE(added.find("[zh-CN]" + second), std::string::npos) << Result();
    EXPECT_EQ(added.find(first), std::string::npos) << "the first reply was shown twice";
    EXPECT_FALSE(input_->AnyKeyDown());
    EXPECT_FALSE(input_->AnyButtonDown());
}

TEST_F(GnomeConversationTest, AWindowOverThePickedHistoryIsNotCopiedAndTheTipSaysWhy) {
    std::optional<imsim::ImsimGeometry> g, over;
    auto picked = Open(g);
    ASSERT_TRUE(g);
    Pick(*g);
    ASSERT_NE(state_.ReturnAreaTarget.WinHwnd, 0);
    // Another chat window of the same kind over it, its history full too, in a colour of its
    // own (one that looks the same in the band around the pane cannot be told apart).
    auto cover = Open(over, "Anna", "FFC080");
    ASSERT_TRUE(over) << "the covering window never showed";
    Capture();
    EXPECT_EQ(view_.tip, kTargetLost);
    EXPECT_EQ(Result(), "");
    for (const WaylandImsim* chat : {picked.get(), cover.get()})
        EXPECT_EQ(chat->client().Request("stats").value_or(""), "sent 0\nempty 0\ncopies 0\n");
    EXPECT_FALSE(input_->AnyKeyDown());
    EXPECT_FALSE(input_->AnyButtonDown());
}

}  // namespace
}  // namespace velmora::relay
