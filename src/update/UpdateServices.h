#pragma once

#include "platform/Platform.h"
#include "update/IUpdateServices.h"
#include "update/UpdateConfig.h"

namespace velmora::update {

// The update machinery as start-up and the heartbeat see it. File downloads go through their
// own HTTP client (with limits suited to large bodies); the small queries use the platform's.
class UpdateServices : public IUpdateServices {
  public:
    UpdateServices(platform::Platform& pf, UpdateConfig config, platform::IHttp& downloadHttp);

    void CleanUpdateFiles() override;
    std::u16string GetLatestVersion(const std::string& unitId) override;
    std::vector<std::u16string> GetUpdateFileList() override;
    void DownloadUpdate(const std::vector<std::u16string>& fileList) override;

    const UpdateConfig& config() const { return config_; }

  private:
    platform::Platform& pf_;
    UpdateConfig config_;
    platform::IHttp& downloadHttp_;
};

}  // namespace velmora::update
