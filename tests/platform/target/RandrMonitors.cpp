#include "RandrMonitors.h"

// Xlibint and the protocol header redefine Xlib's type names: keep them out of other files.
#include <X11/Xlibint.h>
#include <X11/extensions/randrproto.h>

#include <cstring>

namespace velmora::target {

namespace {

// The server answers a client in the protocol version the client asked for; monitors need 1.5.
bool AskVersion(Display* dpy, int opcode) {
    LockDisplay(dpy);
    xRRQueryVersionReq* req;
    GetReq(RRQueryVersion, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->randrReqType = X_RRQueryVersion;
    req->majorVersion = 1;
    req->minorVersion = 5;
    xRRQueryVersionReply rep;
    bool ok = _XReply(dpy, reinterpret_cast<xReply*>(&rep), 0, xTrue) &&
              (rep.majorVersion > 1 || rep.minorVersion >= 5);
    UnlockDisplay(dpy);
    SyncHandle();
    return ok;
}

// The outputs of the monitors the server made itself (for Xvfb: its one output).
std::vector<CARD32> AutomaticOutputs(Display* dpy, int opcode, ::Window root) {
    std::vector<CARD32> outputs;
    LockDisplay(dpy);
    xRRGetMonitorsReq* req;
    GetReq(RRGetMonitors, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->randrReqType = X_RRGetMonitors;
    req->window = static_cast<CARD32>(root);
    req->get_active = xTrue;
    xRRGetMonitorsReply rep;
    if (_XReply(dpy, reinterpret_cast<xReply*>(&rep), 0, xFalse)) {
        std::vector<CARD32> body(rep.length);
        _XRead(dpy, reinterpret_cast<char*>(body.data()), static_cast<long>(rep.length) * 4);
        size_t at = 0;
        for (CARD32 m = 0; m < rep.nmonitors && at + sz_xRRMonitorInfo / 4 <= body.size(); ++m) {
            xRRMonitorInfo info;
            std::memcpy(&info, &body[at], sz_xRRMonitorInfo);
            at += sz_xRRMonitorInfo / 4;
            for (CARD16 o = 0; o < info.noutput && at < body.size(); ++o, ++at)
                if (info.automatic) outputs.push_back(body[at]);
        }
    }
    UnlockDisplay(dpy);
    SyncHandle();
    return outputs;
}

void SetMonitor(Display* dpy, int opcode, ::Window root, ::Atom name, const MonitorRect& r,
                const std::vector<CARD32>& outputs, bool primary) {
    LockDisplay(dpy);
    xRRSetMonitorReq* req;
    const long extra = static_cast<long>(outputs.size()) * 4;
    GetReqExtra(RRSetMonitor, extra, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->randrReqType = X_RRSetMonitor;
    req->window = static_cast<CARD32>(root);
    req->monitor.name = static_cast<CARD32>(name);
    req->monitor.primary = primary;
    req->monitor.automatic = xFalse;
    req->monitor.noutput = static_cast<CARD16>(outputs.size());
    req->monitor.x = static_cast<INT16>(r.x);
    req->monitor.y = static_cast<INT16>(r.y);
    req->monitor.width = static_cast<CARD16>(r.width);
    req->monitor.height = static_cast<CARD16>(r.height);
    // About 96 dots per inch, so that no DPI-based scaling kicks in.
    req->monitor.widthInMillimeters = static_cast<CARD32>(r.width * 254 / 960);
    req->monitor.heightInMillimeters = static_cast<CARD32>(r.height * 254 / 960);
    if (extra) std::memcpy(req + 1, outputs.data(), static_cast<size_t>(extra));
    UnlockDisplay(dpy);
    SyncHandle();
}

}  // namespace

std::string SetMonitors(const std::string& display, const std::vector<MonitorRect>& monitors) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return "cannot open display " + display;
    std::string error;
    int opcode = 0, event = 0, err = 0;
    if (!XQueryExtension(dpy, "RANDR", &opcode, &event, &err)) {
        error = "no RANDR extension";
    } else if (!AskVersion(dpy, opcode)) {
        error = "RANDR older than 1.5";
    } else {
        ::Window root = DefaultRootWindow(dpy);
        std::vector<CARD32> outputs = AutomaticOutputs(dpy, opcode, root);
        for (size_t i = 0; i < monitors.size(); ++i) {
            std::string name = "VELMORA-" + std::to_string(i);
            // Interned before SetMonitor takes the display lock, which XInternAtom takes too.
            ::Atom atom = XInternAtom(dpy, name.c_str(), False);
            SetMonitor(dpy, opcode, root, atom, monitors[i],
                       i == 0 ? outputs : std::vector<CARD32>{}, i == 0);
        }
        XSync(dpy, False);
    }
    XCloseDisplay(dpy);
    return error;
}

}  // namespace velmora::target
