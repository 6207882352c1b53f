// KwinFakeInput against a real headless KWin: clicks and keys into imsim's chat window, a
// Wayland-native Qt program, read back through imsim's control socket. KWin grants fake input
// through a desktop entry naming this test's executable, the way an installed package does;
// without one the backend refuses to start and says why.

#include "platform/wayland/KwinFakeInput.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "HeadlessKwin.h"
#include "KwinSettled.h"
#include "WaylandImsim.h"
#include "platform/VirtualKey.h"
#include "platform/wayland/KwinWindows.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr std::uint8_t kComma = 0xBC;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::uint8_t kLeftShift = 0xA0;

struct Stroke {
    std::uint8_t vk = 0;
    bool shift = false;
};
Stroke StrokeFor(char c) {
    if (c >= 'a' && c <= 'z') return {vk::Letter(c), false};
    if (c >= 'A' && c <= 'Z') return {vk::Letter(c), true};
    if (c >= '0' && c <= '9') return {static_cast<std::uint8_t>(c), false};
    if (c == '!') return {static_cast<std::uint8_t>('1'), true};
    if (c == ',') return {kComma, false};
    if (c == ' ') return {kSpace, false};
    return {};
}

// One KWin for the cases that are granted fake input: starting one costs more than a case.
class KwinFakeInputTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!QCoreApplication::instance()) app_ = new QCoreApplication(argc_, argv_);
        HeadlessKwin::Options options;
        options.entries = {TrustedEntry(OwnExecutable(), "org_kde_kwin_fake_input")};
        kwin_ = new HeadlessKwin(options);
        ready_ = kwin_->WaitReady();
    }
    static void TearDownTestSuite() {
        delete kwin_;
        kwin_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(ready_) << kwin_->Log();
        scripting_ = std::make_unique<KwinScripting>(kwin_->BusAddress());
        windows_ = std::make_unique<KwinWindows>(*scripting_, loop_);
        // A second device, standing for the user's, outlives the one under test: a seat that
        // loses its last keyboard makes programs let go of theirs.
        user_ = std::make_unique<KwinFakeInput>(kwin_->WaylandDisplay());
        input_ = std::make_unique<KwinFakeInput>(kwin_->WaylandDisplay());
        chat_ = std::make_unique<WaylandImsim>(kwin_->WaylandDisplay(), clients_, "Alice");
        const auto k = SettledKwinWindow(*scripting_, chat_->pid());
        ASSERT_TRUE(k) << "imsim's window never appeared";
        window_ = windows_->WindowFromPoint(
            {(k->client.left + k->client.right) / 2, (k->client.top + k->client.bottom) / 2});
        ASSERT_NE(window_, 0);
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "KWin's log:\n" << kwin_->Log();
    }

    // The middle of one of imsim's controls on the screen: its place in the window plus the
    // window's place, which KWin knows.
    std::optional<Point> Centre(imsim::ControlRect imsim::ImsimGeometry::*control) {
        std::optional<imsim::ImsimGeometry> g;
        if (!PollUntil(
                [&] {
                    g = chat_->client().Geometry();
                    return g && g->input.width > 0;
                },
                kAppearMs, 50))
            return std::nullopt;
        const auto rect = windows_->GetWindowRect(window_);
        if (!rect) return std::nullopt;
        const imsim::ControlRect& c = (*g).*control;
        return Point{rect->left + c.x + c.width / 2, rect->top + c.y + c.height / 2};
    }
    void Click(Point at) {
        input_->MoveCursor(at.x, at.y);
        input_->LeftDown();
        input_->LeftUp();
    }
    void Tap(std::uint8_t vk) {
        input_->KeyDown(vk);
        input_->KeyUp(vk);
    }
    void Type(const std::string& text) {
        for (char c : text) {
            const Stroke s = StrokeFor(c);
            ASSERT_NE(s.vk, 0) << c;
            if (s.shift) input_->KeyDown(vk::Shift);
            Tap(s.vk);
            if (s.shift) input_->KeyUp(vk::Shift);
        }
    }
    std::string InputBoxOnceItIs(const std::string& want) {
        std::string now;
        PollUntil(
            [&] {
                now = chat_->client().Input();
                return now == want;
            },
            5000, 20);
        return now;
    }

    static inline QCoreApplication* app_ = nullptr;
    static inline HeadlessKwin* kwin_ = nullptr;
    static inline bool ready_ = false;
    static inline int argc_ = 1;
    static inline char name_[] = "platform_kwin_input";
    static inline char* argv_[] = {name_, nullptr};
    TempDir clients_;
    SleepLoop loop_;
    std::unique_ptr<KwinScripting> scripting_;
    std::unique_ptr<KwinWindows> windows_;
    std::unique_ptr<KwinFakeInput> user_;
    std::unique_ptr<KwinFakeInput> input_;
    std::unique_ptr<WaylandImsim> chat_;
    WinHandle window_ = 0;
};

TEST_F(KwinFakeInputTest, ClicksIntoTheInputBoxTypesEditsAndSends) {
    const auto history = Centre(&imsim::ImsimGeometry::history);
    const auto box = Centre(&imsim::ImsimGeometry::input);
    ASSERT_TRUE(history && box);
    // Into the history first: the input box has the focus only if our click lands.
    Click(*history);
    input_->MoveCursor(box->x, box->y);
    EXPECT_EQ(input_->CursorPos(), *box);
    input_->LeftDown();
    EXPECT_TRUE(input_->AnyButtonDown());
    input_->LeftUp();
    EXPECT_FALSE(input_->AnyButtonDown());

    Type("Hello, World 1!");
    EXPECT_EQ(InputBoxOnceItIs("Hello, World 1!"), "Hello, World 1!");
    EXPECT_FALSE(input_->AnyKeyDown());

    // Ctrl+A selects all, Delete empties the box: KWin worked the modifier out from the key.
    input_->KeyDown(vk::Control);
    EXPECT_TRUE(input_->IsKeyDown(vk::Control));
    EXPECT_FALSE(input_->IsKeyDown(vk::Shift));
    Tap(vk::Letter('a'));
    input_->KeyUp(vk::Control);
    Tap(vk::Delete);
    EXPECT_EQ(InputBoxOnceItIs(""), "");

    // Lower case afterwards: no Shift or Control stuck in KWin or in the program.
    Type("ok");
    Tap(vk::Return);
    ASSERT_TRUE(PollUntil([&] { return !chat_->client().Sent().empty(); }, 5000, 20));
    const auto sent = chat_->client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "ok");
    EXPECT_FALSE(input_->AnyKeyDown());
}

TEST_F(KwinFakeInputTest, NoKeyStaysDownInTheProgramOnceTheObjectIsGone) {
    const auto box = Centre(&imsim::ImsimGeometry::input);
    ASSERT_TRUE(box);
    Click(*box);
    input_->KeyDown(kLeftShift);
    EXPECT_TRUE(input_->IsKeyDown(vk::Shift));
    input_->KeyDown(vk::Letter('x'));
    EXPECT_TRUE(input_->AnyKeyDown());
    ASSERT_EQ(InputBoxOnceItIs("X"), "X");
    input_.reset();

    // A key still down in the program would repeat after KWin's repeat delay (600 ms): past
    // twice that, the box must still hold the one letter.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(chat_->client().Input(), "X");

    // Another device types lower case: no Shift left over.
    user_->KeyDown(vk::Letter('y'));
    user_->KeyUp(vk::Letter('y'));
    EXPECT_EQ(InputBoxOnceItIs("Xy"), "Xy");
}

TEST_F(KwinFakeInputTest, KnowsTheOutputAndStopsTheCursorAtItsEdge) {
    EXPECT_EQ(input_->CursorPos(), (Point{640, 400}));
    input_->MoveCursor(5000, -20);
    EXPECT_EQ(input_->CursorPos(), (Point{1279, 0}));
}

// Desktop entries that do not grant this program fake input, each on a KWin of its own: the
// backend refuses to start and names what KWin wants.
TEST(KwinFakeInputRefusal, RefusesWithTheReasonWhereNoEntryGrantsIt) {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "platform_kwin_input";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    const std::string self = OwnExecutable();
    const std::string base = self.substr(self.rfind('/') + 1);
    DesktopEntry hidden = TrustedEntry(self, "org_kde_kwin_fake_input");
    hidden.text += "Hidden=true\n";
    const struct {
        const char* what;
        std::vector<DesktopEntry> entries;
    } cases[] = {
        {"no entry", {}},
        {"the program's bare name: KWin does not look it up in PATH",
         {TrustedEntry(base, "org_kde_kwin_fake_input")}},
        {"a hidden entry", {hidden}},
        {"another interface only", {TrustedEntry(self, "org_kde_kwin_keystate")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HeadlessKwin::Options options;
        options.entries = c.entries;
        // The program's folder on KWin's PATH: still no match by name.
        const char* path = std::getenv("PATH");
        options.env = {{"PATH", self.substr(0, self.rfind('/')) + ":" + (path ? path : "")}};
        HeadlessKwin kwin(options);
        ASSERT_TRUE(kwin.WaitReady()) << kwin.Log();
        try {
            KwinFakeInput input(kwin.WaylandDisplay());
            ADD_FAILURE() << "fake input was granted";
        } catch (const std::runtime_error& e) {
            const std::string why = e.what();
            EXPECT_NE(why.find("org_kde_kwin_fake_input"), std::string::npos) << why;
            EXPECT_NE(why.find("X-KDE-Wayland-Interfaces"), std::string::npos) << why;
            EXPECT_NE(why.find(self), std::string::npos) << why;
        }
    }
}

}  // namespace
}  // namespace velmora::platform::wayland
