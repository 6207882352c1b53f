// VirtualInput against a real headless sway: clicks and keys into imsim's chat window, a
// Wayland-native Qt program, read back through imsim's control socket.

#include "platform/wayland/VirtualInput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "HeadlessSway.h"
#include "WaylandImsim.h"
#include "platform/VirtualKey.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/SwayWindows.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr std::uint8_t kComma = 0xBC;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::uint8_t kLeftShift = 0xA0;

// The key and whether Shift is needed for a character on a US keyboard; enough for the text
// typed here.
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

class VirtualInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.WaitReady()) << sway_.Log();
        ipc_ = std::make_unique<SwayIpc>(sway_.SwaySock());
        windows_ = std::make_unique<SwayWindows>(*ipc_, loop_);
        // Sway runs without devices of its own. A program binds the seat's keyboard and
        // pointer as it starts, and a seat that loses its last keyboard makes it let go of
        // its own and bind anew some time later: so devices exist before the program starts,
        // and a second set, standing for the user's, outlives the one under test.
        user_ = std::make_unique<VirtualInput>(sway_.WaylandDisplay());
        input_ = std::make_unique<VirtualInput>(sway_.WaylandDisplay());
        chat_ = std::make_unique<WaylandImsim>(sway_, clients_, "Alice");
        const auto view = SettledView(*ipc_, chat_->pid());
        ASSERT_TRUE(view) << "imsim's window never appeared";
        window_ = static_cast<WinHandle>(view->id);
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "sway's log:\n" << sway_.Log();
    }

    // The middle of one of imsim's controls on the screen: its place in the window (a Wayland
    // program knows no more) plus the window's place, which sway knows.
    std::optional<Point> Centre(imsim::ControlRect imsim::ImsimGeometry::*control) {
        const auto rect = windows_->GetWindowRect(window_);
        std::optional<imsim::ImsimGeometry> g;
        if (!PollUntil(
                [&] {
                    g = chat_->client().Geometry();
                    return g && g->input.width > 0;
                },
                kAppearMs, 50) ||
            !rect)
            return std::nullopt;
        const imsim::ControlRect& c = (*g).*control;
        return Point{rect->left + c.x + c.width / 2, rect->top + c.y + c.height / 2};
    }
    // A click into the history first, so the input box has the focus only if ours lands.
    std::optional<Point> ClickIntoTheInputBox() {
        const auto history = Centre(&imsim::ImsimGeometry::history);
        const auto box = Centre(&imsim::ImsimGeometry::input);
        if (!history || !box) return std::nullopt;
        Click(*history);
        Click(*box);
        return box;
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
    // Waits (bounded) for the input box to hold `want`; its last text either way.
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

    HeadlessSway sway_;
    TempDir clients_;
    SleepLoop loop_;
    std::unique_ptr<SwayIpc> ipc_;
    std::unique_ptr<SwayWindows> windows_;
    std::unique_ptr<VirtualInput> user_;
    std::unique_ptr<VirtualInput> input_;
    std::unique_ptr<WaylandImsim> chat_;
    WinHandle window_ = 0;
};

TEST_F(VirtualInputTest, ClicksIntoTheInputBoxTypesEditsAndSends) {
    const auto history = Centre(&imsim::ImsimGeometry::history);
    const auto box = Centre(&imsim::ImsimGeometry::input);
    ASSERT_TRUE(history && box);
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

    // Ctrl+A selects all, Delete empties the box: the modifier reached the program.
    input_->KeyDown(vk::Control);
    EXPECT_TRUE(input_->IsKeyDown(vk::Control));
    EXPECT_FALSE(input_->IsKeyDown(vk::Shift));
    Tap(vk::Letter('a'));
    input_->KeyUp(vk::Control);
    Tap(vk::Delete);
    EXPECT_EQ(InputBoxOnceItIs(""), "");

    // Lower case afterwards: no Shift or Control stuck in sway or in the program.
    Type("ok");
    Tap(vk::Return);
    ASSERT_TRUE(PollUntil([&] { return !chat_->client().Sent().empty(); }, 5000, 20));
    const auto sent = chat_->client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "ok");
    EXPECT_EQ(InputBoxOnceItIs(""), "");
    EXPECT_FALSE(input_->AnyKeyDown());
    EXPECT_FALSE(input_->IsKeyDown(vk::Control));
}

// The object lets go of what it holds as it goes; sway 1.7 also lets go of a removed
// keyboard's keys itself, so this holds the pair to "nothing stays down", not our part alone.
TEST_F(VirtualInputTest, NoKeyStaysDownInTheProgramOnceTheObjectIsGone) {
    ASSERT_TRUE(ClickIntoTheInputBox());

    input_->KeyDown(kLeftShift);
    EXPECT_TRUE(input_->IsKeyDown(vk::Shift));
    EXPECT_TRUE(input_->IsKeyDown(kLeftShift));
    input_->KeyDown(vk::Letter('x'));
    EXPECT_TRUE(input_->AnyKeyDown());
    ASSERT_EQ(InputBoxOnceItIs("X"), "X");
    input_.reset();

    // A key still down in the program would repeat after sway's repeat delay (600 ms): past
    // twice that, the box must still hold the one letter.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(chat_->client().Input(), "X");

    // Another keyboard types lower case: no Shift left over.
    user_->KeyDown(vk::Letter('y'));
    user_->KeyUp(vk::Letter('y'));
    EXPECT_EQ(InputBoxOnceItIs("Xy"), "Xy");
}

TEST_F(VirtualInputTest, KnowsTheOutputAndStopsTheCursorAtItsEdge) {
    // Headless sway's one output, 1280x800 at 0,0: its middle before any move.
    EXPECT_EQ(input_->CursorPos(), (Point{640, 400}));
    input_->MoveCursor(5000, -20);
    EXPECT_EQ(input_->CursorPos(), (Point{1279, 0}));
    input_->MoveCursor(100, 200);
    EXPECT_EQ(input_->CursorPos(), (Point{100, 200}));
}

}  // namespace
}  // namespace velmora::platform::wayland
