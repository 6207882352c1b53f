#include "app/DesktopBackends.h"

#include <cstdlib>
#include <string_view>

#include "platform/SystemScreen.h"
#include "platform/qt/QtClipboard.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include <X11/Xlib.h>

#include "platform/atspi/AtspiAccessibility.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"

namespace velmora::app {

namespace {

bool AccessibilityOff() {
    const char* v = std::getenv("VELMORA_ACCESSIBILITY");
    return v && std::string_view(v) == "off";
}

DesktopBackends X11Backends(platform::IEventLoop& loop) {
    DesktopBackends d;
    auto display = std::make_shared<platform::x11::XDisplay>();
    d.connection = display;
    d.clipboard = std::make_unique<platform::SystemClipboard>(loop);
    d.screen = std::make_unique<platform::SystemScreen>(*d.clipboard);
    d.input = std::make_unique<platform::SystemInput>(
        std::make_unique<platform::SystemInput::State>(*display));
    auto windows = std::make_unique<platform::x11::X11Windows>(*display, loop);
    // VELMORA_ACCESSIBILITY=off reads every history by keys and clipboard, as where no
    // accessibility tree exists (for a program whose tree misleads, and for comparison).
    if (AccessibilityOff())
        d.accessibility = std::make_unique<platform::NoAccessibility>();
    else
        d.accessibility = std::make_unique<platform::atspi::AtspiAccessibility>(*windows);
    d.windows = std::move(windows);
    d.description = "X11 (XTest, EWMH, the X clipboard)";
    return d;
}

}  // namespace

DesktopBackends ChooseDesktopBackends(const platform::SessionChoice&, platform::IEventLoop& loop) {
    return X11Backends(loop);
}

}  // namespace velmora::app
