#include "app/QtPlatformFactory.h"

#include "app/mduUnitId.h"
#include "platform/posix/CpuidProcessorId.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/FileKeyStore.h"
#include "platform/posix/IconvCodePage.h"
#include "platform/posix/Pcre2Regex.h"
#include "platform/posix/PosixProcess.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtScreen.h"
#include "update/UpdateServices.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include <X11/Xlib.h>

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
}  // namespace

struct PlatformBackends::Impl {
    explicit Impl(const AppConfig& config)
        : clipboard(loop),
          screen(clipboard),
          input(display),
          windows(display),
          http(loop),
          downloadHttp(loop, DownloadLimits()),
          config(config) {}

    platform::qt::QtClock clock;
    platform::qt::QtEventLoop loop;
    platform::qt::QtMessageBox messageBox;
    platform::qt::QtClipboard clipboard;
    platform::qt::QtScreen screen;
    platform::x11::XDisplay display;
    platform::x11::XTestInput input;
    platform::x11::X11Windows windows;
    platform::posix::CurlHttp http;
    platform::posix::CurlHttp downloadHttp;
    platform::posix::Pcre2RegexEngine regex;
    platform::posix::IconvCodePage codePage;
    platform::posix::CpuidProcessorId processorId;
    platform::posix::PosixProcess process;
    platform::posix::FileKeyStore keyStore;
    AppConfig config;
    std::unique_ptr<update::UpdateServices> update;
    std::unique_ptr<translate::HttpTranslator> translator;
};

PlatformBackends::PlatformBackends(const AppConfig& config)
    : impl_(std::make_unique<Impl>(config)) {
    Impl& i = *impl_;
    platform_ = std::make_unique<platform::Platform>(
        platform::Platform{i.input, i.windows, i.clipboard, i.screen, i.http, i.regex, i.codePage,
                           i.clock, i.loop, i.keyStore, i.processorId, i.process, i.messageBox});
    update::UpdateConfig uc;
    uc.baseUrl = config.updateBaseUrl;
    i.update = std::make_unique<update::UpdateServices>(*platform_, uc, &i.downloadHttp);
    i.translator = std::make_unique<translate::HttpTranslator>(
        translate::TranslateContext{i.http, i.codePage, i.loop, config.translateEndpointUrl});
}

PlatformBackends::~PlatformBackends() = default;

IUpdateServices& PlatformBackends::update() {
    return *impl_->update;
}

translate::ITranslator& PlatformBackends::translator() {
    return *impl_->translator;
}

bool DisplayReachable() {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) return false;
    XCloseDisplay(d);
    return true;
}

std::string UnitIdWithoutDisplay() {
    platform::posix::CpuidProcessorId cpu;
    return mduUnitId::GetUnitId(cpu);
}

}  // namespace velmora::app
