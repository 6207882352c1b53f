#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/Backends.h"
#include "app/KeyVault.h"
#include "app/core/IFrontEnd.h"
#include "target/qt/frmSettingSendShortcut.h"
#include "target/qt/frmSnapShot.h"

namespace velmora::app {

class frmAutoUpdate;

// The Linux desktop's part of the program: X11 and Qt backends, the keyring, the Qt windows.
// Needs a running QApplication; throws std::exception when a backend cannot start.
class QtFrontEnd : public IFrontEnd {
  public:
    // configFile: where the keyring's entries are named after.
    explicit QtFrontEnd(const std::filesystem::path& configFile);
    ~QtFrontEnd() override;
    QtFrontEnd(const QtFrontEnd&) = delete;
    QtFrontEnd& operator=(const QtFrontEnd&) = delete;

    platform::Platform& Ports() override { return backends_.platform(); }
    platform::IHttp& DownloadHttp() override { return backends_.downloadHttp(); }
    platform::IProgramRunner& Programs() override { return backends_.programs(); }
    void Report(const std::string& line) override;
    Configuration ReadConfiguration(const std::filesystem::path& file,
                                    Diagnostics& diagnostics) override;
    target::ISnapShotOverlay& Overlay() override { return overlay_; }
    target::ISendShortcutDialog& ShortcutDialog() override { return shortcutDialog_; }
    void ShowUpdateWindow() override;
    void CloseUpdateWindow() override;
    std::unique_ptr<IMainWindow> CreateMainWindow(MainController& controller) override;
    bool RunEngineSettings(IMainWindow& owner, const std::filesystem::path& configFile,
                           const EngineTrial& trial) override;
    std::unique_ptr<platform::IHotkey> NewHotkey(std::string& why) override;

  private:
    Backends backends_;
    KeyVault vault_;
    target::frmSnapShot overlay_;
    target::frmSettingSendShortcut shortcutDialog_;
    std::unique_ptr<frmAutoUpdate> updateWindow_;
};

}  // namespace velmora::app
