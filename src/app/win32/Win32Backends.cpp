#include "app/win32/Win32Backends.h"

#include "platform/SystemClock.h"
#include "platform/SystemScreen.h"
#include "platform/win32/RegistryKeyStore.h"
#include "platform/win32/StdRegex.h"
#include "platform/win32/Win32Clipboard.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Input.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/Win32Process.h"
#include "platform/win32/Win32Windows.h"
#include "platform/win32/WinHttp.h"
#include "platform/win32/WmiProcessorId.h"
#include "update/mduUnitId.h"

namespace velmora::app::win32 {

namespace pw = platform::win32;

std::unique_ptr<platform::IPipeline> NoProgramRunner::NewPipeline() {
    // A pipeline whose every call says nothing runs.
    struct None : platform::IPipeline {
        bool Start(const std::vector<platform::Argv>&, std::string& error) override {
            error = "child programs are not supported on Windows";
            return false;
        }
        platform::PipeStatus Write(std::string_view, int) override {
            return platform::PipeStatus::NotRunning;
        }
        platform::PipeRead ReadUntil(char, int, std::size_t) override { return {}; }
        bool Alive() override { return false; }
        void Kill() override {}
    };
    return std::make_unique<None>();
}

platform::RunResult NoProgramRunner::Run(const platform::Argv&, std::string_view, int,
                                         std::size_t) {
    platform::RunResult r;
    r.error = "child programs are not supported on Windows";
    return r;
}

std::string ProcessorIdAlone() {
    pw::WmiProcessorId cpu;
    return update::mduUnitId::GetUnitId(cpu);
}

}  // namespace velmora::app::win32

namespace velmora::app {

namespace pw = platform::win32;

struct Backends::Impl {
    Impl()
        : clipboard(loop),
          screen(clipboard),
          windows(loop),
          http(loop),
          downloadHttp(loop, platform::HttpLimits::ForDownloads()) {}

    platform::SystemClock clock;
    pw::Win32EventLoop loop;
    pw::Win32MessageBox messageBox;
    platform::SystemClipboard clipboard;
    platform::SystemScreen screen;
    platform::SystemInput input{std::make_unique<platform::SystemInput::State>()};
    pw::Win32Windows windows;
    pw::WinHttp http;
    pw::WinHttp downloadHttp;
    pw::StdRegexEngine regex;
    pw::Win32CodePage codePage;
    pw::WmiProcessorId processorId;
    pw::Win32Process process;
    pw::RegistryKeyStore keyStore;
    win32::NoProgramRunner programs;
    platform::NoAccessibility accessibility;
};

Backends::Backends() : impl_(std::make_unique<Impl>()) {
    platform_ =
        std::make_unique<platform::Platform>(platform::BundleOf(*impl_, impl_->accessibility));
}

Backends::~Backends() = default;

platform::IHttp& Backends::downloadHttp() {
    return impl_->downloadHttp;
}

platform::IProgramRunner& Backends::programs() {
    return impl_->programs;
}

}  // namespace velmora::app
