#include "platform/win32/Win32Windows.h"

namespace velmora::platform::win32 {

namespace {
// Other programs act on our requests in their own time, and callers click or type into the
// window next: wait for the change, bounded.
constexpr int kPollStepMs = 10;
constexpr int kMoveBoundMs = 1000;
// How long a moved window must keep its new place to count as there.
constexpr int kPlaceSteadyMs = 100;
constexpr int kMoveAttempts = 2;
constexpr int kShowBoundMs = 1000;
constexpr int kShowAttempts = 2;
// A minimised window sits at (-32000, -32000).
constexpr int kMinimisedLeft = -30000;
constexpr int kActivateBoundMs = 1500;
// How long a window must keep the foreground to count as having it.
constexpr int kForegroundSteadyMs = 150;
constexpr UINT kSettleBoundMs = 500;

// The window's own thread finishes what it is doing (a move and the layout of its controls
// that follows, a restore) before it answers a sent message: one round trip, bounded, with
// our own sent messages still handled meanwhile.
void Settle(HWND top) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSettleBoundMs, &ignored);
}

// The window or nothing: 0 and stale handles become nullptr.
HWND Live(WinHandle w) {
    HWND h = ToHwnd(w);
    return w != 0 && ::IsWindow(h) ? h : nullptr;
}

HWND TopLevelOf(HWND h) {
    HWND top = GetAncestor(h, GA_ROOT);
    return top ? top : h;
}
}  // namespace

std::optional<Win32Windows::Identity> Win32Windows::IdentityOf(HWND h) {
    Identity id;
    if (!h || GetWindowThreadProcessId(h, &id.process) == 0) return std::nullopt;
    wchar_t name[256];
    const int length = GetClassNameW(h, name, 256);
    if (length <= 0) return std::nullopt;
    id.windowClass.assign(name, static_cast<std::size_t>(length));
    return id;
}

void Win32Windows::Watch(WinHandle w) {
    if (auto id = IdentityOf(Live(w)))
        watched_[w] = std::move(*id);
    else
        watched_.erase(w);
}

bool Win32Windows::IsWindow(WinHandle w) {
    HWND h = Live(w);
    if (!h) return false;
    auto it = watched_.find(w);
    return it == watched_.end() || IdentityOf(h) == it->second;
}

bool Win32Windows::IsInside(WinHandle w, WinHandle outer) {
    HWND inner = Live(w);
    HWND out = Live(outer);
    if (!inner || !out) return false;
    return inner == out || IsChild(out, inner);
}

bool Win32Windows::IsOwnWindow(WinHandle w) {
    HWND hwnd = Live(w);
    DWORD pid = 0;
    return hwnd && GetWindowThreadProcessId(hwnd, &pid) && pid == GetCurrentProcessId();
}

WinHandle Win32Windows::WindowFromPoint(Point screen) {
    return ToHandle(::WindowFromPoint(POINT{screen.x, screen.y}));
}

std::optional<Rect> Win32Windows::GetWindowRect(WinHandle w) {
    HWND h = Live(w);
    RECT r{};
    if (!h || !::GetWindowRect(h, &r)) return std::nullopt;
    return Rect{r.left, r.top, r.right, r.bottom};
}

std::optional<Point> Win32Windows::ScreenToClient(WinHandle w, Point screen) {
    HWND h = Live(w);
    POINT p{screen.x, screen.y};
    if (!h || !::ScreenToClient(h, &p)) return std::nullopt;
    return Point{p.x, p.y};
}

Task<> Win32Windows::SetTopmost(WinHandle w, bool topmost, Rect at) {
    HWND h = Live(w);
    if (!h) co_return;
    HWND top = TopLevelOf(h);
    HWND after = topmost ? HWND_TOPMOST : HWND_NOTOPMOST;
    const UINT keep = SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
    // A rectangle of zeros comes from a pick whose rectangle could not be read: keep the
    // window where it is rather than shrink it to nothing.
    if (at.right <= at.left || at.bottom <= at.top) {
        SetWindowPos(top, after, 0, 0, 0, 0, keep | SWP_NOMOVE | SWP_NOSIZE);
        Settle(top);
        co_return;
    }
    // A late answer of the window manager to an earlier move can undo this one after it
    // showed (seen under Wine on a loaded desktop): look again once it has settled, and move
    // once more if the window is not where it was asked to be.
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        if (top == h) {
            SetWindowPos(top, after, at.left, at.top, at.right - at.left, at.bottom - at.top, keep);
            const bool placed =
                co_await WaitForPlace(top, at.left, at.top, at.right - at.left, at.bottom - at.top);
            if (placed) co_return;
            continue;
        }
        // A control keeps its place inside its window: move the whole window so that the
        // control lands at the rectangle, and leave the sizes alone.
        Settle(top);  // a move still under way would give a stale offset
        RECT inner{}, outer{};
        if (!::GetWindowRect(h, &inner) || !::GetWindowRect(top, &outer)) co_return;
        const int x = at.left - (inner.left - outer.left);
        const int y = at.top - (inner.top - outer.top);
        SetWindowPos(top, after, x, y, 0, 0, keep | SWP_NOSIZE);
        co_await WaitForPlace(top, x, y, 0, 0);
        if (!::GetWindowRect(h, &inner) || (inner.left == at.left && inner.top == at.top))
            co_return;
    }
}

Task<bool> Win32Windows::WaitForPlace(HWND top, int x, int y, int width, int height) {
    // The move is asynchronous (a hung program must not hang us), but callers click at the
    // new place next. Under a window manager the window can bounce back to an earlier place
    // for a moment (its answer to an earlier move arrives late): the place must hold.
    auto placed = [top, x, y, width, height] {
        RECT r{};
        if (!::GetWindowRect(top, &r)) return true;
        return r.left == x && r.top == y && (width <= 0 || r.right - r.left == width) &&
               (height <= 0 || r.bottom - r.top == height);
    };
    int heldMs = 0;
    co_await Until(
        loop_,
        [&heldMs, placed] {
            heldMs = placed() ? heldMs + kPollStepMs : 0;
            return heldMs > kPlaceSteadyMs;
        },
        kMoveBoundMs);
    Settle(top);
    co_return placed();
}

Task<> Win32Windows::ShowWindow(WinHandle w, ShowCommand cmd) {
    HWND h = Live(w);
    if (!h) co_return;
    HWND top = TopLevelOf(h);
    const bool minimize = cmd == ShowCommand::Minimize;
    // The callers click into the window next, so wait (bounded) until the change is visible
    // and holds: under an X window manager the answer to a minimise can arrive after a restore
    // that followed it and minimise the window again (seen in a CI run), so a change that does
    // not hold is asked for once more.
    auto shown = [top, minimize] {
        if (!::IsWindow(top)) return true;
        if (minimize) return ::IsIconic(top) != 0;
        RECT r{};
        return !::IsIconic(top) && IsWindowVisible(top) && ::GetWindowRect(top, &r) &&
               r.left > kMinimisedLeft;
    };
    for (int attempt = 0; attempt < kShowAttempts; ++attempt) {
        // Async: a hung program must not hang us.
        ShowWindowAsync(top, static_cast<int>(cmd));
        int heldMs = 0;
        const bool held = co_await Until(
            loop_,
            [&heldMs, shown] {
                heldMs = shown() ? heldMs + kPollStepMs : 0;
                return heldMs > kPlaceSteadyMs;
            },
            kShowBoundMs);
        if (held) break;
    }
    Settle(top);
}

bool Win32Windows::IsIconic(WinHandle w) {
    HWND h = Live(w);
    return h && ::IsIconic(TopLevelOf(h));
}

Task<bool> Win32Windows::SetForegroundWindow(WinHandle w) {
    HWND h = Live(w);
    if (!h) co_return false;
    HWND top = TopLevelOf(h);
    if (!::SetForegroundWindow(top) && GetForegroundWindow() != top) {
        // The system lets only the program with the last input activate another: join the
        // input of the current foreground thread for the moment of the request.
        const DWORD self = GetCurrentThreadId();
        const DWORD fore = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
        const bool joined = fore != 0 && fore != self && AttachThreadInput(self, fore, TRUE);
        BringWindowToTop(top);
        ::SetForegroundWindow(top);
        if (joined) AttachThreadInput(self, fore, FALSE);
    }
    // The keys our callers press next go to whatever is active then: wait until it is ours,
    // and stays ours. Under Wine the focus events of earlier clicks can still hand the
    // foreground back for a moment, and a Ctrl pressed then reaches the other window.
    const auto ours = [top] { return ::IsWindow(top) && GetForegroundWindow() == top; };
    const ULONGLONG deadline = GetTickCount64() + kActivateBoundMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const bool active = co_await Until(loop_, ours, static_cast<int>(deadline - now));
        if (!active) co_return false;
        for (int steady = 0; steady < kForegroundSteadyMs && ours(); steady += kPollStepMs)
            co_await Delay(loop_, kPollStepMs);
        if (ours()) {
            Settle(top);
            co_return true;
        }
        ::SetForegroundWindow(top);
    }
    co_return false;
}

WinHandle Win32Windows::FocusedWindow() {
    return ToHandle(GetForegroundWindow());
}

int Win32Windows::ShowCursor(bool show) {
    return ::ShowCursor(show ? TRUE : FALSE);
}

}  // namespace velmora::platform::win32
