#include "platform/wayland/SwayWindows.h"

#include <cstdlib>

#include <unistd.h>

#include <limits>

#include "platform/Async.h"

namespace velmora::platform::wayland {

namespace {
// Sway acts on a command before it answers, but the program's surface and the tree can take
// a moment longer under load; the bounds match the X11 backend's.
constexpr int kShowBoundMs = 1000;
constexpr int kActivateBoundMs = 1500;

WinHandle HandleOf(long long id) {
    if (id <= 0 || id > std::numeric_limits<WinHandle>::max()) return 0;
    return static_cast<WinHandle>(id);
}

Rect ToRect(const SwayRect& r) {
    return Rect{r.x, r.y, r.x + r.width, r.y + r.height};
}
}  // namespace

SwayWindows::SwayWindows(SwayIpc& ipc, IEventLoop& loop) : ipc_(ipc), loop_(loop) {}

std::optional<SwayWindow> SwayWindows::Find(WinHandle w) {
    if (w <= 0) return std::nullopt;
    const auto views = ipc_.GetTree();
    if (!views) return std::nullopt;
    for (const SwayWindow& v : *views)
        if (v.id == w) return v;
    return std::nullopt;
}

bool SwayWindows::Run(WinHandle w, const std::string& command) {
    return ipc_.RunCommand("[con_id=" + std::to_string(w) + "] " + command);
}

bool SwayWindows::IsWindow(WinHandle w) {
    const auto view = Find(w);
    if (!view) return false;
    const auto watched = watched_.find(w);
    return watched == watched_.end() ||
           (watched->second.pid == view->pid && watched->second.appId == view->appId);
}

void SwayWindows::Watch(WinHandle w) {
    watched_.erase(w);
    if (const auto view = Find(w)) watched_[w] = Identity{view->pid, view->appId};
}

bool SwayWindows::IsInside(WinHandle w, WinHandle outer) {
    // No child windows: a handle lies inside only itself.
    return w != 0 && w == outer;
}

bool SwayWindows::IsOwnWindow(WinHandle w) {
    const auto view = Find(w);
    return view && view->pid == static_cast<int>(getpid());
}

WinHandle SwayWindows::WindowFromPoint(Point p) {
    const auto views = ipc_.GetTree();
    if (!views) return 0;
    // Floating windows lie above tiled ones whatever has the focus; among floating ones the
    // focused one is on top, then the later one.
    const SwayWindow* best = nullptr;
    auto above = [](const SwayWindow& a, const SwayWindow* b) {
        if (!b) return true;
        if (a.floating != b->floating) return a.floating;
        return !b->focused;
    };
    for (const SwayWindow& v : *views)
        if (v.visible && v.frame.Contains(p.x, p.y) && above(v, best)) best = &v;
    return best ? HandleOf(best->id) : 0;
}

std::optional<Rect> SwayWindows::GetWindowRect(WinHandle w) {
    const auto view = Find(w);
    if (!view) return std::nullopt;
    return ToRect(view->content);
}

std::optional<Point> SwayWindows::ScreenToClient(WinHandle w, Point screen) {
    const auto view = Find(w);
    if (!view) return std::nullopt;
    return Point{screen.x - view->content.x, screen.y - view->content.y};
}

Task<> SwayWindows::SetTopmost(WinHandle w, bool topmost, Rect at) {
    const auto view = Find(w);
    // A rectangle of zeros comes from a pick whose rectangle could not be read: the window
    // stays where it is.
    if (!topmost || !view || !view->floating || at.right <= at.left || at.bottom <= at.top)
        co_return;
    // Moved back by what its content is off, at the size the user left it: sway sizes a
    // floating window by a total that holds its title bar, which its tree does not report.
    const int dx = at.left - view->content.x;
    const int dy = at.top - view->content.y;
    std::string move;
    if (dx != 0)
        move += (dx > 0 ? "move right " : "move left ") + std::to_string(std::abs(dx)) + " px";
    if (dy != 0)
        move += std::string(move.empty() ? "" : ", ") + (dy > 0 ? "move down " : "move up ") +
                std::to_string(std::abs(dy)) + " px";
    if (!move.empty()) Run(w, move);
}

Task<> SwayWindows::ShowWindow(WinHandle w, ShowCommand cmd) {
    if (cmd == ShowCommand::Minimize) co_return;
    const auto view = Find(w);
    if (!view || view->visible) co_return;
    // Focusing a window on a hidden workspace shows that workspace; the callers click into the
    // window next, so wait (bounded) until sway shows it.
    if (!Run(w, "focus")) co_return;
    co_await Until(
        loop_,
        [this, w] {
            const auto now = Find(w);
            return !now || now->visible;
        },
        kShowBoundMs);
}

bool SwayWindows::IsIconic(WinHandle) {
    return false;
}

Task<bool> SwayWindows::SetForegroundWindow(WinHandle w) {
    if (!Find(w)) co_return false;
    if (!Run(w, "focus")) co_return false;
    // The keys our callers press next go to whatever has the focus then.
    co_return co_await Until(
        loop_,
        [this, w] {
            const auto now = Find(w);
            return now && now->focused;
        },
        kActivateBoundMs);
}

WinHandle SwayWindows::FocusedWindow() {
    const auto views = ipc_.GetTree();
    if (!views) return 0;
    for (const SwayWindow& v : *views)
        if (v.focused) return HandleOf(v.id);
    return 0;
}

int SwayWindows::ShowCursor(bool show) {
    // The compositor owns the pointer; only the count is kept, as callers balance their calls.
    cursorCount_ += show ? 1 : -1;
    return cursorCount_;
}

WinHandle SwayWindows::OwnTopLevel(WinHandle, const std::string& title) {
    const auto views = ipc_.GetTree();
    if (!views) return 0;
    for (const SwayWindow& v : *views)
        if (v.pid == static_cast<int>(getpid()) && v.name == title)
            return static_cast<WinHandle>(v.id);
    return 0;
}

}  // namespace velmora::platform::wayland
