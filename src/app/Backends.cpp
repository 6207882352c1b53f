#include "app/Backends.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/SystemClock.h"
#include "platform/SystemScreen.h"
#include "platform/posix/CpuidProcessorId.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "platform/posix/Pcre2Regex.h"
#include "platform/posix/PosixPipeline.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/RegistryFile.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtMessageBox.h"
#include "update/mduUnitId.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include <X11/Xlib.h>

#include "platform/atspi/AtspiAccessibility.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"

namespace velmora::app {

namespace {
platform::posix::CurlHttp::Limits DownloadLimits() {
    platform::posix::CurlHttp::Limits l;
    l.totalTimeoutMs = 300'000;
    l.lowSpeedSeconds = 30;
    l.maxBodyBytes = 256u << 20;
    return l;
}

bool AccessibilityOff() {
    const char* v = std::getenv("VELMORA_ACCESSIBILITY");
    return v && std::string_view(v) == "off";
}
}  // namespace

struct Backends::Impl {
    Impl()
        : clipboard(loop),
          screen(clipboard),
          input(std::make_unique<platform::SystemInput::State>(display)),
          windows(display, loop),
          http(loop),
          downloadHttp(loop, DownloadLimits()),
          programs(&loop) {}

    platform::SystemClock clock;
    platform::qt::QtEventLoop loop;
    platform::qt::QtMessageBox messageBox;
    platform::SystemClipboard clipboard;
    platform::SystemScreen screen;
    platform::x11::XDisplay display;
    platform::SystemInput input;
    platform::x11::X11Windows windows;
    platform::posix::CurlHttp http;
    platform::posix::CurlHttp downloadHttp;
    platform::posix::Pcre2RegexEngine regex;
    platform::posix::IconvCodePage codePage;
    platform::posix::CpuidProcessorId processorId;
    platform::posix::PosixProcess process;
    platform::posix::RegistryFile keyStore;
    platform::posix::PosixProgramRunner programs;
    // VELMORA_ACCESSIBILITY=off reads every history by keys and clipboard, as where no
    // accessibility tree exists (for a program whose tree misleads, and for comparison).
    std::unique_ptr<platform::IAccessibility> accessibility =
        AccessibilityOff() ? std::unique_ptr<platform::IAccessibility>(
                                 std::make_unique<platform::NoAccessibility>())
                           : std::make_unique<platform::atspi::AtspiAccessibility>(windows);
};

Backends::Backends() : impl_(std::make_unique<Impl>()) {
    platform_ =
        std::make_unique<platform::Platform>(platform::BundleOf(*impl_, *impl_->accessibility));
}

Backends::~Backends() = default;

platform::IHttp& Backends::downloadHttp() {
    return impl_->downloadHttp;
}

platform::IProgramRunner& Backends::programs() {
    return impl_->programs;
}

bool DisplayReachable() {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) return false;
    XCloseDisplay(d);
    return true;
}

std::string ProcessorIdWithoutDisplay() {
    platform::posix::CpuidProcessorId cpu;
    return update::mduUnitId::GetUnitId(cpu);
}

}  // namespace velmora::app
