#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/KeyVault.h"
#include "app/core/OwningFrontEnd.h"
#include "target/qt/frmSettingSendShortcut.h"
#include "target/qt/frmSnapShot.h"

namespace velmora::app {

class frmAutoUpdate;

// The Linux desktop's part of the program: X11 and Qt backends, the keyring, the Qt windows.
// Needs a running QApplication; throws std::exception when a backend cannot start.
class QtFrontEnd : public OwningFrontEnd<target::frmSnapShot, target::frmSettingSendShortcut> {
  public:
    // configFile: where the keyring's entries are named after.
    explicit QtFrontEnd(const std::filesystem::path& configFile);
    ~QtFrontEnd() override;
    QtFrontEnd(const QtFrontEnd&) = delete;
    QtFrontEnd& operator=(const QtFrontEnd&) = delete;

    void Report(const std::string& line) override;
    Configuration ReadConfiguration(const std::filesystem::path& file,
                                    Diagnostics& diagnostics) override;
    void ShowUpdateWindow() override;
    void CloseUpdateWindow() override;
    std::unique_ptr<IMainWindow> CreateMainWindow(MainController& controller) override;
    bool RunEngineSettings(IMainWindow& owner, const std::filesystem::path& configFile,
                           const EngineTrial& trial) override;
    std::unique_ptr<platform::IHotkey> NewHotkey(std::string& why) override;

  private:
    KeyVault vault_;
    std::unique_ptr<frmAutoUpdate> updateWindow_;
};

}  // namespace velmora::app
