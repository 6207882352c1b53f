#include "platform/wayland/ScreenCastWindows.h"

#include <cstdio>

#include "platform/wayland/PaneFrame.h"
#include "platform/wayland/PictureCompare.h"

namespace velmora::platform::wayland {

namespace {
// Handles nobody watched (asked for while picking) are kept this many at most.
constexpr std::size_t kUnwatchedKept = 16;
}  // namespace

bool ScreenCastWindows::IsWindow(WinHandle w) {
    return sightings_.count(w) > 0 && cast_.Available();
}

void ScreenCastWindows::Watch(WinHandle w) {
    const auto it = sightings_.find(w);
    if (it != sightings_.end()) it->second.watched = true;
}

bool ScreenCastWindows::IsInside(WinHandle w, WinHandle outer) {
    return w != 0 && w == outer && IsWindow(w);
}

WinHandle ScreenCastWindows::WindowFromPoint(Point screen) {
    if (!cast_.Available()) return 0;
    // A point picked before: its own picture decides, newest first.
    for (auto it = sightings_.rbegin(); it != sightings_.rend(); ++it)
        if (it->second.at == screen && StillThere(it->second)) return it->first;
    // A point of the picture frozen last: a new handle while the screen still shows it.
    if (cast_.Generation() == 0 || !cast_.LiveMatchesFrozen(screen, kRadius)) return 0;
    const WinHandle w = next_++;
    sightings_[w] =
        Sighting{cast_.FrozenPicture(), cast_.Generation(), screen, false, std::nullopt};
    Forget();
    return w;
}

bool ScreenCastWindows::StillThere(Sighting& s) {
    const Rect area = cast_.Area();
    const Point at{s.at.x - area.left, s.at.y - area.top};
    const Bitmap live = cast_.Live();
    if (SameAround(*s.picture, live, at, kRadius)) return true;
    if (!s.pane) s.pane = PaneAround(*s.picture, at, kRadius);
    return *s.pane && SameAroundPane(*s.picture, live, **s.pane);
}

void ScreenCastWindows::Forget() {
    std::size_t unwatched = 0;
    for (const auto& [w, s] : sightings_) unwatched += s.watched ? 0 : 1;
    for (auto it = sightings_.begin(); it != sightings_.end() && unwatched > kUnwatchedKept;) {
        if (!it->second.watched) {
            it = sightings_.erase(it);
            --unwatched;
        } else {
            ++it;
        }
    }
}

std::optional<Rect> ScreenCastWindows::GetWindowRect(WinHandle w) {
    if (!IsWindow(w)) return std::nullopt;
    return cast_.Area();
}

std::optional<Point> ScreenCastWindows::ScreenToClient(WinHandle w, Point screen) {
    if (!IsWindow(w)) return std::nullopt;
    const Rect area = cast_.Area();
    return Point{screen.x - area.left, screen.y - area.top};
}

void ScreenCastWindows::ClickOwnWindowThrough(IInput& input, IEventLoop& loop) {
    input_ = &input;
    loop_ = &loop;
}

Task<bool> ScreenCastWindows::SetForegroundWindow(WinHandle w) {
    if (w == kOwnHandle && Knows()) co_return co_await ActivateOwn();
    // Nothing can activate another program's window from here: the click the caller makes at
    // its checked point does.
    co_return IsWindow(w);
}

std::optional<Point> ScreenCastWindows::OwnClickPoint() {
    // Our window may have gone (and its look with it) while a wait was suspended.
    if (!Knows()) return std::nullopt;
    const std::optional<OwnView> view = own_.view();
    if (!view || !cast_.Available()) return std::nullopt;
    const std::optional<Point> at = FindOnce(cast_.Live(), view->patch);
    if (!at) return std::nullopt;
    const Rect area = cast_.Area();
    return Point{area.left + at->x + view->click.x, area.top + at->y + view->click.y};
}

Task<bool> ScreenCastWindows::ActivateOwn() {
    if (own_.active()) co_return true;
    std::optional<Point> at;
    const bool seen = co_await Until(
        *loop_, [&] { return (at = OwnClickPoint()).has_value(); }, kFindMs);
    if (!seen) {
        std::fprintf(stderr,
                     "velmora: our window is not where GNOME's screen shows it once, uncovered; "
                     "click back into it\n");
        co_return false;
    }
    // The press a moment after the move (pressed at once, mutter focuses the window under the
    // pointer but passes the press on to no one more often), and only where the screen still
    // shows us then. The user's pointer goes back where it was once the click is made.
    const Point saved = input_->CursorPos();
    input_->MoveCursor(at->x, at->y);
    co_await Delay(*loop_, IEventLoop::kPollMs);
    if (OwnClickPoint() != at) {
        input_->MoveCursor(saved.x, saved.y);
        std::fprintf(stderr,
                     "velmora: our window moved on GNOME's screen as it was to be clicked; click "
                     "back into it\n");
        co_return false;
    }
    input_->LeftDown();
    input_->LeftUp();
    const bool active = co_await Until(*loop_, own_.active, kActivateMs);
    input_->MoveCursor(saved.x, saved.y);
    if (!active)
        std::fprintf(stderr,
                     "velmora: GNOME did not give our window the focus after a click on it; "
                     "click back into it\n");
    co_return active;
}

}  // namespace velmora::platform::wayland
