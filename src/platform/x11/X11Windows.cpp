#include "platform/x11/X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

namespace velmora::platform::x11 {

namespace {
constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
// Source indication "pager": the request comes from a tool acting for the user, so the
// window manager's focus-stealing prevention lets it through.
constexpr long kSourcePager = 2;

// _NET_MOVERESIZE_WINDOW's first word: gravity in the low byte, then one bit for each of x, y,
// width and height that the message carries, then the source indication in bits 12 to 15.
constexpr long kMoveResizeX = 1L << 8;
constexpr long kMoveResizeY = 1L << 9;
constexpr long kMoveResizeWidth = 1L << 10;
constexpr long kMoveResizeHeight = 1L << 11;
constexpr int kMoveResizeSourceShift = 12;
constexpr long kSourceApplication = 1;

// Waits for the window manager, which acts in its own time while our callers click or type into
// the window next. Bounded: one that ignores us delays a restore by 1.25 s at most and an
// activation by 1.5 s.
constexpr int kPollStepMs = 10;
constexpr int kMapBoundMs = 1000;       // a restored window becoming viewable
constexpr int kExposeSettleMs = 250;    // a window back from the icon taking input
constexpr int kActivateBoundMs = 1500;  // activation reaching the window (slow under load)
}  // namespace

X11Windows::X11Windows(XDisplay& display, IEventLoop& loop) : d_(display), loop_(loop) {}

bool X11Windows::Exists(Window w) {
    if (!w) return false;
    ErrorScope scope(d_);
    XWindowAttributes attrs;
    Status ok = XGetWindowAttributes(d_.get(), w, &attrs);
    return ok && !scope.Failed();
}

WinHandle X11Windows::WindowFromPoint(Point p) {
    ErrorScope scope(d_);
    Window current = d_.Root();
    // Each step finds the mapped child of the current window that holds the point, the
    // topmost one in stacking order, until no child holds it.
    for (int depth = 0; depth < 64; ++depth) {
        Window child = None;
        int x = 0, y = 0;
        if (!XTranslateCoordinates(d_.get(), d_.Root(), current, p.x, p.y, &x, &y, &child)) break;
        if (scope.Failed() || child == None) break;
        current = child;
    }
    if (scope.Failed()) return 0;
    return static_cast<WinHandle>(current);
}

std::optional<Rect> X11Windows::GetWindowRect(WinHandle handle) {
    Window w = static_cast<Window>(handle);
    if (!w) return std::nullopt;
    ErrorScope scope(d_);
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(d_.get(), w, &attrs) || scope.Failed()) return std::nullopt;
    int x = 0, y = 0;
    Window child = None;
    // Like xwininfo: the outer corner, border included, in root coordinates.
    if (!XTranslateCoordinates(d_.get(), w, d_.Root(), -attrs.border_width, -attrs.border_width, &x,
                               &y, &child) ||
        scope.Failed())
        return std::nullopt;
    int outerW = attrs.width + 2 * attrs.border_width;
    int outerH = attrs.height + 2 * attrs.border_width;
    return Rect{x, y, x + outerW, y + outerH};
}

std::optional<Point> X11Windows::ScreenToClient(WinHandle handle, Point screen) {
    Window w = static_cast<Window>(handle);
    if (!w) return std::nullopt;
    ErrorScope scope(d_);
    int x = 0, y = 0;
    Window child = None;
    if (!XTranslateCoordinates(d_.get(), d_.Root(), w, screen.x, screen.y, &x, &y, &child) ||
        scope.Failed())
        return std::nullopt;
    return Point{x, y};
}

Window X11Windows::TopLevelOf(Window w) {
    if (!w || w == d_.Root()) return w;
    ErrorScope scope(d_);
    Atom wmState = d_.GetAtom("WM_STATE");
    Window current = w;
    Window belowRoot = 0;  // the outermost ancestor: a frame when a window manager runs
    for (int depth = 0; depth < 64 && current && current != d_.Root(); ++depth) {
        if (d_.HasProperty(current, wmState)) return current;
        Window root = None, parent = None;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d_.get(), current, &root, &parent, &children, &n)) break;
        XPtr<Window> owned(children);
        if (scope.Failed()) break;
        if (parent == d_.Root()) belowRoot = current;
        current = parent;
    }
    // A point on a window manager's frame (its title bar) lies on no client; the client is
    // then the one inside that frame.
    if (belowRoot)
        if (Window inside = ClientBelow(belowRoot, 3)) return inside;
    return w;
}

std::optional<int> X11Windows::ProcessIdOf(Window w) {
    Window top = TopLevelOf(w);
    if (!top) return std::nullopt;
    auto pid = d_.GetCardinals(top, d_.GetAtom("_NET_WM_PID"), XA_CARDINAL);
    if (pid.empty() || pid[0] == 0 || pid[0] > 0x7fffffff) return std::nullopt;
    return static_cast<int>(pid[0]);
}

Window X11Windows::ClientBelow(Window w, int depth) {
    if (depth <= 0) return 0;
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d_.get(), w, &root, &parent, &children, &n)) return 0;
    XPtr<Window> owned(children);
    Atom wmState = d_.GetAtom("WM_STATE");
    for (unsigned int i = n; i-- > 0;)  // topmost first
        if (d_.HasProperty(children[i], wmState)) return children[i];
    for (unsigned int i = n; i-- > 0;)
        if (Window found = ClientBelow(children[i], depth - 1)) return found;
    return 0;
}

void X11Windows::MoveTo(Window top, int x, int y, int width, int height, bool resize) {
    if (d_.Supports("_NET_MOVERESIZE_WINDOW")) {
        // Static gravity: x and y place the client window itself, not the frame around it.
        long flags = StaticGravity | kMoveResizeX | kMoveResizeY |
                     (kSourceApplication << kMoveResizeSourceShift);
        if (resize) flags |= kMoveResizeWidth | kMoveResizeHeight;
        d_.SendRootMessage(top, d_.GetAtom("_NET_MOVERESIZE_WINDOW"), flags, x, y, width, height);
        return;
    }
    if (resize)
        XMoveResizeWindow(d_.get(), top, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
    else
        XMoveWindow(d_.get(), top, x, y);
    XFlush(d_.get());
}

Task<> X11Windows::SetTopmost(WinHandle handle, bool topmost, Rect at) {
    Window w = static_cast<Window>(handle);
    if (!Exists(w)) co_return;
    Window top = TopLevelOf(w);
    ErrorScope scope(d_);
    if (d_.Supports("_NET_WM_STATE") && d_.Supports("_NET_WM_STATE_ABOVE")) {
        d_.SendRootMessage(top, d_.GetAtom("_NET_WM_STATE"),
                           topmost ? kNetWmStateAdd : kNetWmStateRemove,
                           static_cast<long>(d_.GetAtom("_NET_WM_STATE_ABOVE")), 0, kSourcePager);
    } else if (topmost) {
        XRaiseWindow(d_.get(), top);
    }
    // A rectangle of zeros comes from a pick whose rectangle could not be read: keep the
    // window where it is rather than shrink it to nothing.
    if (at.right <= at.left || at.bottom <= at.top) co_return;
    auto current = GetWindowRect(static_cast<WinHandle>(w));
    if (!current) co_return;
    if (top == w) {
        if (*current != at)
            MoveTo(top, at.left, at.top, at.right - at.left, at.bottom - at.top, true);
        co_return;
    }
    // A child keeps its place inside its parent: move the whole top-level so that the child
    // lands at the rectangle, and leave the sizes alone. The child's offset inside the
    // top-level is taken from the window tree, which holds even while a just restored window
    // is still being placed by the window manager (its screen position is not yet final then).
    int ox = 0;
    int oy = 0;
    Window ignored = 0;
    if (!XTranslateCoordinates(d_.get(), w, top, 0, 0, &ox, &oy, &ignored)) co_return;
    auto topRect = GetWindowRect(static_cast<WinHandle>(top));
    if (!topRect) co_return;
    const int nx = at.left - ox;
    const int ny = at.top - oy;
    if (topRect->left == nx && topRect->top == ny) co_return;
    MoveTo(top, nx, ny, 0, 0, false);
}

Task<> X11Windows::ShowWindow(WinHandle handle, ShowCommand cmd) {
    Window w = static_cast<Window>(handle);
    if (!Exists(w)) co_return;
    Window top = TopLevelOf(w);
    bool wasViewable = false;
    {
        // Ends before the wait: other handlers' requests run meanwhile.
        ErrorScope scope(d_);
        if (cmd == ShowCommand::Minimize) {
            XIconifyWindow(d_.get(), top, d_.ScreenNumber());
            XFlush(d_.get());
            co_return;
        }
        XWindowAttributes before;
        wasViewable =
            XGetWindowAttributes(d_.get(), top, &before) && before.map_state == IsViewable;
        // Mapping an iconic client asks the window manager to restore it; activation then
        // raises and focuses it.
        XMapRaised(d_.get(), top);
        XFlush(d_.get());
        if (d_.Supports("_NET_ACTIVE_WINDOW"))
            d_.SendRootMessage(top, d_.GetAtom("_NET_ACTIVE_WINDOW"), kSourcePager, CurrentTime, 0);
    }
    // The window manager maps the window in its own time; the callers click into it next, so
    // wait (briefly, bounded) until it is viewable, as a restore on Windows is done on return.
    co_await Until(
        loop_,
        [this, top] {
            XWindowAttributes attrs;
            XSync(d_.get(), False);
            return !XGetWindowAttributes(d_.get(), top, &attrs) || attrs.map_state == IsViewable;
        },
        kMapBoundMs);
    // A program drops input to a window it has not yet seen exposed; give a window that was
    // just brought back from the icon a moment to take it.
    if (!wasViewable) co_await Delay(loop_, kExposeSettleMs);
}

bool X11Windows::IsIconic(WinHandle handle) {
    Window w = static_cast<Window>(handle);
    if (!Exists(w)) return false;
    Window top = TopLevelOf(w);
    Atom wmState = d_.GetAtom("WM_STATE");
    auto state = d_.GetCardinals(top, wmState, wmState);
    if (!state.empty() && state[0] == IconicState) return true;
    if (d_.Supports("_NET_WM_STATE_HIDDEN")) {
        Atom hidden = d_.GetAtom("_NET_WM_STATE_HIDDEN");
        for (unsigned long a : d_.GetCardinals(top, d_.GetAtom("_NET_WM_STATE"), XA_ATOM))
            if (a == hidden) return true;
    }
    return false;
}

Task<bool> X11Windows::SetForegroundWindow(WinHandle handle) {
    Window w = static_cast<Window>(handle);
    if (!Exists(w)) co_return false;
    Window top = TopLevelOf(w);
    if (d_.Supports("_NET_ACTIVE_WINDOW")) {
        {
            ErrorScope scope(d_);  // ends before the wait
            d_.SendRootMessage(top, d_.GetAtom("_NET_ACTIVE_WINDOW"), kSourcePager, CurrentTime, 0);
        }
        // The window manager activates in its own time, and the keys our callers press next go
        // to whatever has the focus then: wait (bounded) until the window is the active one.
        const Atom active = d_.GetAtom("_NET_ACTIVE_WINDOW");
        co_return co_await Until(
            loop_,
            [this, top, active] {
                XSync(d_.get(), False);
                auto now = d_.GetCardinals(d_.Root(), active, XA_WINDOW);
                return !now.empty() && static_cast<Window>(now[0]) == top;
            },
            kActivateBoundMs);
    }
    // No EWMH window manager: raise and focus by hand, then ask the server where the focus is.
    ErrorScope scope(d_);
    XRaiseWindow(d_.get(), top);
    XSetInputFocus(d_.get(), top, RevertToParent, CurrentTime);
    XSync(d_.get(), False);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(d_.get(), &focus, &revert);
    co_return !scope.Failed() && focus != None && IsInside(static_cast<WinHandle>(focus), top);
}

bool X11Windows::IsWindow(WinHandle handle) {
    const Window w = static_cast<Window>(handle);
    if (watched_.contains(w)) {
        // The server reuses a closed client's ids: only the destruction event tells the picked
        // window from a new one with its id. The watch's other events are dropped here too, so
        // the queue does not grow.
        XEvent ev;
        while (XCheckWindowEvent(d_.get(), w, StructureNotifyMask, &ev))
            if (ev.type == DestroyNotify) destroyed_.insert(w);
    }
    return !destroyed_.contains(w) && Exists(w);
}

void X11Windows::Watch(WinHandle handle) {
    const Window w = static_cast<Window>(handle);
    if (!w) return;
    // Watching anew forgets what was seen of an earlier window with this id.
    XEvent ev;
    while (XCheckWindowEvent(d_.get(), w, StructureNotifyMask, &ev)) {
    }
    destroyed_.erase(w);
    ErrorScope scope(d_);
    XSelectInput(d_.get(), w, StructureNotifyMask);
    XSync(d_.get(), False);
    if (!scope.Failed()) watched_.insert(w);
}

bool X11Windows::IsOwnWindow(WinHandle handle) {
    Window w = static_cast<Window>(handle);
    if (!w || !Exists(w)) return false;
    // Toolkits name the process that made a top-level window in _NET_WM_PID.
    const auto pid = ProcessIdOf(w);
    return pid && *pid == static_cast<int>(getpid());
}

bool X11Windows::IsInside(WinHandle handle, WinHandle outerHandle) {
    Window w = static_cast<Window>(handle);
    Window outer = static_cast<Window>(outerHandle);
    if (!w || !outer) return false;
    ErrorScope scope(d_);
    for (int depth = 0; depth < 64 && w && w != d_.Root(); ++depth) {
        if (w == outer) return true;
        Window root = None, parent = None;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d_.get(), w, &root, &parent, &children, &n) || scope.Failed()) break;
        XPtr<Window> owned(children);
        w = parent;
    }
    return false;
}

int X11Windows::ShowCursor(bool show) {
    // X11 always shows the pointer; only the count is kept, as callers balance their calls.
    cursorCount_ += show ? 1 : -1;
    return cursorCount_;
}

WinHandle X11Windows::FocusedWindow() {
    if (d_.Supports("_NET_ACTIVE_WINDOW")) {
        auto active = d_.GetCardinals(d_.Root(), d_.GetAtom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
        if (!active.empty() && active[0] != 0 && Exists(static_cast<Window>(active[0])))
            return static_cast<WinHandle>(active[0]);
    }
    // No window manager (or none active): the server's focus, lifted to its top-level client.
    Window focus = None;
    int revert = 0;
    {
        ErrorScope scope(d_);
        XGetInputFocus(d_.get(), &focus, &revert);
        if (scope.Failed()) return 0;
    }
    if (focus == None || focus == PointerRoot || focus == d_.Root()) return 0;
    return static_cast<WinHandle>(TopLevelOf(focus));
}

}  // namespace velmora::platform::x11
