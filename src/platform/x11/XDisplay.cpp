#include "platform/x11/XDisplay.h"

#include <X11/Xatom.h>

#include <mutex>
#include <stdexcept>

namespace velmora::platform::x11 {

namespace {
std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}
std::map<Display*, XDisplay*>& Registry() {
    static std::map<Display*, XDisplay*> r;
    return r;
}
XErrorHandler g_previous = nullptr;
bool g_installed = false;
}  // namespace

// Xlib has one process-wide error handler; ours records errors on our connections and hands
// everything else to whoever was installed before (Xlib's default exits the process).
int RecordError(Display* dpy, XErrorEvent* ev) {
    {
        std::lock_guard lock(RegistryMutex());
        auto it = Registry().find(dpy);
        if (it != Registry().end()) {
            ++it->second->errors_;
            return 0;
        }
    }
    return g_previous ? g_previous(dpy, ev) : 0;
}

XDisplay::XDisplay() : XDisplay(nullptr) {}

XDisplay::XDisplay(const char* name) {
    dpy_ = XOpenDisplay(name);
    if (!dpy_) throw std::runtime_error("cannot open the X display");
    Init();
}

void XDisplay::Init() {
    screen_ = DefaultScreen(dpy_);
    root_ = RootWindow(dpy_, screen_);
    std::lock_guard lock(RegistryMutex());
    Registry()[dpy_] = this;
    if (!g_installed) {
        g_previous = XSetErrorHandler(RecordError);
        g_installed = true;
    }
}

XDisplay::~XDisplay() {
    XSync(dpy_, False);
    {
        std::lock_guard lock(RegistryMutex());
        Registry().erase(dpy_);
    }
    XCloseDisplay(dpy_);
}

Atom XDisplay::GetAtom(const char* name) {
    auto it = atoms_.find(name);
    if (it != atoms_.end()) return it->second;
    Atom a = XInternAtom(dpy_, name, False);
    atoms_[name] = a;
    return a;
}

bool XDisplay::Supports(const char* netAtom) {
    if (!supported_) {
        supported_.emplace();
        for (unsigned long a : GetCardinals(root_, GetAtom("_NET_SUPPORTED"), XA_ATOM))
            supported_->insert(static_cast<Atom>(a));
        // An empty list may mean the window manager was not up yet; ask again next time.
        if (supported_->empty()) {
            supported_.reset();
            return false;
        }
    }
    return supported_->count(GetAtom(netAtom)) > 0;
}

bool XDisplay::HasWindowManager() {
    return !GetCardinals(root_, GetAtom("_NET_SUPPORTING_WM_CHECK"), XA_WINDOW).empty();
}

std::vector<unsigned long> XDisplay::GetCardinals(Window w, Atom property, Atom type) {
    std::vector<unsigned long> out;
    if (!w) return out;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    int rc = XGetWindowProperty(dpy_, w, property, 0, 4096, False, type, &actualType, &format,
                                &count, &after, &raw);
    XPtr<unsigned char> data(raw);
    if (rc != Success || !raw || format != 32 || actualType != type) return out;
    // Format-32 data arrives as longs whatever the platform's long size.
    auto* values = reinterpret_cast<unsigned long*>(raw);
    out.assign(values, values + count);
    return out;
}

bool XDisplay::HasProperty(Window w, Atom property) {
    if (!w) return false;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    int rc = XGetWindowProperty(dpy_, w, property, 0, 0, False, AnyPropertyType, &actualType,
                                &format, &count, &after, &raw);
    XPtr<unsigned char> data(raw);
    return rc == Success && actualType != None;
}

void XDisplay::SendRootMessage(Window w, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.serial = 0;
    ev.xclient.send_event = True;
    ev.xclient.display = dpy_;
    ev.xclient.window = w;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy_);
}

int XDisplay::TakeErrors() {
    // A toolkit started after us may have put its own handler in place; take ours back and
    // keep theirs as the fallback for their connections.
    XErrorHandler current = XSetErrorHandler(RecordError);
    if (current != RecordError) g_previous = current;
    XSync(dpy_, False);
    std::lock_guard lock(RegistryMutex());
    int n = errors_;
    errors_ = 0;
    return n;
}

}  // namespace velmora::platform::x11
