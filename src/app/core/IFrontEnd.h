#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/core/Configuration.h"
#include "app/core/IMainWindow.h"
#include "platform/IHotkey.h"
#include "platform/IPipeline.h"
#include "platform/Platform.h"
#include "target/SendShortcut.h"
#include "target/SnapShotPick.h"

namespace velmora::app {

class MainController;

// Tries one engine's settings on a sample: whether it answered, and what it said.
using EngineTrial =
    std::function<std::pair<bool, std::string>(const std::string&, const EngineSettings&)>;

// What one platform supplies to the program: its backends and its windows. The program's wiring
// (Program) is the same on every platform; only this differs.
class IFrontEnd {
  public:
    virtual ~IFrontEnd() = default;

    virtual platform::Platform& Ports() = 0;
    // Large update files go through their own client, with limits suited to them.
    virtual platform::IHttp& DownloadHttp() = 0;
    // Child programs (the offline engine's pipelines).
    virtual platform::IProgramRunner& Programs() = 0;
    // One line of diagnostics, where this platform's user or administrator can read it.
    virtual void Report(const std::string& line) = 0;
    // The configuration with its keys, from wherever this platform keeps them.
    virtual Configuration ReadConfiguration(const std::filesystem::path& file,
                                            Diagnostics& diagnostics) = 0;

    virtual target::ISnapShotOverlay& Overlay() = 0;
    virtual target::ISendShortcutDialog& ShortcutDialog() = 0;
    virtual void ShowUpdateWindow() = 0;
    virtual void CloseUpdateWindow() = 0;
    // The main window, attached to the controller.
    virtual std::unique_ptr<IMainWindow> CreateMainWindow(MainController& controller) = 0;
    // The engine settings of configFile, modal over the main window; true when saved.
    virtual bool RunEngineSettings(IMainWindow& owner, const std::filesystem::path& configFile,
                                   const EngineTrial& trial) = 0;
    // A global shortcut of this platform; nothing, with the reason in why, when there is none.
    virtual std::unique_ptr<platform::IHotkey> NewHotkey(std::string& why) = 0;
};

}  // namespace velmora::app
