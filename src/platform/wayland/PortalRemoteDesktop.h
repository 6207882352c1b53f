#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/IEventLoop.h"

namespace velmora::platform::wayland {

// A remote-desktop session through the desktop portal (GNOME on Wayland): a keyboard, a pointer
// and one monitor's screen-cast stream, granted by the user in the portal's dialog. The portal
// answers each step with a Response signal on a request object; every wait for one runs the
// program's event loop and is bounded.
//
// Started() is false, and Reason() says why, when the portal is missing, the user refused,
// the grant lacks the keyboard, the pointer or a stream, or the desktop ended the session
// later. Calls on a session that is not started do nothing.
class PortalRemoteDesktop {
  public:
    struct Options {
        std::string busAddress;        // empty: the session bus
        int callTimeoutMs = 5000;      // each method call and each answer but Start's
        int dialogTimeoutMs = 120000;  // the user's answer to the permission dialog
    };
    // Where the stream's picture lies in the desktop's layout.
    struct Stream {
        std::uint32_t node = 0;
        int x = 0, y = 0, width = 0, height = 0;
    };

    PortalRemoteDesktop(IEventLoop& loop, Options options);
    ~PortalRemoteDesktop();
    PortalRemoteDesktop(const PortalRemoteDesktop&) = delete;
    PortalRemoteDesktop& operator=(const PortalRemoteDesktop&) = delete;

    // Creates the session and asks for it (the dialog shows); true once it is granted.
    bool Start();
    bool Started() const;
    const std::string& Reason() const;
    const Stream& StreamInfo() const;

    // The events; each call returns once the portal took it (bounded), false when it did not.
    bool PointerMotionAbsolute(double x, double y);  // in the stream's pixels
    bool PointerButton(int evdevButton, bool pressed);
    bool KeyboardKeysym(std::uint32_t keysym, bool pressed);
    // A file descriptor of a PipeWire connection that sees the stream's node; -1 when none.
    // The caller owns it.
    int OpenPipeWireRemote();

    struct State;

  private:
    std::unique_ptr<State> s_;
};

}  // namespace velmora::platform::wayland
