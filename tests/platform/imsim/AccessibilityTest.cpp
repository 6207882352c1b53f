// The chat window stand-in read and written through the accessibility tree of a real desktop
// session, as screen readers do: no key, no click, no clipboard.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

#include "ImsimClient.h"
#include "platform/Utf8.h"
#include "support/PollUntil.h"
#include "support/Shell.h"
#include "support/SleepLoop.h"

// Xlib last: its None macro would clash with names in the ports.
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "support/ImsimPlaced.h"

#include <X11/Xatom.h>

namespace {

using velmora::platform::Point;
using velmora::platform::Utf8Decode;
using velmora::platform::Utf8Encode;
using velmora::platform::WinHandle;

std::string Imsim() {
    return std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
}

Point Centre(const imsim::ControlRect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}

// A line end as the tree gives it (LF or U+2028) counts as the stand-in's CR LF.
std::string Lines(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.compare(i, 3, "\xE2\x80\xA8") == 0) {
            out += '\n';
            i += 2;
        } else if (s[i] != '\r') {
            out += s[i];
        }
    }
    return out;
}

class AccessibilityTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Programs export their trees only once the session's accessibility is on; ours turns
        // it on for programs started from then on.
        velmora::platform::x11::XDisplay d;
        SleepLoop loop;
        velmora::platform::x11::X11Windows w(d, loop);
        velmora::platform::atspi::AtspiAccessibility a(w);
        a.TurnOnIfOff();
    }
    std::unique_ptr<imsim::ImsimProcess> Start(std::vector<std::string> args) {
        args.insert(args.end(),
                    {"--geometry", "560x460+200+120", "--me", "Wang", "--peer", "Anna"});
        auto p = std::make_unique<imsim::ImsimProcess>(Imsim(), socket_, args);
        EXPECT_TRUE(p->WaitReady());
        EXPECT_TRUE(PollUntil([&] {
            auto g = p->client().Geometry();
            bool settled = g && windows_.GetWindowRect(static_cast<WinHandle>(g->input.window)) &&
                           PlacedAsReported(display_.get(), *g);
            if (settled) geometry_ = *g;
            return settled && geometry_.input.x > 200;
        }));
        return p;
    }
    WinHandle Window() const { return static_cast<WinHandle>(geometry_.window); }

    std::string socket_ = "/tmp/velmora-a11y-test-" + std::to_string(getpid()) + ".sock";
    velmora::platform::x11::XDisplay display_;
    SleepLoop loop_;
    velmora::platform::x11::X11Windows windows_{display_, loop_};
    velmora::platform::atspi::AtspiAccessibility a11y_{windows_};
    imsim::ImsimGeometry geometry_;
};

TEST_F(AccessibilityTest, TurningOnTwiceSaysOnlyTheFirstTimeThatItWasOff) {
    // The suite turned it on already.
    EXPECT_FALSE(a11y_.TurnOnIfOff());
    Shell(
        "dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
        "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
        "variant:boolean:false >/dev/null");
    EXPECT_TRUE(a11y_.TurnOnIfOff());
    EXPECT_FALSE(a11y_.TurnOnIfOff());
}

TEST_F(AccessibilityTest, ReadsTheWholeHistoryAndTheInputWithoutTouchingTheWindow) {
    auto p = Start({"--form", "1", "--send-key", "button"});
    ASSERT_TRUE(p->client().Post("Guten Tag"));
    ASSERT_TRUE(p->client().Post("zweite\nZeile"));
    ASSERT_TRUE(p->client().SetInput("mein Entwurf"));
    const std::string clipboardBefore = Shell("xclip -selection clipboard -o 2>/dev/null");

    auto history = a11y_.HistoryTextAt(Window(), Centre(geometry_.history));
    ASSERT_TRUE(history);
    EXPECT_EQ(Lines(Utf8Encode(*history)), Lines(p->client().History()));
    auto input = a11y_.InputTextAt(Window(), Centre(geometry_.input));
    ASSERT_TRUE(input);
    EXPECT_EQ(Utf8Encode(*input), "mein Entwurf");
    // The history is not an input box, and the input box is not a history.
    EXPECT_FALSE(a11y_.InputTextAt(Window(), Centre(geometry_.history)));
    EXPECT_FALSE(a11y_.HistoryTextAt(Window(), Centre(geometry_.input)));

    // Nothing a user would see changed: no copy, nothing sent, the draft kept.
    EXPECT_EQ(p->client().Request("stats").value_or(""), "sent 0\nempty 0\ncopies 0\n");
    EXPECT_EQ(p->client().Input(), "mein Entwurf");
    EXPECT_EQ(Shell("xclip -selection clipboard -o 2>/dev/null"), clipboardBefore);
}

TEST_F(AccessibilityTest, WritesTheInputAndSendsWithTheButtonsAction) {
    auto p = Start({"--form", "1", "--send-key", "button"});
    ASSERT_TRUE(a11y_.SetInputTextAt(Window(), Centre(geometry_.input), u"你好, Anna"));
    EXPECT_TRUE(PollUntil([&] { return p->client().Input() == "你好, Anna"; }));
    ASSERT_TRUE(a11y_.SendActionAt(Window(), Centre(geometry_.send)));
    EXPECT_TRUE(PollUntil([&] { return p->client().Sent().size() == 1; }));
    auto sent = p->client().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "你好, Anna");
    // Neither the history nor the input box has an action that sends.
    EXPECT_FALSE(a11y_.SendActionAt(Window(), Centre(geometry_.history)));
}

TEST_F(AccessibilityTest, FindsTheInputBoxWhereTheUserIsTyping) {
    auto p = Start({"--form", "1", "--send-key", "button"});
    ASSERT_TRUE(p->client().SetInput("mein Entwurf"));
    auto clickAt = [&](const imsim::ControlRect& r) {
        const Point c = Centre(r);
        Shell("xdotool windowactivate --sync " + std::to_string(geometry_.window) + " mousemove " +
              std::to_string(c.x) + " " + std::to_string(c.y) + " click 1");
    };
    const auto& in = geometry_.input;
    clickAt(in);
    std::optional<Point> at;
    EXPECT_TRUE(PollUntil([&] { return (at = a11y_.FocusedInputPoint(Window())).has_value(); }));
    ASSERT_TRUE(at);
    EXPECT_TRUE(at->x >= in.x && at->x < in.x + in.width && at->y >= in.y &&
                at->y < in.y + in.height)
        << at->x << "," << at->y;
    auto text = a11y_.InputTextAt(Window(), *at);
    ASSERT_TRUE(text);
    EXPECT_EQ(Utf8Encode(*text), "mein Entwurf");
    // The focus in the history, which takes no typing: no input box has it.
    clickAt(geometry_.history);
    EXPECT_TRUE(PollUntil([&] { return !a11y_.FocusedInputPoint(Window()); }));
}

TEST_F(AccessibilityTest, AWindowWithoutATreeOrAHungProgramGivesNothingBoundedly) {
    // A plain X window of a program that exports no tree (ours: this test is no such program).
    Display* d = display_.get();
    ::Window plain = XCreateSimpleWindow(d, display_.Root(), 700, 500, 200, 100, 0, 0, 0xffffff);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(d, plain, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(d, plain);
    XSync(d, False);
    EXPECT_FALSE(a11y_.HistoryTextAt(static_cast<WinHandle>(plain), {720, 520}));
    XDestroyWindow(d, plain);
    XSync(d, False);
    // A program that stopped answering: bounded by the bus calls' time-outs.
    auto p = Start({"--form", "1"});
    kill(p->pid(), SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(a11y_.HistoryTextAt(Window(), Centre(geometry_.history)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    kill(p->pid(), SIGCONT);
}

}  // namespace
