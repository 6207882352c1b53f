#include "platform/wayland/KwinWindows.h"

#include <unistd.h>

#include <cctype>
#include <limits>

#include "platform/Async.h"

namespace velmora::platform::wayland {

namespace {
// KWin acts inside the script, but the program's surface can take a moment longer under
// load; the bounds match the other backends'.
constexpr int kShowBoundMs = 1000;
constexpr int kActivateBoundMs = 1500;

bool Contains(const Rect& r, Point p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// A KWin id inside a script's string literal: UUIDs only, anything else could escape it.
bool PlainId(const std::string& id) {
    for (const char c : id)
        if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == '-' || c == '{' || c == '}'))
            return false;
    return !id.empty();
}
}  // namespace

KwinWindows::KwinWindows(KwinScripting& scripting, IEventLoop& loop)
    : scripting_(scripting), loop_(loop) {}

std::optional<KwinSnapshot> KwinWindows::List() {
    const auto text = scripting_.Run(std::string(kKwinListScript) + "report(snapshot());");
    if (!text) return std::nullopt;
    auto s = ParseKwinSnapshot(*text);
    if (s)
        for (const KwinWindow& k : s->windows) HandleOf(k.id);
    return s;
}

WinHandle KwinWindows::HandleOf(const std::string& id) {
    const auto it = handles_.find(id);
    if (it != handles_.end()) return it->second;
    if (next_ == std::numeric_limits<WinHandle>::max()) return 0;
    const WinHandle h = next_++;
    handles_[id] = h;
    ids_[h] = id;
    return h;
}

std::optional<KwinWindow> KwinWindows::Find(WinHandle w) {
    const auto id = ids_.find(w);
    if (id == ids_.end()) return std::nullopt;
    const auto s = List();
    if (!s) return std::nullopt;
    for (const KwinWindow& k : s->windows)
        if (k.id == id->second) return k;
    return std::nullopt;
}

bool KwinWindows::Act(WinHandle w, const std::string& action) {
    const auto id = ids_.find(w);
    if (id == ids_.end() || !PlainId(id->second)) return false;
    const auto text = scripting_.Run(std::string(kKwinListScript) + "var c = byId(\"" + id->second +
                                     "\");\nif (c) {\n" + action + "\n}\nreport(!!c);");
    return text && *text == "true";
}

bool KwinWindows::IsWindow(WinHandle w) {
    return Find(w).has_value();
}

void KwinWindows::Watch(WinHandle) {
    // Handles are never given to another window: nothing to remember.
}

bool KwinWindows::IsInside(WinHandle w, WinHandle outer) {
    // No child windows: a handle lies inside only itself.
    return w != 0 && w == outer;
}

bool KwinWindows::IsOwnWindow(WinHandle w) {
    const auto k = Find(w);
    return k && k->pid == static_cast<int>(getpid());
}

WinHandle KwinWindows::WindowFromPoint(Point p) {
    const auto s = List();
    if (!s) return 0;
    const KwinWindow* best = nullptr;
    for (const KwinWindow& k : s->windows)
        if (k.shown && !k.minimized && Contains(k.frame, p) &&
            (!best || k.stacking > best->stacking))
            best = &k;
    return best ? HandleOf(best->id) : 0;
}

std::optional<Rect> KwinWindows::GetWindowRect(WinHandle w) {
    const auto k = Find(w);
    if (!k) return std::nullopt;
    return k->client;
}

std::optional<Point> KwinWindows::ScreenToClient(WinHandle w, Point screen) {
    const auto k = Find(w);
    if (!k) return std::nullopt;
    return Point{screen.x - k->client.left, screen.y - k->client.top};
}

Task<> KwinWindows::SetTopmost(WinHandle w, bool topmost, Rect at) {
    const auto k = Find(w);
    if (!k) co_return;
    if (!topmost) {
        // Only what we raised comes down: a window its user keeps above stays so.
        if (raised_.erase(w) > 0) Act(w, "c.keepAbove = false;");
        co_return;
    }
    if (!k->keepAbove) raised_.insert(w);
    std::string action = "c.keepAbove = true;";
    // A rectangle of zeros comes from a pick whose rectangle could not be read: the window
    // stays where it is.
    if (at.right > at.left && at.bottom > at.top) {
        const int x = k->frame.left + (at.left - k->client.left);
        const int y = k->frame.top + (at.top - k->client.top);
        action += " c.frameGeometry = { x: " + std::to_string(x) + ", y: " + std::to_string(y) +
                  ", width: " + std::to_string(k->frame.right - k->frame.left) +
                  ", height: " + std::to_string(k->frame.bottom - k->frame.top) + " };";
    }
    Act(w, action);
}

Task<> KwinWindows::ShowWindow(WinHandle w, ShowCommand cmd) {
    const bool minimize = cmd == ShowCommand::Minimize;
    if (!Act(w, std::string("c.minimized = ") + (minimize ? "true;" : "false;"))) co_return;
    co_await Until(
        loop_,
        [this, w, minimize] {
            const auto now = Find(w);
            return !now || now->minimized == minimize;
        },
        kShowBoundMs);
}

bool KwinWindows::IsIconic(WinHandle w) {
    const auto k = Find(w);
    return k && k->minimized;
}

Task<bool> KwinWindows::SetForegroundWindow(WinHandle w) {
    if (!Act(w, "activate(c);")) co_return false;
    // The keys our callers press next go to whatever is active then.
    co_return co_await Until(
        loop_,
        [this, w] {
            const auto id = ids_.find(w);
            const auto s = List();
            return s && id != ids_.end() && s->active == id->second;
        },
        kActivateBoundMs);
}

WinHandle KwinWindows::FocusedWindow() {
    const auto s = List();
    if (!s || s->active.empty()) return 0;
    return HandleOf(s->active);
}

int KwinWindows::ShowCursor(bool show) {
    // The compositor owns the pointer; only the count is kept, as callers balance their calls.
    cursorCount_ += show ? 1 : -1;
    return cursorCount_;
}

WinHandle KwinWindows::OwnTopLevel(WinHandle, const std::string& title) {
    const auto s = List();
    if (!s) return 0;
    for (const KwinWindow& k : s->windows)
        if (k.pid == static_cast<int>(getpid()) && k.caption == title) return HandleOf(k.id);
    return 0;
}

}  // namespace velmora::platform::wayland
