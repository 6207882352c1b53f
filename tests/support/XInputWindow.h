#pragma once

// A plain Xlib window on its own connection that counts the input it receives. Options make it
// an override-redirect popup (no window manager, stays on top) or a window that never takes the
// keyboard focus.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/PollUntil.h"

struct XInputWindowOptions {
    bool overrideRedirect = false;
    bool takesFocus = true;
    bool markedOurs = false;  // _NET_WM_PID names this process, as our own windows' do
};

class XInputWindow {
  public:
    XInputWindow(int x, int y, int w, int h, XInputWindowOptions o = {}) {
        d_ = XOpenDisplay(nullptr);
        XSetWindowAttributes a{};
        a.override_redirect = o.overrideRedirect ? True : False;
        a.background_pixel = 0xd0d0d0;
        win_ = XCreateWindow(d_, DefaultRootWindow(d_), x, y, w, h, 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        XStoreName(d_, win_, "input window");
        XSizeHints hints{};
        hints.flags = USPosition | PPosition;
        hints.x = x;
        hints.y = y;
        XSetWMNormalHints(d_, win_, &hints);
        XWMHints wm{};
        wm.flags = InputHint;
        wm.input = o.takesFocus ? True : False;
        XSetWMHints(d_, win_, &wm);
        if (o.markedOurs) {
            const unsigned long pid = static_cast<unsigned long>(getpid());
            XChangeProperty(d_, win_, XInternAtom(d_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        }
        XSelectInput(d_, win_,
                     KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                         StructureNotifyMask);
        XMapRaised(d_, win_);
        XFlush(d_);
        PollUntil([&] { return Pump(MapNotify); });
    }
    ~XInputWindow() {
        if (win_) XDestroyWindow(d_, win_);
        XCloseDisplay(d_);
    }
    XInputWindow(const XInputWindow&) = delete;
    XInputWindow& operator=(const XInputWindow&) = delete;

    void Destroy() {
        XDestroyWindow(d_, win_);
        XSync(d_, False);
        win_ = 0;
    }
    Window id() const { return win_; }

    // Key presses and button presses received so far.
    int InputEvents(int settleMs = 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        XSync(d_, False);
        Pump(0);
        return inputs_;
    }

  private:
    // Reads pending events, counting input; true when one of `type` came.
    bool Pump(int type) {
        bool seen = false;
        while (XPending(d_)) {
            XEvent ev;
            XNextEvent(d_, &ev);
            if (ev.type == KeyPress || ev.type == ButtonPress) ++inputs_;
            if (ev.type == type) seen = true;
        }
        return seen;
    }
    Display* d_ = nullptr;
    Window win_ = 0;
    int inputs_ = 0;
};
