#pragma once

#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/IInput.h"
#include "platform/IWindows.h"
#include "platform/wayland/OwnWindowSearch.h"
#include "platform/wayland/ScreenCast.h"

namespace velmora::platform::wayland {

// Window operations where the desktop names no other program's window and cannot place or
// activate one (GNOME on Wayland through the portal). What this backend knows instead is the
// picture the user picked on: a handle stands for "the picture around this point, as frozen
// for the pick", and WindowFromPoint gives it back only while the live screen around the point
// still shows that picture. A window that was closed, moved or covered there, or anything else
// now drawn at the point, gives 0: the checks before each click and key then refuse, and the
// send says the target is lost. Nothing is ever typed where the picture no longer matches.
//
// Except inside a pane of text such as a chat history, whose pixels change with every message
// that arrives and every selection made in it: there the point counts as still in its window
// while the band just outside the pane (the window's background and controls around it) shows
// what it showed at the pick (PaneFrame.h says what that cannot tell apart).
//
// What it cannot do, and does not pretend to: no window's bounds (a rectangle is the whole
// stream's monitor), no minimising or restoring, no topmost, no activation (the first click
// at the checked point gives the window the focus, as mutter focuses on click), no focused
// window (0: the in-place shortcut then asks the accessibility tree for the focused input box).
//
// Our own main window is the exception, once DescribeOwnWindow said how it looks: OwnTopLevel names
// it by a handle of its own, and activating it clicks it where the live screen shows a patch of
// it exactly once (mutter focuses on click; it refuses activation otherwise). Where the patch
// is not seen, or seen twice, or covered in part, nothing is clicked.
class ScreenCastWindows : public IWindows {
  public:
    // Pixels each side of a point that are compared.
    static constexpr int kRadius = 12;
    // The handle of our own main window; picked points never get it.
    static constexpr WinHandle kOwnHandle = std::numeric_limits<WinHandle>::max();
    // How long the patch is looked for (a frame showing our window's latest drawing may still
    // be on its way), and how long our window may take to become active after the click.
    static constexpr int kFindMs = 1000;
    static constexpr int kActivateMs = 3000;

    explicit ScreenCastWindows(ScreenCast& cast) : cast_(cast) {}
    // Where our window is clicked through, and waited on: both outlive this object.
    void ClickOwnWindowThrough(IInput& input, IEventLoop& loop);
    void DescribeOwnWindow(OwnWindowLook look) override { own_ = std::move(look); }
    bool IsWindow(WinHandle w) override;
    void Watch(WinHandle w) override;
    bool IsInside(WinHandle w, WinHandle outer) override;
    bool IsOwnWindow(WinHandle w) override { return w == kOwnHandle && Knows(); }
    WinHandle WindowFromPoint(Point screen) override;
    std::optional<Rect> GetWindowRect(WinHandle w) override;
    std::optional<Point> ScreenToClient(WinHandle w, Point screen) override;
    Task<> SetTopmost(WinHandle, bool, Rect) override { co_return; }
    Task<> ShowWindow(WinHandle, ShowCommand) override { co_return; }
    bool IsIconic(WinHandle) override { return false; }
    Task<bool> SetForegroundWindow(WinHandle w) override;
    WinHandle FocusedWindow() override { return 0; }
    int ShowCursor(bool show) override { return cursorCount_ += show ? 1 : -1; }
    WinHandle OwnTopLevel(WinHandle, const std::string&) override {
        return Knows() ? kOwnHandle : 0;
    }

  private:
    // A point of a frozen picture: what a handle stands for.
    struct Sighting {
        std::shared_ptr<const Bitmap> picture;
        int generation = 0;
        Point at;
        bool watched = false;
        // The pane holding the point in the picture, found once at the first need.
        std::optional<std::optional<Rect>> pane;
    };
    // Whether the live screen still shows the sighting's window at its point.
    bool StillThere(Sighting& s);
    void Forget();
    bool Knows() const { return input_ && loop_ && own_.view && own_.active; }
    // Where on the layout to click our window: the patch's one place in the live frame.
    std::optional<Point> OwnClickPoint();
    Task<bool> ActivateOwn();

    ScreenCast& cast_;
    std::map<WinHandle, Sighting> sightings_;
    WinHandle next_ = 1;
    int cursorCount_ = 0;
    IInput* input_ = nullptr;
    IEventLoop* loop_ = nullptr;
    OwnWindowLook own_;
};

}  // namespace velmora::platform::wayland
