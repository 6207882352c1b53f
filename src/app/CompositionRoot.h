#pragma once

#include <QTimer>
#include <memory>
#include <string>

#include "app/Backends.h"
#include "app/KeyVault.h"
#include "app/core/Configuration.h"
#include "app/core/DeferredApply.h"
#include "app/core/EngineSet.h"
#include "app/core/mduMain.h"
#include "relay/Session.h"
#include "target/qt/frmSettingSendShortcut.h"
#include "target/qt/frmSnapShot.h"
#include "update/UpdateServices.h"

namespace velmora::platform::x11 {
class X11Hotkey;
}
namespace velmora::platform::qt {
class QtFdWatch;
}

namespace velmora::app {

class frmAutoUpdate;
class frmMain;

// Builds and owns everything the running program is made of, once, in dependency order, and
// plays the windows of start-up. Needs a running QApplication.
class CompositionRoot : public IStartupShell {
  public:
    // Reads the configuration file (and the keyring for its keys); what it finds wrong goes to
    // standard error.
    explicit CompositionRoot(const std::filesystem::path& configFile);
    ~CompositionRoot() override;
    CompositionRoot(const CompositionRoot&) = delete;
    CompositionRoot& operator=(const CompositionRoot&) = delete;

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
    void ShowEngineSettings();
    // Grabs the configured in-place shortcut; says on standard error and in the tip panel
    // when it cannot.
    void StartInPlace();
    // Reads the file a settings dialog saved and puts it to work: the engines from the next
    // translation on, the in-place shortcut and its send choice at once.
    // Applies saved settings now, or once the running job ended.
    void ApplySavedSettings();
    void ApplySettingsNow();
    bool JobRunning() const;
    void OnInPlaceShortcut();

    Backends backends_;
    KeyVault vault_;
    Configuration config_;
    std::string unitId_;
    update::UpdateServices update_;
    EngineSet engines_;
    relay::Session session_;
    target::frmSnapShot overlay_;
    target::frmSettingSendShortcut shortcutDialog_;
    std::unique_ptr<frmAutoUpdate> updateWindow_;
    std::unique_ptr<frmMain> main_;
    std::unique_ptr<platform::x11::X11Hotkey> hotkey_;
    std::unique_ptr<platform::qt::QtFdWatch> hotkeyWatch_;
    // Settings saved while a job runs wait for its end (checked on this timer).
    DeferredApply applySettings_;
    QTimer applySettingsLater_;
    int inShortcut_ = 0;  // the shortcut's handler is on the stack
};

}  // namespace velmora::app
