// A send through the GNOME backends (the portal's input, the screen stream, the degraded window
// backend, wl-copy and wl-paste) into a Wayland-native chat window on a headless mutter: the
// picked window gets the translation once; where another window now covers the picked point,
// nothing is typed anywhere and the tip says the target is lost. The in-place run, which no
// window handle serves here, goes through the accessibility tree's focused input box.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "GnomeRelayDesk.h"
#include "TriggeredInPlace.h"
#include "WaylandImsim.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/wayland/PortalInput.h"
#include "platform/wayland/ScreenCast.h"
#include "platform/wayland/ScreenCastScreen.h"
#include "platform/wayland/ScreenCastWindows.h"
#include "platform/wayland/WlClipboard.h"
#include "relay/InPlaceFlow.h"
#include "relay/OutgoingFlow.h"
#include "relay/TargetCheck.h"
#include "support/PollUntil.h"
#include "support/TempDir.h"
#include "target/Injector.h"
#include "target/SnapShotPick.h"
#include "unit/relay/RelayTestSupport.h"

// Xlib last: its None macro would clash with names in the ports.
#include "platform/atspi/AtspiAccessibility.h"

namespace velmora::relay {
namespace {

namespace wl = platform::wayland;
namespace posix = platform::posix;

constexpr char kDraft[] = "my own draft";
constexpr std::uint32_t kBlue = 0xFF3366CC, kOrange = 0xFFCC6633;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_gnome_relay";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool Shows(const platform::Bitmap& b, platform::Point p, std::uint32_t colour) {
    if (p.x < 0 || p.y < 0 || p.x >= b.width || p.y >= b.height) return false;
    const std::uint32_t q = b.pixels[static_cast<std::size_t>(p.y) * b.width + p.x];
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((q >> shift) & 0xFF) -
                     static_cast<int>((colour >> shift) & 0xFF)) > 8)
            return false;
    return true;
}

class GnomeRelayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string failed = desk_.Start(loop_, fp_, fp_.regex, fp_.clock);
        ASSERT_EQ(failed, "") << desk_.desktop.Log();
        p_ = desk_.p.get();
        windows_ = desk_.windows.get();
        cast_ = desk_.cast.get();
        input_ = desk_.input.get();
        flow_ = std::make_unique<OutgoingFlow>(*p_, view_, box_, state_, buffer_, translate_,
                                               translate::clsGoogleLanguages::Shared(), scheduler_);
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "the desktop's log:\n" << desk_.desktop.Log();
    }

    // A full-screen chat window in one colour, with a draft, once the stream shows it.
    std::unique_ptr<WaylandImsim> Open(const char* peer, std::uint32_t colour,
                                       std::optional<imsim::ImsimGeometry>& g) {
        char fill[8];
        std::snprintf(fill, sizeof fill, "%06X", colour & 0xFFFFFF);
        auto chat = std::make_unique<WaylandImsim>(
            desk_.desktop.WaylandDisplay(), clients_, peer,
            std::vector<std::string>{"--full-screen", "--fill", fill});
        // The stream showing it is what says the window is on the screen.
        g = FullScreenGeometry(*chat, false);
        if (!g) {
            ADD_FAILURE() << peer << "'s window never filled the screen";
        } else if (!chat->client().SetInput(kDraft)) {
            ADD_FAILURE() << peer << "'s window took no draft";
            g.reset();
        } else if (!loop_.WaitUntil(
                       [&] { return Shows(cast_->Live(), Centre(g->history), colour); },
                       kAppearMs)) {
            const platform::Bitmap now = cast_->Live();
            const platform::Point at = Centre(g->history);
            ADD_FAILURE() << "the stream never showed " << peer << "'s window: " << cast_->Frames()
                          << " frames (" << cast_->StreamState() << "), " << now.width << "x"
                          << now.height << ", " << std::hex
                          << (now.empty()
                                  ? 0u
                                  : now.pixels[static_cast<std::size_t>(at.y) * now.width + at.x])
                          << " at the point";
            g.reset();
        }
        return chat;
    }
    void Pick(const imsim::ImsimGeometry& g) {
        desk_.Pick(Centre(g.input), state_.InputAreaTarget);
        desk_.Pick(Centre(g.send), state_.SendButtonTarget);
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
    TempDir clients_;
    platform::qt::QtEventLoop loop_;
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
    mduSendBuffer buffer_{fp_.regex, translate_};
    RelayScheduler scheduler_{loop_};
    std::unique_ptr<OutgoingFlow> flow_;
};

TEST_F(GnomeRelayTest, ThePickedChatWindowSendsTheTranslationOnceAndNoKeyStaysDown) {
    std::optional<imsim::ImsimGeometry> g;
    auto chat = Open("Alice", kBlue, g);
    ASSERT_TRUE(g);
    Pick(*g);
    ASSERT_NE(state_.InputAreaTarget.WinHwnd, 0) << "the live screen matched the frozen one";
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
}

TEST_F(GnomeRelayTest, AWindowOverThePickedPointGetsNothingAndTheTipSaysWhy) {
    std::optional<imsim::ImsimGeometry> g, over;
    auto picked = Open("Alice", kBlue, g);
    ASSERT_TRUE(g);
    Pick(*g);
    ASSERT_NE(state_.InputAreaTarget.WinHwnd, 0);
    auto cover = Open("Anna", kOrange, over);
    ASSERT_TRUE(over) << "the covering window never showed";
    Send();
    EXPECT_EQ(view_.tip, kTargetLost);
    EXPECT_EQ(view_.sendText, u"hello");
    ExpectUntouched(*cover);
    ExpectUntouched(*picked);
    EXPECT_FALSE(input_->AnyKeyDown());
}

// Mutter adds the session's pointer to the seat only at its first event, and a window learns
// of it a moment later: a click that was that first event reached no window.
TEST_F(GnomeRelayTest, TheSessionsFirstClickReachesTheChatWindow) {
    std::optional<imsim::ImsimGeometry> g;
    auto chat = Open("Alice", kBlue, g);
    ASSERT_TRUE(g);
    target::Injector(*input_, loop_).ClickAt(Centre(g->send).x, Centre(g->send).y, 10);
    EXPECT_TRUE(PollUntil([&] { return !chat->client().Sent().empty(); }, 5000))
        << "the click on the send button never arrived";
}

// GNOME names no window with the focus, and the in-place run is bound in its keyboard settings
// to `velmora --trigger inplace`: the input box with the focus is found in the accessibility
// tree and written there, and only there.
class GnomeInPlaceTest : public GnomeRelayTest {
  protected:
    void SetUp() override {
        GnomeRelayTest::SetUp();
        if (HasFatalFailure()) return;
        // This process and the chat windows it starts see what a program on the desktop sees:
        // its session bus, where its accessibility bus is found, and no X display, whose root
        // window would name another one. The tree's library connects once a process: one
        // desktop a test program, hence one test.
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "AT_SPI_BUS_ADDRESS"})
            if (const char* was = std::getenv(name)) envBefore_.emplace_back(name, was);
        setenv("DBUS_SESSION_BUS_ADDRESS", desk_.desktop.BusAddress().c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("AT_SPI_BUS_ADDRESS");
        // Programs export their trees only once the session's accessibility is on; the
        // program turns it on at start, before the chat windows here start.
        tree_.emplace();
        tree_->TurnOnIfOff();
        treePlatform_.emplace(desk_.PlatformWith(*tree_));
        inPlace_ =
            std::make_unique<InPlaceFlow>(*treePlatform_, view_, box_, state_, buffer_, translate_,
                                          translate::clsGoogleLanguages::Shared(), scheduler_);
    }
    void TearDown() override {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        for (const auto& [name, value] : envBefore_) setenv(name.c_str(), value.c_str(), 1);
        GnomeRelayTest::TearDown();
    }
    void Click(platform::Point at) { target::Injector(*input_, loop_).ClickAt(at.x, at.y, 10); }
    bool FieldFocused() { return tree_->FocusedFieldOnDesktop() != nullptr; }
    std::optional<posix::TriggerResult> Trigger() {
        view_.tip.clear();
        return TriggerInPlace(loop_, *inPlace_, scheduler_);
    }

    std::vector<std::pair<std::string, std::string>> envBefore_;
    std::optional<platform::atspi::AtspiAccessibility> tree_;
    std::optional<platform::Platform> treePlatform_;
    std::unique_ptr<InPlaceFlow> inPlace_;
};

TEST_F(GnomeInPlaceTest, OnlyTheFocusedInputBoxIsReplacedAndWithoutOneNothingIs) {
    std::optional<imsim::ImsimGeometry> behindGeometry, g;
    auto behind = Open("Bob", kOrange, behindGeometry);
    ASSERT_TRUE(behindGeometry);
    auto chat = Open("Alice", kBlue, g);
    ASSERT_TRUE(g);
    Click(Centre(g->input));
    ASSERT_TRUE(PollUntil([&] { return FieldFocused(); }, kAppearMs))
        << "the tree never named Alice's input box as focused";

    // The user clicked into the history: no input box has the focus, and no key may be sent.
    Click(Centre(g->history));
    ASSERT_TRUE(PollUntil([&] { return !FieldFocused(); }, kAppearMs));
    EXPECT_EQ(Trigger(), posix::TriggerResult::Done);
    EXPECT_EQ(view_.tip, kInPlaceFocusUnknown);
    EXPECT_EQ(chat->client().Input(), kDraft);
    EXPECT_TRUE(translate_.calls.empty());

    // Back in the input box, the draft is replaced there, and only there.
    ASSERT_TRUE(chat->client().SetInput("hello there"));
    Click(Centre(g->input));
    ASSERT_TRUE(PollUntil([&] { return FieldFocused(); }, kAppearMs));
    EXPECT_EQ(Trigger(), posix::TriggerResult::Done);
    EXPECT_TRUE(view_.tip.empty()) << testing::Narrow(view_.tip);
    EXPECT_EQ(chat->client().Input(), "[en]hello there");
    EXPECT_TRUE(chat->client().Sent().empty());
    ExpectUntouched(*behind);
    EXPECT_FALSE(input_->AnyKeyDown());
}

}  // namespace
}  // namespace velmora::relay
