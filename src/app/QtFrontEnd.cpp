#include "app/QtFrontEnd.h"

#include <cstdio>

#include "app/EngineSettingsDialog.h"
#include "app/frmAutoUpdate.h"
#include "app/frmMain.h"
#include "platform/qt/QtFdWatch.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include "platform/x11/X11Hotkey.h"

namespace velmora::app {

namespace {

// The X11 grab, its events dispatched from the Qt loop when its connection is readable.
class WatchedX11Hotkey : public platform::IHotkey {
  public:
    WatchedX11Hotkey() : watch_(hotkey_.Fd(), [this] { hotkey_.Dispatch(); }) {}
    bool Register(const platform::HotkeyChord& chord, std::string& why) override {
        return hotkey_.Register(chord, why);
    }
    void Unregister() override { hotkey_.Unregister(); }
    void SetHandler(std::function<void()> onPressed) override {
        hotkey_.SetHandler(std::move(onPressed));
    }

  private:
    platform::x11::X11Hotkey hotkey_;
    platform::qt::QtFdWatch watch_;
};

}  // namespace

QtFrontEnd::QtFrontEnd(const std::filesystem::path& configFile) : vault_(configFile) {}

QtFrontEnd::~QtFrontEnd() = default;

void QtFrontEnd::Report(const std::string& line) {
    std::fprintf(stderr, "velmora: %s\n", line.c_str());
}

Configuration QtFrontEnd::ReadConfiguration(const std::filesystem::path& file,
                                            Diagnostics& diagnostics) {
    Configuration config =
        LoadConfiguration(ProcessEnvironment, file, diagnostics, VaultKeyLookup(vault_));
    // Optional keys (a LibreTranslate server's) live in the keyring too.
    FillKeysFromVault(vault_, config);
    return config;
}

void QtFrontEnd::ShowUpdateWindow() {
    updateWindow_ = std::make_unique<frmAutoUpdate>();
    updateWindow_->show();
}

void QtFrontEnd::CloseUpdateWindow() {
    updateWindow_.reset();
}

std::unique_ptr<IMainWindow> QtFrontEnd::CreateMainWindow(MainController& controller) {
    return std::make_unique<frmMain>(controller);
}

bool QtFrontEnd::RunEngineSettings(IMainWindow& owner, const std::filesystem::path&,
                                   const EngineTrial& trial) {
    EngineSettingsDialog dialog(
        vault_,
        [&trial](const std::string& name, const EngineSettings& settings) {
            auto [ok, text] = trial(name, settings);
            return std::pair{ok, QString::fromStdString(text)};
        },
        dynamic_cast<frmMain*>(&owner));
    return dialog.exec() == QDialog::Accepted;
}

std::unique_ptr<platform::IHotkey> QtFrontEnd::NewHotkey(std::string& why) {
    try {
        return std::make_unique<WatchedX11Hotkey>();
    } catch (const std::exception& e) {
        why = e.what();
        return nullptr;
    }
}

}  // namespace velmora::app
