// XTest input and window operations against real windows under a real window manager.

// GoogleTest first: Xlib's macros (None, Bool, Status) would break its templates.
#include <gtest/gtest.h>

#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/VirtualKey.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "target/mduKeyBoard.h"
#include "target/mduMouse.h"

namespace velmora::platform::x11 {
namespace {

using namespace std::chrono_literals;

// What a test window saw of one input event.
struct Seen {
    std::string what;  // "press a", "release Control_L", "button 1 down", ...
    unsigned state = 0;
    int x = 0, y = 0;
    bool operator==(const Seen& o) const { return what == o.what; }
};
std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << s.what;
}

// A plain Xlib client window, on its own connection, that records its input events.
class TestWindow {
  public:
    TestWindow(int x, int y, int w, int h) {
        d_ = XOpenDisplay(nullptr);
        Window root = DefaultRootWindow(d_);
        win_ = XCreateSimpleWindow(d_, root, x, y, w, h, 0, 0, 0xffffff);
        XStoreName(d_, win_, "x11 backend test");
        XSizeHints hints{};
        hints.flags = USPosition | PPosition;
        hints.x = x;
        hints.y = y;
        XSetWMNormalHints(d_, win_, &hints);
        XSelectInput(d_, win_,
                     KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                         PointerMotionMask | StructureNotifyMask | FocusChangeMask);
        XMapWindow(d_, win_);
        XFlush(d_);
        WaitFor(MapNotify);
    }
    ~TestWindow() {
        if (child_) XDestroyWindow(d_, child_);
        if (win_) XDestroyWindow(d_, win_);
        XCloseDisplay(d_);
    }
    Window AddChild(int x, int y, int w, int h) {
        child_ = XCreateSimpleWindow(d_, win_, x, y, w, h, 0, 0, 0x808080);
        XSelectInput(d_, child_, ButtonPressMask | StructureNotifyMask);
        XMapWindow(d_, child_);
        XFlush(d_);
        WaitFor(MapNotify);
        return child_;
    }
    void Destroy() {
        XDestroyWindow(d_, win_);
        XSync(d_, False);
        win_ = 0;
    }
    Window id() const { return win_; }
    Display* dpy() const { return d_; }

    bool WaitFor(int type, int timeoutMs = 3000) {
        return PollUntil(
            [&] {
                while (XPending(d_)) {
                    XEvent ev;
                    XNextEvent(d_, &ev);
                    if (ev.type == type) return true;
                }
                return false;
            },
            timeoutMs);
    }

    // Input events that arrived, oldest first; key names from the server's current map.
    std::vector<Seen> Drain(int settleMs = 150) {
        std::vector<Seen> out;
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        XSync(d_, False);
        while (XPending(d_)) {
            XEvent ev;
            XNextEvent(d_, &ev);
            if (ev.type == KeyPress || ev.type == KeyRelease) {
                int per = 0;
                KeySym* syms = XGetKeyboardMapping(d_, ev.xkey.keycode, 1, &per);
                const char* name = syms && syms[0] ? XKeysymToString(syms[0]) : "?";
                out.push_back({std::string(ev.type == KeyPress ? "press " : "release ") + name,
                               ev.xkey.state, 0, 0});
                if (syms) XFree(syms);
            } else if (ev.type == ButtonPress || ev.type == ButtonRelease) {
                out.push_back({"button " + std::to_string(ev.xbutton.button) +
                                   (ev.type == ButtonPress ? " down" : " up"),
                               ev.xbutton.state, ev.xbutton.x_root, ev.xbutton.y_root});
            } else if (ev.type == MotionNotify) {
                lastMotion = {ev.xmotion.x_root, ev.xmotion.y_root};
            }
        }
        return out;
    }
    Point lastMotion{-1, -1};

  private:
    Display* d_ = nullptr;
    Window win_ = 0;
    Window child_ = 0;
};

bool NoKeyDown(XDisplay& d) {
    char keys[32];
    XQueryKeymap(d.get(), keys);
    for (char k : keys)
        if (k) return false;
    return true;
}

std::vector<Atom> NetWmState(XDisplay& d, Window w) {
    std::vector<Atom> out;
    for (unsigned long a : d.GetCardinals(w, d.GetAtom("_NET_WM_STATE"), XA_ATOM))
        out.push_back(static_cast<Atom>(a));
    return out;
}

bool HasState(XDisplay& d, Window w, const char* state) {
    for (Atom a : NetWmState(d, w))
        if (a == d.GetAtom(state)) return true;
    return false;
}

Window ActiveWindow(XDisplay& d) {
    auto v = d.GetCardinals(d.Root(), d.GetAtom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
    return v.empty() ? 0 : static_cast<Window>(v[0]);
}

class X11BackendTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_NE(std::getenv("DISPLAY"), nullptr); }
    void TearDown() override {
        EXPECT_EQ(std::system("setxkbmap us"), 0) << "layout not restored";
        EXPECT_TRUE(NoKeyDown(display));
    }
    // Brings the window forward through the backend and waits until it has the focus.
    void Focus(TestWindow& w) {
        platform::test::Finish(loop, windows.SetForegroundWindow(static_cast<WinHandle>(w.id())));
        ASSERT_TRUE(PollUntil([&] { return ActiveWindow(display) == w.id(); }));
        w.WaitFor(FocusIn, 500);
        w.Drain(50);
    }
    XDisplay display;
    SystemInput input{std::make_unique<SystemInput::State>(display)};
    SleepLoop loop;
    X11Windows windows{display, loop};
};

TEST_F(X11BackendTest, KeyChordsArriveInOrderUnderUsAndGermanLayouts) {
    TestWindow w(200, 200, 300, 200);
    struct Chord {
        std::uint8_t key, modifier;
        std::vector<Seen> expected;
    };
    const std::vector<Chord> chords = {
        {vk::Letter('A'),
         vk::Control,
         {{"press Control_L"}, {"press a"}, {"release a"}, {"release Control_L"}}},
        {vk::Return, 0, {{"press Return"}, {"release Return"}}},
        // 1 has no key: the Delete around it still goes through, alone.
        {vk::Delete, 1, {{"press Delete"}, {"release Delete"}}},
        {vk::Letter('V'),
         vk::Control,
         {{"press Control_L"}, {"press v"}, {"release v"}, {"release Control_L"}}},
        {vk::Letter('Y'),
         vk::Menu,
         {{"press Alt_L"}, {"press y"}, {"release y"}, {"release Alt_L"}}},
        {vk::Letter('Z'),
         vk::Shift,
         {{"press Shift_L"}, {"press z"}, {"release z"}, {"release Shift_L"}}},
    };
    std::map<std::string, unsigned> yKeycode;
    for (const char* layout : {"us", "de"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(std::system((std::string("setxkbmap ") + layout).c_str()), 0);
        Focus(w);
        for (const auto& c : chords) {
            target::PressKeyChord(input, loop, c.key, c.modifier, 20);
            auto seen = w.Drain();
            EXPECT_EQ(seen, c.expected) << "key " << int(c.key) << " mod " << int(c.modifier);
            // The key itself went down with the modifier held.
            if (c.modifier == vk::Control && seen.size() == 4) {
                EXPECT_TRUE(seen[1].state & ControlMask);
            }
            EXPECT_TRUE(NoKeyDown(display));
        }
        int per = 0;
        // Where y lies now, by the server's map.
        for (unsigned kc = 8; kc < 256; ++kc) {
            KeySym* s = XGetKeyboardMapping(w.dpy(), static_cast<KeyCode>(kc), 1, &per);
            if (s && s[0] == XK_y) yKeycode[layout] = kc;
            if (s) XFree(s);
        }
    }
    // Proof that the layout really changed under the test.
    EXPECT_NE(yKeycode["us"], yKeycode["de"]);
}

TEST_F(X11BackendTest, IsKeyDownFollowsAHeldKeyEvenWhenAnotherClientLetsGoOfIt) {
    EXPECT_FALSE(input.IsKeyDown(vk::Control));
    input.KeyDown(vk::Control);
    EXPECT_TRUE(input.IsKeyDown(vk::Control));
    EXPECT_FALSE(input.IsKeyDown(vk::Shift));
    // Another program releases the key under us, as a system may.
    XDisplay other;
    XTestFakeKeyEvent(other.get(), XKeysymToKeycode(other.get(), XK_Control_L), False, CurrentTime);
    XSync(other.get(), False);
    EXPECT_FALSE(input.IsKeyDown(vk::Control));
    input.KeyUp(vk::Control);
    EXPECT_FALSE(input.IsKeyDown(vk::Control));
}

TEST_F(X11BackendTest, ClickArrivesAtThePointWithNothingBetweenDownAndUp) {
    TestWindow w(150, 150, 300, 200);
    Focus(w);
    auto rect = windows.GetWindowRect(static_cast<WinHandle>(w.id()));
    ASSERT_TRUE(rect);
    int x = rect->left + 40, y = rect->top + 30;
    target::ClickAt(input, loop, x, y, 10);
    auto seen = w.Drain();
    ASSERT_EQ(seen, (std::vector<Seen>{{"button 1 down"}, {"button 1 up"}}));
    EXPECT_EQ(seen[0].x, x);
    EXPECT_EQ(seen[0].y, y);
    EXPECT_EQ(input.CursorPos(), (Point{x, y}));
    // Held like a chord: nothing of ours ran while the click went through.
    EXPECT_EQ(loop.yields, 0);
    EXPECT_EQ(loop.waitedMs, 0);
}

TEST_F(X11BackendTest, KeysAfterAClickWaitUntilAGrabbingClientLetsTheClickThrough) {
    // Another client holds a synchronous button grab over part of the window, as a window
    // manager does for click-to-focus, and lets the click through only after 300 ms. The keys
    // pressed after the click must reach the window after it, not while it is held back.
    TestWindow w(150, 150, 300, 200);
    Focus(w);
    Display* g = XOpenDisplay(nullptr);
    ASSERT_NE(g, nullptr);
    XSetWindowAttributes attrs{};
    Window cover =
        XCreateWindow(g, w.id(), 0, 0, 300, 200, 0, 0, InputOnly, CopyFromParent, 0, &attrs);
    XMapWindow(g, cover);
    XGrabButton(g, Button1, AnyModifier, cover, False, ButtonPressMask | ButtonReleaseMask,
                GrabModeSync, GrabModeAsync, None, None);
    XSync(g, False);
    bool sawPress = false;
    std::thread grabber([&] {
        PollUntil(
            [&] {
                while (XPending(g)) {
                    XEvent ev;
                    XNextEvent(g, &ev);
                    if (ev.type == ButtonPress) sawPress = true;
                }
                return sawPress;
            },
            5000);
        std::this_thread::sleep_for(300ms);
        XAllowEvents(g, ReplayPointer, CurrentTime);
        XSync(g, False);
    });
    auto rect = windows.GetWindowRect(static_cast<WinHandle>(w.id()));
    ASSERT_TRUE(rect);
    auto started = std::chrono::steady_clock::now();
    target::ClickAt(input, loop, rect->left + 40, rect->top + 30, 0);
    auto held = std::chrono::steady_clock::now() - started;
    target::PressKeyChord(input, loop, vk::Letter('A'), 0, 10);
    grabber.join();
    EXPECT_TRUE(sawPress);
    EXPECT_GE(held, 250ms);
    EXPECT_EQ(w.Drain(),
              (std::vector<Seen>{{"button 1 down"}, {"button 1 up"}, {"press a"}, {"release a"}}));
    XDestroyWindow(g, cover);
    XCloseDisplay(g);
}

TEST_F(X11BackendTest, WindowFromPointRectAndClientPointAgreeWithTheServer) {
    TestWindow w(300, 250, 400, 300);
    Window child = w.AddChild(50, 60, 120, 40);
    XWindowAttributes attrs;
    XGetWindowAttributes(w.dpy(), w.id(), &attrs);
    int ox = 0, oy = 0;
    Window junk;
    XTranslateCoordinates(w.dpy(), w.id(), DefaultRootWindow(w.dpy()), 0, 0, &ox, &oy, &junk);

    Point onParent{ox + 10, oy + 10};
    EXPECT_EQ(windows.WindowFromPoint(onParent), static_cast<WinHandle>(w.id()));
    EXPECT_EQ(windows.GetWindowRect(static_cast<WinHandle>(w.id())),
              (Rect{ox, oy, ox + attrs.width, oy + attrs.height}));
    EXPECT_EQ(windows.ScreenToClient(static_cast<WinHandle>(w.id()), onParent), (Point{10, 10}));

    // A control with its own window is what lies at its points.
    Point onChild{ox + 55, oy + 70};
    EXPECT_EQ(windows.WindowFromPoint(onChild), static_cast<WinHandle>(child));
    EXPECT_EQ(windows.GetWindowRect(static_cast<WinHandle>(child)),
              (Rect{ox + 50, oy + 60, ox + 170, oy + 100}));
    EXPECT_EQ(windows.ScreenToClient(static_cast<WinHandle>(child), onChild), (Point{5, 10}));
    EXPECT_EQ(windows.TopLevelOf(child), w.id());

    // Just above the client lies the window manager's frame (openbox decorates it): state
    // changes asked for there still reach the client.
    WinHandle frame = windows.WindowFromPoint({ox + 10, oy - 5});
    ASSERT_NE(frame, 0);
    EXPECT_NE(frame, static_cast<WinHandle>(w.id()));
    EXPECT_EQ(windows.TopLevelOf(static_cast<Window>(frame)), w.id());
}

TEST_F(X11BackendTest, TopmostMinimiseRestoreAndActivationChangeTheRealWindow) {
    TestWindow w(100, 100, 300, 200);
    TestWindow other(500, 300, 200, 150);
    auto h = static_cast<WinHandle>(w.id());

    platform::test::Finish(loop, windows.SetForegroundWindow(h));
    EXPECT_TRUE(PollUntil([&] { return ActiveWindow(display) == w.id(); }));
    platform::test::Finish(loop, windows.SetForegroundWindow(static_cast<WinHandle>(other.id())));
    EXPECT_TRUE(PollUntil([&] { return ActiveWindow(display) == other.id(); }));

    auto rect = *windows.GetWindowRect(h);
    Rect moved{rect.left + 40, rect.top + 30, rect.right + 40 + 20, rect.bottom + 30 + 10};
    platform::test::Finish(loop, windows.SetTopmost(h, true, moved));
    EXPECT_TRUE(PollUntil([&] { return HasState(display, w.id(), "_NET_WM_STATE_ABOVE"); }));
    EXPECT_TRUE(PollUntil([&] { return windows.GetWindowRect(h) == moved; }))
        << windows.GetWindowRect(h)->left << "," << windows.GetWindowRect(h)->top;
    platform::test::Finish(loop, windows.SetTopmost(h, false, moved));
    EXPECT_TRUE(PollUntil([&] { return !HasState(display, w.id(), "_NET_WM_STATE_ABOVE"); }));
    // An empty rectangle changes the state only, never the place or size.
    platform::test::Finish(loop, windows.SetTopmost(h, true, Rect{}));
    EXPECT_TRUE(PollUntil([&] { return HasState(display, w.id(), "_NET_WM_STATE_ABOVE"); }));
    EXPECT_EQ(windows.GetWindowRect(h), moved);
    platform::test::Finish(loop, windows.SetTopmost(h, false, Rect{}));
    EXPECT_TRUE(PollUntil([&] { return !HasState(display, w.id(), "_NET_WM_STATE_ABOVE"); }));

    EXPECT_FALSE(windows.IsIconic(h));
    platform::test::Finish(loop, windows.ShowWindow(h, ShowCommand::Minimize));
    EXPECT_TRUE(PollUntil([&] { return windows.IsIconic(h); }));
    platform::test::Finish(loop, windows.ShowWindow(h, ShowCommand::Restore));
    EXPECT_TRUE(PollUntil([&] { return !windows.IsIconic(h); }));
    XWindowAttributes attrs;
    EXPECT_TRUE(PollUntil([&] {
        XGetWindowAttributes(w.dpy(), w.id(), &attrs);
        return attrs.map_state == IsViewable;
    }));
    EXPECT_TRUE(PollUntil([&] { return ActiveWindow(display) == w.id(); }));
}

// A window the window manager does not manage (override-redirect), on its own connection.
class UnmanagedWindow {
  public:
    UnmanagedWindow() {
        d_ = XOpenDisplay(nullptr);
        XSetWindowAttributes attrs{};
        attrs.override_redirect = True;
        win_ = XCreateWindow(d_, DefaultRootWindow(d_), 60, 60, 120, 80, 0, CopyFromParent,
                             InputOutput, CopyFromParent, CWOverrideRedirect, &attrs);
        XMapWindow(d_, win_);
        XSync(d_, False);
    }
    ~UnmanagedWindow() {
        XDestroyWindow(d_, win_);
        XCloseDisplay(d_);
    }
    Window id() const { return win_; }

  private:
    Display* d_ = nullptr;
    Window win_ = 0;
};

TEST_F(X11BackendTest, CallsReturnOnceTheWindowManagerActedAndGiveUpWithinABound) {
    TestWindow w(100, 100, 300, 200);
    TestWindow other(500, 300, 200, 150);
    auto h = static_cast<WinHandle>(w.id());
    platform::test::Finish(loop, windows.SetForegroundWindow(static_cast<WinHandle>(other.id())));
    ASSERT_TRUE(PollUntil([&] { return ActiveWindow(display) == other.id(); }));

    // Keys pressed right after activation must reach the window: it is active on return.
    EXPECT_TRUE(platform::test::Finish(loop, windows.SetForegroundWindow(h)));
    EXPECT_EQ(ActiveWindow(display), w.id());

    // A click right after a restore must land: the window is viewable on return.
    platform::test::Finish(loop, windows.ShowWindow(h, ShowCommand::Minimize));
    // Iconic as the window manager says, and really taken off the screen (the state can be
    // set a moment before the unmap): only then does the restore have to wait.
    ASSERT_TRUE(PollUntil([&] {
        XWindowAttributes a;
        return windows.IsIconic(h) && XGetWindowAttributes(w.dpy(), w.id(), &a) &&
               a.map_state != IsViewable;
    }));
    loop.timersSet = 0;
    platform::test::Finish(loop, windows.ShowWindow(h, ShowCommand::Restore));
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(w.dpy(), w.id(), &attrs));
    EXPECT_EQ(attrs.map_state, IsViewable);
    EXPECT_GT(loop.timersSet, 0);  // it waited suspended on the event loop

    // The window manager ignores activation of a window it does not manage: the call waits
    // suspended on the loop, then gives up.
    UnmanagedWindow stray;
    loop.timersSet = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::test::Finish(
        loop, windows.SetForegroundWindow(static_cast<WinHandle>(stray.id()))));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(loop.timersSet, 0);
    EXPECT_LE(loop.timersSet, 1500 / platform::IEventLoop::kPollMs + 1);
    EXPECT_LT(took, 3s);
    EXPECT_NE(ActiveWindow(display), stray.id());
}

TEST_F(X11BackendTest, TopmostOnAChildMovesItsTopLevelWithoutResizing) {
    TestWindow w(120, 120, 400, 300);
    Window child = w.AddChild(200, 240, 80, 30);
    auto c = static_cast<WinHandle>(child);
    auto top = static_cast<WinHandle>(w.id());
    Rect childRect = *windows.GetWindowRect(c);
    Rect topRect = *windows.GetWindowRect(top);
    Rect at{childRect.left + 25, childRect.top + 15, childRect.right + 25, childRect.bottom + 15};
    platform::test::Finish(loop, windows.SetTopmost(c, true, at));
    EXPECT_TRUE(PollUntil([&] { return windows.GetWindowRect(c) == at; }));
    EXPECT_EQ(windows.GetWindowRect(top),
              (Rect{topRect.left + 25, topRect.top + 15, topRect.right + 25, topRect.bottom + 15}));
    EXPECT_TRUE(PollUntil([&] { return HasState(display, w.id(), "_NET_WM_STATE_ABOVE"); }));
    platform::test::Finish(loop, windows.SetTopmost(c, false, at));
}

TEST_F(X11BackendTest, VanishedWindowIsHarmless) {
    TestWindow w(100, 100, 200, 100);
    auto h = static_cast<WinHandle>(w.id());
    w.Destroy();
    EXPECT_FALSE(windows.GetWindowRect(h));
    EXPECT_FALSE(windows.ScreenToClient(h, {1, 1}));
    EXPECT_FALSE(windows.IsIconic(h));
    platform::test::Finish(loop, windows.SetTopmost(h, true, {0, 0, 10, 10}));
    platform::test::Finish(loop, windows.ShowWindow(h, ShowCommand::Minimize));
    platform::test::Finish(loop, windows.ShowWindow(h, ShowCommand::Restore));
    platform::test::Finish(loop, windows.SetForegroundWindow(h));
    // An id that never existed, and none at all.
    platform::test::Finish(loop, windows.SetForegroundWindow(0x7ffffff0));
    EXPECT_FALSE(windows.GetWindowRect(0));
    EXPECT_NE(windows.WindowFromPoint({5, 5}), 0);
}

TEST_F(X11BackendTest, AWindowThatGotAPickedWindowsIdIsNotThePickedWindow) {
    Window id = 0;
    {
        TestWindow picked(100, 100, 200, 100);
        id = picked.id();
        windows.Watch(static_cast<WinHandle>(id));
        EXPECT_TRUE(windows.IsWindow(static_cast<WinHandle>(id)));
    }  // closed with its connection
    // The server gives a closed client's ids to the next client in its place: open clients
    // until one holds the old id.
    std::vector<std::unique_ptr<TestWindow>> others;
    while (others.size() < 40 && (others.empty() || others.back()->id() != id))
        others.push_back(std::make_unique<TestWindow>(400, 100, 200, 100));
    ASSERT_EQ(others.back()->id(), id) << "no new window got the picked window's id";
    EXPECT_FALSE(windows.IsWindow(static_cast<WinHandle>(id)));
    // Picked anew, it is the window picked.
    windows.Watch(static_cast<WinHandle>(id));
    EXPECT_TRUE(windows.IsWindow(static_cast<WinHandle>(id)));
}

TEST_F(X11BackendTest, CursorCounterOnly) {
    EXPECT_EQ(windows.ShowCursor(false), -1);
    EXPECT_EQ(windows.ShowCursor(false), -2);
    EXPECT_EQ(windows.ShowCursor(true), -1);
    EXPECT_EQ(windows.ShowCursor(true), 0);
}

TEST(KeysymTableTest, CodesMapToKeysymsOrToNothing) {
    struct Case {
        std::uint8_t vk;
        KeySym sym;
    };
    // Around the letters: '@' (64) and '[' (91) have no code of their own.
    const Case cases[] = {{vk::Return, XK_Return},
                          {vk::Shift, XK_Shift_L},
                          {vk::Control, XK_Control_L},
                          {vk::Menu, XK_Alt_L},
                          {vk::Print, XK_Print},
                          {vk::Delete, XK_Delete},
                          {vk::Letter('A'), XK_a},
                          {vk::Letter('C'), XK_c},
                          {vk::Letter('V'), XK_v},
                          {vk::Letter('Z'), XK_z},
                          {1, NoSymbol},
                          {0, NoSymbol},
                          {vk::LetterA - 1, NoSymbol},
                          {vk::LetterZ + 1, NoSymbol},
                          {255, NoSymbol}};
    for (const auto& c : cases) EXPECT_EQ(KeysymForVk(c.vk), c.sym) << int(c.vk);
}

}  // namespace
}  // namespace velmora::platform::x11
