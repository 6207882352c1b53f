// Input through the desktop portal's remote-desktop session on a real headless mutter: the test
// answers the permission dialog through the accessibility bus, then clicks and keys reach a
// Wayland-native imsim window; a refused dialog leaves the backend unavailable, saying why.

#include "platform/wayland/PortalInput.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>

#include "HeadlessMutter.h"
#include "PortalSession.h"
#include "WaylandImsim.h"
#include "platform/VirtualKey.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/wayland/PortalRemoteDesktop.h"
#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr std::uint8_t kControl = 0x11, kReturn = 0x0D;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_gnome_input";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class PortalInputTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(desktop_.WaitReady()) << desktop_.Log(); }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "the desktop's log:\n" << desktop_.Log();
    }
    static void Click(IInput& input, const imsim::ControlRect& r) {
        const Point c = Centre(r);
        input.MoveCursor(c.x, c.y);
        input.LeftDown();
        input.LeftUp();
    }
    static void Press(IInput& input, std::uint8_t vk) {
        input.KeyDown(vk);
        input.KeyUp(vk);
    }

    QCoreApplication& app_ = App();
    HeadlessMutter desktop_;
    TempDir clients_;
    qt::QtEventLoop loop_;
};

TEST_F(PortalInputTest, AfterTheDialogIsAcceptedAClickAndKeysReachTheChatWindow) {
    auto session = StartSession(desktop_, loop_, "share");
    ASSERT_TRUE(session->Started()) << session->Reason();
    EXPECT_EQ(session->StreamInfo().width, 1280);
    EXPECT_EQ(session->StreamInfo().height, 800);

    WaylandImsim chat(desktop_.WaylandDisplay(), clients_, "Alice", {"--full-screen"});
    const auto g = FullScreenGeometry(chat);
    ASSERT_TRUE(g);
    ASSERT_TRUE(chat.client().SetInput("my own draft"));
    PortalInput input(*session);
    ASSERT_TRUE(input.Available());
    // The box gets the caret from the click; all of it is replaced by what is typed.
    Click(input, g->input);
    EXPECT_EQ(input.CursorPos(), Centre(g->input));
    input.KeyDown(kControl);
    Press(input, vk::Letter('a'));
    input.KeyUp(kControl);
    Press(input, vk::Letter('h'));
    Press(input, vk::Letter('i'));
    Press(input, kReturn);
    ASSERT_TRUE(PollUntil([&] { return !chat.client().Sent().empty(); }, 10000))
        << "input box '" << chat.client().Input() << "' at " << g->input.x << "," << g->input.y
        << " " << g->input.width << "x" << g->input.height;
    const auto sent = chat.client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "hi");
    EXPECT_FALSE(input.AnyKeyDown());
    EXPECT_FALSE(input.AnyButtonDown());
}

TEST_F(PortalInputTest, ARefusedDialogLeavesTheBackendUnavailableSayingWhy) {
    auto session = StartSession(desktop_, loop_, "cancel");
    EXPECT_FALSE(session->Started());
    PortalInput input(*session);
    EXPECT_FALSE(input.Available());
    EXPECT_EQ(input.Reason(), "the user refused the remote-desktop permission");
    input.KeyDown(kControl);
    EXPECT_FALSE(input.AnyKeyDown()) << "a key no session took is not held";
    EXPECT_EQ(session->OpenPipeWireRemote(), -1);
}

}  // namespace
}  // namespace velmora::platform::wayland
