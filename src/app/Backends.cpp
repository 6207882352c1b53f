#include "app/Backends.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "app/DesktopBackends.h"
#include "platform/SystemClock.h"
#include "platform/posix/CpuidProcessorId.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "platform/posix/Pcre2Regex.h"
#include "platform/posix/PosixPipeline.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/RegistryFile.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtMessageBox.h"
#include "update/mduUnitId.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include <X11/Xlib.h>

namespace velmora::app {

struct Backends::Impl {
    Impl()
        : desktop(ChooseDesktopBackends(platform::ChooseSession(platform::SessionEnvFromProcess()),
                                        loop)),
          http(loop),
          downloadHttp(loop, platform::HttpLimits::ForDownloads()),
          programs(&loop) {}

    platform::SystemClock clock;
    platform::qt::QtEventLoop loop;
    platform::qt::QtMessageBox messageBox;
    DesktopBackends desktop;
    // The desktop's ports under the names the bundle takes them by.
    platform::IInput& input = *desktop.input;
    platform::IWindows& windows = *desktop.windows;
    platform::IClipboard& clipboard = *desktop.clipboard;
    platform::IScreen& screen = *desktop.screen;
    platform::posix::CurlHttp http;
    platform::posix::CurlHttp downloadHttp;
    platform::posix::Pcre2RegexEngine regex;
    platform::posix::IconvCodePage codePage;
    platform::posix::CpuidProcessorId processorId;
    platform::posix::PosixProcess process;
    platform::posix::RegistryFile keyStore;
    platform::posix::PosixProgramRunner programs;
};

Backends::Backends() : impl_(std::make_unique<Impl>()) {
    platform_ = std::make_unique<platform::Platform>(
        platform::BundleOf(*impl_, *impl_->desktop.accessibility));
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
