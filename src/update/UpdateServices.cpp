#include "update/UpdateServices.h"

#include "app/mduUnitId.h"
#include "update/mduAutoUpdate.h"

namespace velmora::update {

UpdateServices::UpdateServices(platform::Platform& pf, UpdateConfig config,
                               platform::IHttp* downloadHttp)
    : pf_(pf), config_(std::move(config)), downloadHttp_(downloadHttp) {
    config_.baseUrl = NormalizeBaseUrl(config_.baseUrl);
}

std::string UpdateServices::GetUnitId() {
    return app::mduUnitId::GetUnitId(pf_.processorId);
}

void UpdateServices::CleanUpdateFiles() {
    try {
        mduAutoUpdate::CleanUpdateFiles(pf_.process.ProgramFolder());
    } catch (...) {
    }
}

std::string UpdateServices::GetLatestVersion(const std::string& unitId) {
    return pf_.codePage.ToUtf8(mduAutoUpdate::GetLatestVersion(pf_, config_.baseUrl, unitId));
}

std::vector<std::string> UpdateServices::GetUpdateFileList() {
    std::vector<std::string> out;
    for (const auto& e : mduAutoUpdate::GetUpdateFileList(pf_, config_.baseUrl))
        out.push_back(pf_.codePage.ToUtf8(e));
    return out;
}

void UpdateServices::DownloadUpdate(const std::vector<std::string>& fileList) {
    std::vector<std::u16string> list;
    for (const auto& e : fileList) list.push_back(pf_.codePage.FromUtf8(e));
    if (!downloadHttp_) {
        mduAutoUpdate::DownloadUpdate(pf_, config_, list);
        return;
    }
    platform::Platform pf{pf_.input,       pf_.windows,  pf_.clipboard, pf_.screen, *downloadHttp_,
                          pf_.regex,       pf_.codePage, pf_.clock,     pf_.loop,   pf_.keyStore,
                          pf_.processorId, pf_.process,  pf_.messageBox};
    mduAutoUpdate::DownloadUpdate(pf, config_, list);
}

}  // namespace velmora::update
