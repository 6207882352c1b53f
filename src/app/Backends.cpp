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

namespace {
platform::posix::CurlHttp::Limits DownloadLimits() {
    platform::posix::CurlHttp::Limits l;
    l.totalTimeoutMs = 300'000;
    l.lowSpeedSeconds = 30;
    l.maxBodyBytes = 256u << 20;
    return l;
}

}  // namespace

struct Backends::Impl {
    Impl()
        : desktop(ChooseDesktopBackends(platform::ChooseSession(platform::SessionEnvFromProcess()),
                                        loop)),
          http(loop),
          downloadHttp(loop, DownloadLimits()),
          programs(&loop) {}

    platform::SystemClock clock;
    platform::qt::QtEventLoop loop;
    platform::qt::QtMessageBox messageBox;
    DesktopBackends desktop;
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
    const DesktopBackends& d = impl_->desktop;
    platform_ =
        std::make_unique<platform::Platform>(platform::Platform{.input = *d.input,
                                                                .windows = *d.windows,
                                                                .clipboard = *d.clipboard,
                                                                .screen = *d.screen,
                                                                .http = impl_->http,
                                                                .regex = impl_->regex,
                                                                .codePage = impl_->codePage,
                                                                .clock = impl_->clock,
                                                                .loop = impl_->loop,
                                                                .keyStore = impl_->keyStore,
                                                                .processorId = impl_->processorId,
                                                                .process = impl_->process,
                                                                .messageBox = impl_->messageBox,
                                                                .accessibility = *d.accessibility});
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
