#pragma once

#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora::platform::x11 {

// Frees memory that Xlib handed out.
struct XFreeDeleter {
    void operator()(void* p) const {
        if (p) XFree(p);
    }
};
template <typename T>
using XPtr = std::unique_ptr<T, XFreeDeleter>;

// Owns one connection to the X server. Every error on this connection is recorded, never
// fatal: other programs' windows may vanish between two of our requests, and a BadWindow
// must not end our process.
class XDisplay {
  public:
    XDisplay();  // $DISPLAY; throws std::runtime_error when no server is reachable
    explicit XDisplay(const char* name);
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    Display* get() const { return dpy_; }
    Window Root() const { return root_; }
    int ScreenNumber() const { return screen_; }

    Atom GetAtom(const char* name);
    // Whether the window manager lists the atom in _NET_SUPPORTED (read once).
    bool Supports(const char* netAtom);
    bool HasWindowManager();

    // A window property of format 32 as a list of values; empty when absent or on error.
    std::vector<unsigned long> GetCardinals(Window w, Atom property, Atom type);
    bool HasProperty(Window w, Atom property);

    // Sends a 32-bit client message to the root window, as EWMH asks of pagers and tools.
    void SendRootMessage(Window w, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 0,
                         long l4 = 0);

    // Errors seen on this connection since the last call (XSync first, so all are in).
    int TakeErrors();

  private:
    friend int RecordError(Display*, XErrorEvent*);
    void Init();
    Display* dpy_ = nullptr;
    Window root_ = 0;
    int screen_ = 0;
    int errors_ = 0;
    std::map<std::string, Atom> atoms_;
    std::optional<std::set<Atom>> supported_;
};

// Counts the errors of the requests made in its scope: XSync at both ends.
class ErrorScope {
  public:
    explicit ErrorScope(XDisplay& d) : d_(d) { d_.TakeErrors(); }
    ~ErrorScope() { XSync(d_.get(), False); }
    // True when a request in this scope failed so far.
    bool Failed() {
        failed_ = failed_ || d_.TakeErrors() > 0;
        return failed_;
    }

  private:
    XDisplay& d_;
    bool failed_ = false;
};

}  // namespace velmora::platform::x11
