#pragma once

#include <string>
#include <vector>

namespace velmora::app {

// What start-up and the heartbeat need of the unit id and the update machinery.
class IUpdateServices {
  public:
    virtual ~IUpdateServices() = default;
    // The machine's unit id; never fails (empty when unavailable).
    virtual std::string GetUnitId() = 0;
    // Removes what an earlier update left behind; never fails.
    virtual void CleanUpdateFiles() = 0;
    // The version the vendor announces, or empty; never fails.
    virtual std::string GetLatestVersion(const std::string& unitId) = 0;
    // The update's file list; a transport failure may throw.
    virtual std::vector<std::string> GetUpdateFileList() = 0;
    // Downloads and installs; on success the process ends inside. Returns when it gave up.
    virtual void DownloadUpdate(const std::vector<std::string>& fileList) = 0;
};

// Answers "nothing to do" everywhere: no id, no update.
class NullUpdateServices : public IUpdateServices {
  public:
    std::string GetUnitId() override { return {}; }
    void CleanUpdateFiles() override {}
    std::string GetLatestVersion(const std::string&) override { return {}; }
    std::vector<std::string> GetUpdateFileList() override { return {}; }
    void DownloadUpdate(const std::vector<std::string>&) override {}
};

}  // namespace velmora::app
