#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "app/core/Configuration.h"
#include "app/core/DeferredApply.h"
#include "app/core/EngineSet.h"
#include "app/core/IFrontEnd.h"
#include "app/core/MainController.h"
#include "app/core/mduMain.h"
#include "relay/Session.h"
#include "update/UpdateServices.h"

namespace velmora::app {

// Builds and owns everything the running program is made of, once, in dependency order, and
// plays the windows of start-up, over one platform's front end.
class Program : public IStartupShell {
  public:
    // Reads the configuration file; what it finds wrong goes to the front end's report.
    Program(IFrontEnd& frontEnd, const std::filesystem::path& configFile);
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The start-up sequence for the command line's argument text.
    StartOutcome Start(const std::string& argumentText);

    IMainWindow* MainWindow() { return main_.get(); }
    MainController* Controller() { return controller_.get(); }

    void ShowUpdateWindow() override { frontEnd_.ShowUpdateWindow(); }
    void CloseUpdateWindow() override { frontEnd_.CloseUpdateWindow(); }
    void Yield() override;
    void CreateMainWindow() override;
    void ShowMainWindow() override;
    void CloseMainWindowFromCode() override;

  private:
    Configuration Read(const std::filesystem::path& file);
    EngineServices Services();
    void ShowEngineSettings();
    // Grabs the configured in-place shortcut; says in the report and the tip panel when it
    // cannot.
    void StartInPlace();
    // Reads the file a settings dialog saved and puts it to work (the engines from the next
    // translation on, the in-place shortcut and its send choice): now when no job runs, else
    // once it ended.
    void ApplySavedSettings();
    void ApplySettingsNow();
    void PollSavedSettings();
    bool JobRunning() const;
    void OnInPlaceShortcut();

    IFrontEnd& frontEnd_;
    Configuration config_;
    std::string unitId_;
    update::UpdateServices update_;
    EngineSet engines_;
    relay::Session session_;
    std::unique_ptr<MainController> controller_;
    std::unique_ptr<IMainWindow> main_;
    std::unique_ptr<platform::IHotkey> hotkey_;
    DeferredApply applySettings_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool polling_ = false;  // a watch for the running job's end is set
    int inShortcut_ = 0;    // the shortcut's handler is on the stack
};

}  // namespace velmora::app
