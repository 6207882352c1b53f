#pragma once

// Other programs' windows as a map the test fills in; placing, showing and activating are logged.

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/IWindows.h"
#include "platform/fake/ActionLog.h"

namespace velmora::platform::fake {

struct FakeWindow {
    Rect rect;
    bool iconic = false;
    bool topmost = false;
    WinHandle parent = 0;       // a child lies inside its parent and wins over it at a point
    bool refusesFocus = false;  // the window manager will not activate it
    bool own = false;           // made by this process
};

class FakeWindows : public IWindows {
  public:
    explicit FakeWindows(ActionLog& log) : log_(log) {}

    std::map<WinHandle, FakeWindow> windows;  // later entries win at a point, children first
    WinHandle foreground = 0;
    int cursorCount = 0;
    std::set<WinHandle> watched;

    bool IsWindow(WinHandle w) override { return windows.contains(w); }
    void Watch(WinHandle w) override { watched.insert(w); }
    WinHandle FocusedWindow() override { return foreground; }

    bool IsInside(WinHandle w, WinHandle outer) override {
        for (int depth = 0; w != 0 && depth < 64; ++depth) {
            if (w == outer) return true;
            auto it = windows.find(w);
            if (it == windows.end()) return false;
            w = it->second.parent;
        }
        return false;
    }

    bool IsOwnWindow(WinHandle w) override {
        for (int depth = 0; w != 0 && depth < 64; ++depth) {
            auto it = windows.find(w);
            if (it == windows.end()) return false;
            if (it->second.own) return true;
            w = it->second.parent;
        }
        return false;
    }

    WinHandle WindowFromPoint(Point p) override {
        WinHandle found = 0;
        for (const auto& [h, w] : windows) {
            if (p.x >= w.rect.left && p.x < w.rect.right && p.y >= w.rect.top &&
                p.y < w.rect.bottom)
                if (found == 0 || !IsInside(found, h)) found = h;
        }
        return found;
    }

    std::optional<Rect> GetWindowRect(WinHandle w) override {
        auto it = windows.find(w);
        if (it == windows.end()) return std::nullopt;
        return it->second.rect;
    }

    std::optional<Point> ScreenToClient(WinHandle w, Point p) override {
        const auto rect = GetWindowRect(w);
        if (!rect) return std::nullopt;
        return Point{p.x - rect->left, p.y - rect->top};
    }

    Task<> SetTopmost(WinHandle w, bool topmost, Rect at) override {
        log_.Add("topmost " + std::to_string(w) + " " + (topmost ? "on " : "off ") +
                 std::to_string(at.left) + "," + std::to_string(at.top) + "," +
                 std::to_string(at.right - at.left) + "x" + std::to_string(at.bottom - at.top));
        auto it = windows.find(w);
        if (it == windows.end()) co_return;
        it->second.topmost = topmost;
        it->second.rect = at;
    }

    Task<> ShowWindow(WinHandle w, ShowCommand cmd) override {
        log_.Add("show " + std::to_string(w) + " " + std::to_string(static_cast<int>(cmd)));
        auto it = windows.find(w);
        if (it == windows.end()) co_return;
        it->second.iconic = (cmd == ShowCommand::Minimize);
    }

    bool IsIconic(WinHandle w) override {
        log_.Add("iconic " + std::to_string(w));
        auto it = windows.find(w);
        return it != windows.end() && it->second.iconic;
    }

    Task<bool> SetForegroundWindow(WinHandle w) override {
        log_.Add("foreground " + std::to_string(w));
        if (w == 0) co_return false;
        // A handle the test never described (our own main window) takes the focus.
        auto it = windows.find(w);
        if (it != windows.end() && it->second.refusesFocus) co_return false;
        foreground = w;
        co_return true;
    }

    int ShowCursor(bool show) override {
        cursorCount += show ? 1 : -1;
        log_.Add(std::string("showcursor ") + (show ? "1" : "0"));
        return cursorCount;
    }

  private:
    ActionLog& log_;
};

}  // namespace velmora::platform::fake
