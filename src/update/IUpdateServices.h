#pragma once

#include <string>
#include <vector>

namespace velmora::update {

// What start-up and the heartbeat need of the update machinery.
class IUpdateServices {
  public:
    virtual ~IUpdateServices() = default;
    // Removes what an earlier update left behind; never fails.
    virtual void CleanUpdateFiles() = 0;
    // The version the vendor announces, or empty; never fails.
    virtual std::u16string GetLatestVersion(const std::string& unitId) = 0;
    // The update's file list; a transport failure may throw.
    virtual std::vector<std::u16string> GetUpdateFileList() = 0;
    // Downloads and installs; on success the process ends inside. Returns when it gave up.
    virtual void DownloadUpdate(const std::vector<std::u16string>& fileList) = 0;
};

// Answers "nothing to do" everywhere: no update.
class NullUpdateServices : public IUpdateServices {
  public:
    void CleanUpdateFiles() override {}
    std::u16string GetLatestVersion(const std::string&) override { return {}; }
    std::vector<std::u16string> GetUpdateFileList() override { return {}; }
    void DownloadUpdate(const std::vector<std::u16string>&) override {}
};

}  // namespace velmora::update
