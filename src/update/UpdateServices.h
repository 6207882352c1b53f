#pragma once

#include "app/IUpdateServices.h"
#include "platform/Platform.h"
#include "update/UpdateConfig.h"

namespace velmora::update {

// The update machinery as start-up and the heartbeat see it. Texts cross IUpdateServices as
// UTF-8. File downloads may go through their own HTTP backend (with limits suited to large
// bodies); without one they share the platform's.
class UpdateServices : public app::IUpdateServices {
  public:
    UpdateServices(platform::Platform& pf, UpdateConfig config,
                   platform::IHttp* downloadHttp = nullptr);

    std::string GetUnitId() override;
    void CleanUpdateFiles() override;
    std::string GetLatestVersion(const std::string& unitId) override;
    std::vector<std::string> GetUpdateFileList() override;
    void DownloadUpdate(const std::vector<std::string>& fileList) override;

    const UpdateConfig& config() const { return config_; }

  private:
    platform::Platform& pf_;
    UpdateConfig config_;
    platform::IHttp* downloadHttp_;
};

}  // namespace velmora::update
