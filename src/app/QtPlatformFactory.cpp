#include "app/QtPlatformFactory.h"

#include <X11/Xlib.h>

#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtMessageBox.h"

namespace velmora::app {

struct PlatformBackends::Impl {
    platform::qt::QtClock clock;
    platform::qt::QtEventLoop loop;
    platform::qt::QtMessageBox messageBox;
    // Interim: backends still being written come from the in-memory set.
    platform::fake::FakePlatform interim;
};

PlatformBackends::PlatformBackends() : impl_(std::make_unique<Impl>()) {
    auto& f = impl_->interim;
    platform_ = std::make_unique<platform::Platform>(platform::Platform{
        f.input, f.windows, f.clipboard, f.screen, f.http, f.regex, f.codePage, impl_->clock,
        impl_->loop, f.keyStore, f.processorId, f.process, impl_->messageBox});
}

PlatformBackends::~PlatformBackends() = default;

bool DisplayReachable() {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) return false;
    XCloseDisplay(d);
    return true;
}

std::filesystem::path ProgramFolderOfThisProcess() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

}  // namespace velmora::app
