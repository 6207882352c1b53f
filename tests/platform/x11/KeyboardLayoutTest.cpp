// Injected key chords under layouts whose letters lie in another XKB group than the active one.

// GoogleTest first: Xlib's macros (None, Bool, Status) would break its templates.
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/VirtualKey.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "target/mduKeyBoard.h"

namespace velmora::platform::x11 {
namespace {

struct XkbFree {
    void operator()(XkbDescPtr p) const { XkbFreeKeyboard(p, 0, True); }
};
using XkbPtr = std::unique_ptr<XkbDescRec, XkbFree>;

// A plain Xlib window on its own connection that names the keys it receives the way a client
// does: by the group carried in each event's state.
class KeyWindow {
  public:
    KeyWindow() {
        d_ = XOpenDisplay(nullptr);
        win_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 200, 200, 300, 200, 0, 0, 0xffffff);
        XSelectInput(d_, win_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(d_, win_);
        XFlush(d_);
        PollUntil([&] { return Pending(MapNotify); });
    }
    ~KeyWindow() {
        XDestroyWindow(d_, win_);
        XCloseDisplay(d_);
    }
    Display* dpy() const { return d_; }

    bool Focus() {
        return PollUntil([&] {
            XSetInputFocus(d_, win_, RevertToParent, CurrentTime);
            Window f = 0;
            int revert = 0;
            XGetInputFocus(d_, &f, &revert);
            return f == win_;
        });
    }

    // Key events since the last call, as "press a", "release Control_L", ...
    std::vector<std::string> Drain() {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        XSync(d_, False);
        // Fetched now: the layout may have changed since the window was made.
        XkbPtr xkb(XkbGetMap(d_, XkbAllClientInfoMask, XkbUseCoreKbd));
        std::vector<std::string> out;
        while (XPending(d_)) {
            XEvent ev;
            XNextEvent(d_, &ev);
            if (ev.type != KeyPress && ev.type != KeyRelease) continue;
            unsigned mods = 0;
            KeySym sym = NoSymbol;
            XkbTranslateKeyCode(xkb.get(), static_cast<KeyCode>(ev.xkey.keycode), ev.xkey.state,
                                &mods, &sym);
            const char* name = sym != NoSymbol ? XKeysymToString(sym) : nullptr;
            out.push_back(std::string(ev.type == KeyPress ? "press " : "release ") +
                          (name ? name : "?"));
        }
        return out;
    }

  private:
    bool Pending(int type) {
        while (XPending(d_)) {
            XEvent ev;
            XNextEvent(d_, &ev);
            if (ev.type == type) return true;
        }
        return false;
    }
    Display* d_ = nullptr;
    Window win_ = 0;
};

unsigned LockedGroup(Display* d) {
    XkbStateRec st{};
    XkbGetState(d, XkbUseCoreKbd, &st);
    return st.locked_group;
}

bool NoKeyDown(Display* d) {
    char keys[32];
    XQueryKeymap(d, keys);
    for (char k : keys)
        if (k) return false;
    return true;
}

class KeyboardLayoutTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_NE(std::getenv("DISPLAY"), nullptr); }
    void TearDown() override {
        // Other tests share the display: leave it with one plain group.
        XkbLockGroup(display.get(), XkbUseCoreKbd, 0);
        XSync(display.get(), False);
        EXPECT_EQ(std::system("setxkbmap us"), 0) << "layout not restored";
    }
    XDisplay display;
    SystemInput input{std::make_unique<SystemInput::State>(display)};
    SleepLoop loop;
};

TEST_F(KeyboardLayoutTest, ChordsTypeLatinKeysInAnyGroupAndLeaveTheUsersGroup) {
    struct Layout {
        const char* name;
        unsigned group;  // the group the user has locked
    };
    // ru first: Latin letters exist only in the second group, then the user's active one.
    const Layout layouts[] = {{"us", 0}, {"de", 0}, {"us,ru", 1}, {"ru,us", 0}, {"ru,us", 1}};
    struct Chord {
        std::uint8_t key, modifier;
        std::vector<std::string> expected;
    };
    const std::vector<Chord> chords = {
        {vk::Letter('A'),
         vk::Control,
         {"press Control_L", "press a", "release a", "release Control_L"}},
        {vk::Letter('C'),
         vk::Control,
         {"press Control_L", "press c", "release c", "release Control_L"}},
        {vk::Letter('V'),
         vk::Control,
         {"press Control_L", "press v", "release v", "release Control_L"}},
        {vk::Delete, 0, {"press Delete", "release Delete"}},
        {vk::Return, 0, {"press Return", "release Return"}},
    };
    KeyWindow w;
    for (const auto& l : layouts) {
        SCOPED_TRACE(std::string(l.name) + " group " + std::to_string(l.group));
        ASSERT_EQ(std::system((std::string("setxkbmap ") + l.name).c_str()), 0);
        XkbLockGroup(w.dpy(), XkbUseCoreKbd, l.group);
        XSync(w.dpy(), False);
        ASSERT_EQ(LockedGroup(w.dpy()), l.group);
        ASSERT_TRUE(w.Focus());
        w.Drain();
        for (const auto& c : chords) {
            target::PressKeyChord(input, loop, c.key, c.modifier, 20);
            EXPECT_EQ(w.Drain(), c.expected) << "key " << int(c.key);
            EXPECT_EQ(LockedGroup(w.dpy()), l.group) << "key " << int(c.key);
            EXPECT_TRUE(NoKeyDown(w.dpy()));
        }
    }
}

}  // namespace
}  // namespace velmora::platform::x11
