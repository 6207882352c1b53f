#include "update/UpdateServices.h"

#include "update/mduAutoUpdate.h"

namespace velmora::update {

UpdateServices::UpdateServices(platform::Platform& pf, UpdateConfig config,
                               platform::IHttp& downloadHttp)
    : pf_(pf), config_(std::move(config)), downloadHttp_(downloadHttp) {}

void UpdateServices::CleanUpdateFiles() {
    try {
        mduAutoUpdate::CleanUpdateFiles(pf_.process.ProgramFolder());
    } catch (...) {
    }
}

std::u16string UpdateServices::GetLatestVersion(const std::string& unitId) {
    return mduAutoUpdate::GetLatestVersion(pf_, config_.baseUrl, unitId);
}

std::vector<std::u16string> UpdateServices::GetUpdateFileList() {
    return mduAutoUpdate::GetUpdateFileList(pf_, config_.baseUrl);
}

void UpdateServices::DownloadUpdate(const std::vector<std::u16string>& fileList) {
    mduAutoUpdate::DownloadUpdate(pf_, downloadHttp_, config_, fileList);
}

}  // namespace velmora::update
