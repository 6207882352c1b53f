// The chat window stand-in driven from outside, the way the companion drives a chat window:
// clicks and key chords through XTest, text through the clipboard of another process.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <thread>

#include "ImsimClient.h"
#include "platform/VirtualKey.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/Shell.h"
#include "support/SleepLoop.h"
#include "target/Injector.h"

// Xlib last: its None macro would clash with names in the ports.
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"
#include "support/ImsimPlaced.h"

namespace {

using namespace std::chrono_literals;
using velmora::platform::WinHandle;
namespace vk = velmora::platform::vk;

// Another program owns the clipboard with this text (xclip keeps serving it).
void PutOnClipboard(const std::string& text) {
    // xclip stays behind to serve the text: it must not hold our output open.
    FILE* p = popen("xclip -selection clipboard -i >/dev/null 2>&1", "w");
    ASSERT_NE(p, nullptr);
    fwrite(text.data(), 1, text.size(), p);
    pclose(p);
}
std::string ClipboardText() {
    return Shell("xclip -selection clipboard -o 2>/dev/null");
}

std::string Imsim() {
    return std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
}

class ImsimWindowTest : public ::testing::Test {
  public:
    std::unique_ptr<imsim::ImsimProcess> Start(std::vector<std::string> args) {
        args.insert(args.end(),
                    {"--geometry", "560x460+200+120", "--me", "Wang", "--peer", "Anna"});
        auto p = std::make_unique<imsim::ImsimProcess>(Imsim(), socket_, args);
        EXPECT_TRUE(p->WaitReady());
        geometry_ = p->client().Geometry().value_or(imsim::ImsimGeometry{});
        // Until the window manager has placed and mapped it, its controls are not at their
        // final screen places.
        PollUntil([&] {
            auto g = p->client().Geometry();
            bool settled = g && windows_.GetWindowRect(static_cast<WinHandle>(g->input.window)) &&
                           PlacedAsReported(display_.get(), *g);
            if (settled) geometry_ = *g;
            return settled && geometry_.input.x > 200;
        });
        velmora::platform::test::Finish(
            loop_, windows_.SetForegroundWindow(static_cast<WinHandle>(geometry_.window)));
        // Keys go where the server's input focus is, which on a busy desktop follows the window
        // manager's activation a moment later.
        EXPECT_TRUE(PollUntil([&] { return HasInputFocus(geometry_.window); }, 5000));
        return p;
    }
    bool HasInputFocus(unsigned long top) {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display_.get(), &focus, &revert);
        for (Window w = focus; w != None && w != PointerRoot;) {
            if (w == top) return true;
            Window root = None, parent = None, *children = nullptr;
            unsigned int n = 0;
            if (!XQueryTree(display_.get(), w, &root, &parent, &children, &n)) return false;
            if (children) XFree(children);
            if (w == root) return false;
            w = parent;
        }
        return false;
    }
    void TearDown() override {
        // Taking the clipboard over ends any xclip still serving it; ours then ends itself, by
        // the timeout when nothing asks, so its status says nothing.
        [[maybe_unused]] const int status = std::system(
            "printf '' | timeout 0.3 xclip -selection clipboard -i -quiet >/dev/null 2>&1");
    }
    void Click(const imsim::ControlRect& r) {
        inject_.ClickAt(r.x + r.width / 2, r.y + r.height / 2, 10);
    }
    bool NoKeyDown() {
        char keys[32];
        XQueryKeymap(display_.get(), keys);
        for (char k : keys)
            if (k) return false;
        return true;
    }

    std::string socket_ = "/tmp/velmora-imsim-test-" + std::to_string(getpid()) + ".sock";
    velmora::platform::x11::XDisplay display_;
    velmora::platform::SystemInput input_{
        std::make_unique<velmora::platform::SystemInput::State>(display_)};
    SleepLoop loop_;
    velmora::platform::x11::X11Windows windows_{display_, loop_};
    velmora::target::Injector inject_{input_, loop_};
    imsim::ImsimGeometry geometry_;
};

TEST_F(ImsimWindowTest, PeerMessagesShowUnderASpeakerLineOfTheChosenForm) {
    struct Case {
        std::vector<std::string> args;
        std::regex expected;
    };
    const Case cases[] = {
        {{"--form", "1"},
         std::regex(R"(^Anna \d\d:\d\d:\d\d\r\n    Guten Tag\r\n    zweite\r\n$)")},
        {{"--form", "2", "--no-indent"},
         std::regex(R"(^Anna \(\d{1,2}:\d\d (AM|PM)\):\r\nGuten Tag\r\nzweite\r\n$)")},
        {{"--form", "3", "--said", "说"},
         std::regex("^Anna 说:\r\n    Guten Tag\r\n    zweite\r\n$")},
        {{"--form", "4"},
         std::regex(
             R"(^Anna\(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\):\r\n    Guten Tag\r\n    zweite\r\n$)")},
    };
    for (const auto& c : cases) {
        auto p = Start(c.args);
        ASSERT_TRUE(p->client().Post("Guten Tag\nzweite"));
        std::string h = p->client().History();
        EXPECT_TRUE(std::regex_match(h, c.expected)) << c.args[1] << ": " << h;
    }
}

TEST_F(ImsimWindowTest, SelectAllAndCopyOfTheHistoryGiveCrLfText) {
    auto p = Start({"--form", "1"});
    p->client().Post("first message");
    p->client().Post("second\nmessage");
    PutOnClipboard("something else");
    Click(geometry_.history);
    inject_.PressKeyChord(vk::Letter('A'), vk::Control, 100);
    inject_.PressKeyChord(vk::Letter('C'), vk::Control, 100);
    EXPECT_TRUE(NoKeyDown());
    std::string expected = p->client().History();
    EXPECT_TRUE(PollUntil([&] { return ClipboardText() == expected; })) << ClipboardText();
    EXPECT_NE(expected.find("\r\n    second\r\n    message\r\n"), std::string::npos) << expected;
    // No bare LF anywhere.
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i] == '\n') {
            ASSERT_TRUE(i > 0 && expected[i - 1] == '\r') << i;
        }
}

TEST_F(ImsimWindowTest, PasteThenSendKeySendsTheInputUnderOurSpeakerLine) {
    struct Case {
        const char* sendKey;
        std::function<void(ImsimWindowTest&)> send;
    };
    const Case cases[] = {
        {"enter", [](ImsimWindowTest& t) { t.inject_.PressKeyChord(vk::Return, 0, 100); }},
        {"ctrl-enter",
         [](ImsimWindowTest& t) { t.inject_.PressKeyChord(vk::Return, vk::Control, 100); }},
        {"button", [](ImsimWindowTest& t) { t.Click(t.geometry_.send); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sendKey);
        auto p = Start({"--send-key", c.sendKey, "--form", "4"});
        p->client().SetInput("old draft");
        PutOnClipboard("Hola, ¿qué tal?\r\nsegunda línea");
        Click(geometry_.input);
        inject_.PressKeyChord(vk::Letter('A'), vk::Control, 100);  // select all
        inject_.PressKeyChord(vk::Delete, 1, 100);  // delete, with the code that is no key
        EXPECT_TRUE(PollUntil([&] { return p->client().Input().empty(); }, 2000));
        inject_.PressKeyChord(vk::Letter('V'), vk::Control, 1);  // paste
        EXPECT_TRUE(PollUntil(
            [&] { return p->client().Input() == "Hola, ¿qué tal?\nsegunda línea"; }, 2000))
            << p->client().Input();
        c.send(*this);
        EXPECT_TRUE(NoKeyDown());
        ASSERT_TRUE(PollUntil([&] { return p->client().Sent().size() == 1; }));
        EXPECT_EQ(p->client().Sent()[0].text, "Hola, ¿qué tal?\nsegunda línea");
        EXPECT_EQ(p->client().Input(), "");
        std::regex own(
            R"(^Wang\(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\):\r\n    Hola, ¿qué tal\?\r\n    segunda línea\r\n$)");
        std::string h = p->client().History();
        EXPECT_TRUE(std::regex_match(h, own)) << h;
    }
}

TEST_F(ImsimWindowTest, EnterDoesNotSendWhereAnotherKeySends) {
    auto p = Start({"--send-key", "ctrl-enter"});
    p->client().SetInput("draft");
    Click(geometry_.input);
    inject_.PressKeyChord(vk::Return, 0, 50);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(p->client().Sent().empty());
    EXPECT_EQ(p->client().Input().find("draft"), 0u);
}

TEST_F(ImsimWindowTest, ScriptedPeerSpeaksAndAnswersEachSend) {
    std::string script = "/tmp/velmora-imsim-script-" + std::to_string(getpid()) + ".txt";
    FILE* f = fopen(script.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("# peer\n100\tHi from Anna\nreply\tGot it\n", f);
    fclose(f);
    auto p = Start({"--script", script, "--reply-delay", "50", "--auto-reply", "And more"});
    EXPECT_TRUE(PollUntil(
        [&] { return p->client().History().find("    Hi from Anna\r\n") != std::string::npos; }));
    for (const char* text : {"one", "two"}) {
        p->client().SetInput(text);
        Click(geometry_.input);
        inject_.PressKeyChord(vk::Return, 0, 50);
        // Each send is answered before the next: a second send within the reply delay would
        // come before the answer to the first (seen in CI).
        if (std::string(text) == "one") {
            EXPECT_TRUE(PollUntil(
                [&] { return p->client().History().find("    Got it\r\n") != std::string::npos; }));
        }
    }
    EXPECT_TRUE(PollUntil([&] {
        std::string h = p->client().History();
        auto a = h.find("    one\r\n"), b = h.find("    Got it\r\n"), c = h.find("    two\r\n"),
             d = h.find("    And more\r\n");
        return d != std::string::npos && a < b && b < c && c < d;
    })) << p->client().History();
    auto sent = p->client().Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_LE(sent[0].atMs, sent[1].atMs);
    remove(script.c_str());
}

TEST_F(ImsimWindowTest, ControlSocketRefusesNonsenseWithoutDying) {
    auto p = Start({});
    EXPECT_FALSE(p->client().Request("frobnicate"));
    EXPECT_FALSE(p->client().Request(std::string(5000, 'x')));
    EXPECT_TRUE(p->client().Post(""));
    EXPECT_TRUE(p->client().Geometry().has_value());
}

}  // namespace
