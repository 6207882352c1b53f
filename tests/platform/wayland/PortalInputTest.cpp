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

// The test's hand on the permission dialog: a process that presses Share or Cancel in it.
class DialogAnswer {
  public:
    DialogAnswer(const HeadlessMutter& desktop, const char* button) {
        const std::string tool =
            std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tests/platform/wayland/portal_dialog";
        pid_ = velmora::testing::Spawn({tool, button, "20000"}, desktop.Env());
    }
    ~DialogAnswer() { Pressed(); }
    // Whether it pressed the button; waits (bounded) for it to end.
    bool Pressed() {
        if (pid_ <= 0) return status_ == 0;
        int status = -1;
        if (!PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 25000, 20)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_ == 0;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

class PortalInputTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(desktop_.WaitReady()) << desktop_.Log(); }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "the desktop's log:\n" << desktop_.Log();
    }
    std::unique_ptr<PortalRemoteDesktop> Session() {
        PortalRemoteDesktop::Options options;
        options.busAddress = desktop_.BusAddress();
        options.dialogTimeoutMs = 25000;
        return std::make_unique<PortalRemoteDesktop>(loop_, options);
    }
    // Where the chat window's controls are once it fills the screen and has the focus: before,
    // it lays them out in its first, smaller size, and clicks and keys may reach no window.
    static std::optional<imsim::ImsimGeometry> FullScreenGeometry(const WaylandImsim& chat) {
        std::optional<imsim::ImsimGeometry> g;
        const bool full = PollUntil(
            [&] {
                g = chat.client().Geometry();
                return g && g->input.x + g->input.width > 1200 && chat.client().Active();
            },
            kAppearMs, 50);
        return full ? g : std::nullopt;
    }
    void Click(IInput& input, const imsim::ControlRect& r) {
        input.MoveCursor(r.x + r.width / 2, r.y + r.height / 2);
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
    DialogAnswer answer(desktop_, "share");
    auto session = Session();
    ASSERT_TRUE(session->Start()) << session->Reason();
    EXPECT_TRUE(answer.Pressed());
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
    EXPECT_EQ(input.CursorPos(),
              (Point{g->input.x + g->input.width / 2, g->input.y + g->input.height / 2}));
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
    DialogAnswer answer(desktop_, "cancel");
    auto session = Session();
    EXPECT_FALSE(session->Start());
    EXPECT_TRUE(answer.Pressed());
    PortalInput input(*session);
    EXPECT_FALSE(input.Available());
    EXPECT_EQ(input.Reason(), "the user refused the remote-desktop permission");
    input.KeyDown(kControl);
    EXPECT_FALSE(input.AnyKeyDown()) << "a key no session took is not held";
    EXPECT_EQ(session->OpenPipeWireRemote(), -1);
}

}  // namespace
}  // namespace velmora::platform::wayland
