// A small program that starts the way the companion does up to its main window: unit id, clean
// up, version check, and the update when one is due, over the real HTTP, process and file
// backends. Each start appends "start <version>" to run.log in its folder, and "main <version>"
// where the companion would open its main window. The version is the text after VERSION= below,
// so a test makes a "newer build" by patching those bytes in a copy of this program.

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CpuidProcessorId.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "platform/posix/PosixProcess.h"
#include "update/UpdateServices.h"
#include "update/mduAutoUpdate.h"
#include "update/mduUnitId.h"

using namespace velmora;

namespace {
const char kVersionMark[] = "VERSION=20090923";

std::string Version() {
    return std::string(kVersionMark + 8);
}

void Log(const std::filesystem::path& folder, const std::string& line) {
    std::ofstream(folder / "run.log", std::ios::app) << line << "\n";
}
// Versions are ASCII digits.
std::string Narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

}  // namespace

int main() {
    platform::fake::FakePlatform f;
    platform::posix::IconvCodePage codePage;
    platform::posix::CpuidProcessorId processorId;
    platform::posix::PosixProcess process;
    platform::posix::CurlHttp::Limits quick;
    quick.connectTimeoutMs = 2000;
    quick.totalTimeoutMs = 5000;
    platform::posix::CurlHttp http(f.loop, quick);
    platform::posix::CurlHttp::Limits big;
    big.totalTimeoutMs = 60000;
    big.maxBodyBytes = 64u << 20;
    platform::posix::CurlHttp downloads(f.loop, big);
    platform::Platform pf{.input = f.input,
                          .windows = f.windows,
                          .clipboard = f.clipboard,
                          .screen = f.screen,
                          .http = http,
                          .regex = f.regex,
                          .codePage = codePage,
                          .clock = f.clock,
                          .loop = f.loop,
                          .keyStore = f.keyStore,
                          .processorId = processorId,
                          .process = process,
                          .messageBox = f.messageBox,
                          .accessibility = f.accessibility};
    const char* base = std::getenv("VELMORA_UPDATE_URL");
    update::UpdateServices services(pf, update::UpdateConfig{.baseUrl = base ? base : ""},
                                    downloads);

    const auto folder = process.ProgramFolder();
    const std::string unitId = update::mduUnitId::GetUnitId(processorId);
    Log(folder, "start " + Version());
    services.CleanUpdateFiles();
    if (update::mduAutoUpdate::IsNewerVersion(Version(),
                                              Narrow(services.GetLatestVersion(unitId)))) {
        try {
            services.DownloadUpdate(services.GetUpdateFileList());
        } catch (const platform::HttpError& e) {
            Log(folder, std::string("list failed: ") + e.what());
        }
        Log(folder, "update abandoned");
    }
    Log(folder, "main " + Version());
    return 0;
}
