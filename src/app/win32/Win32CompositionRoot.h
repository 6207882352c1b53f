#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/core/Configuration.h"
#include "app/core/DeferredApply.h"
#include "app/core/EngineSet.h"
#include "app/core/mduMain.h"
#include "app/win32/CallbackTimer.h"
#include "app/win32/Win32Backends.h"
#include "app/win32/Win32Ui.h"
#include "app/win32/frmAutoUpdate.h"
#include "app/win32/frmMain.h"
#include "app/win32/frmSettingSendShortcut.h"
#include "app/win32/frmSnapShot.h"
#include "platform/IHotkey.h"
#include "relay/Session.h"
#include "update/UpdateServices.h"

namespace velmora::app::win32 {

// The configuration file: %APPDATA%\velmora\velmora.conf (API keys included, encrypted for the
// user: Windows has no keyring the program uses).
std::filesystem::path Win32ConfigFile();

// Reads the configuration, its keys decrypted, and leaves out engines Windows cannot run (the
// offline engine needs Linux programs), saying so in diagnostics.
Configuration LoadWin32Configuration(const std::filesystem::path& file, Diagnostics& diagnostics);

// Builds and owns everything the running program is made of, once, in dependency order, and
// plays the windows of start-up. Lives on the thread that runs the message loop.
class Win32CompositionRoot : public IStartupShell {
  public:
    // What reading the configuration found wrong goes to standard error and the debugger.
    explicit Win32CompositionRoot(const std::filesystem::path& configFile);
    ~Win32CompositionRoot() override;
    Win32CompositionRoot(const Win32CompositionRoot&) = delete;
    Win32CompositionRoot& operator=(const Win32CompositionRoot&) = delete;

    // The start-up sequence for the command line's argument text.
    StartOutcome Start(const std::string& argumentText);

    frmMain* MainWindow() { return main_.get(); }

    void ShowUpdateWindow() override;
    void CloseUpdateWindow() override;
    void Yield() override;
    void CreateMainWindow() override;
    void ShowMainWindow() override;
    void CloseMainWindowFromCode() override;

  private:
    // Grabs the configured in-place shortcut; says on standard error and in the tip panel
    // when it cannot.
    void StartInPlace();
    // Reads the file a settings dialog saved and puts it to work: the engines from the next
    // translation on, the in-place shortcut and its send choice; now when no job runs, else
    // once it ended.
    void ApplySavedSettings();
    void ApplySettingsNow();
    bool JobRunning() const;
    void OnInPlaceShortcut();
    // The engine settings, opened here where the engines' services live.
    void ShowEngineSettings();

    Win32Backends backends_;
    Configuration config_;
    std::string unitId_;
    update::UpdateServices update_;
    EngineSet engines_;
    relay::Session session_;
    frmSnapShot overlay_;
    frmSettingSendShortcut shortcutDialog_;
    std::unique_ptr<frmAutoUpdate> updateWindow_;
    std::unique_ptr<frmMain> main_;
    std::unique_ptr<platform::IHotkey> hotkey_;
    DeferredApply applySettings_;
    CallbackTimer applySettingsLater_;
    int inShortcut_ = 0;  // the shortcut's handler is on the stack
};

// Writes one line of diagnostics where a windowed program can show it.
void Report(const std::string& line);

}  // namespace velmora::app::win32
