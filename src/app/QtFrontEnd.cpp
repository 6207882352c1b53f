#include "app/QtFrontEnd.h"

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "app/EngineSettingsDialog.h"
#include "app/frmAutoUpdate.h"
#include "app/frmMain.h"
#include "platform/SessionKind.h"
#include "platform/posix/TriggerSocket.h"
#include "platform/qt/QtFdWatch.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include "platform/x11/X11Hotkey.h"

namespace velmora::app {

namespace {

// The in-place shortcut on Linux. On X11 a grab of the chord; on Wayland, where a program gets
// no global shortcut, the desktop runs `velmora --trigger inplace` on the chord the user bound
// in its settings, and that command reaches this program through the trigger socket (which
// also serves an X11 user who prefers the desktop's binding).
class LinuxHotkey : public platform::IHotkey {
  public:
    explicit LinuxHotkey(bool grab) {
        if (grab) {
            x11_.emplace();
            x11Watch_.emplace(x11_->Fd(), [this] { x11_->Dispatch(); });
        }
        const auto path = platform::posix::TriggerSocketPath();
        try {
            // Without a private folder for it, no trigger could reach us.
            if (path.empty()) throw std::runtime_error("no private runtime folder for the trigger");
            trigger_.emplace(path);
        } catch (const std::exception& e) {
            // A second instance, or no socket: only the grab remains (nothing on Wayland).
            if (!grab) throw;
            std::fprintf(stderr, "velmora: trigger socket: %s\n", e.what());
        }
        if (trigger_) {
            triggerWatch_.emplace(trigger_->Fd(), [this] { trigger_->Dispatch(); });
            trigger_->SetHandler([this](std::string_view command) {
                if (command != "inplace" || !onPressed_) return false;
                // Answered first; the translation runs from the loop's next turn.
                QTimer::singleShot(0, &context_, [this] {
                    if (onPressed_) onPressed_();
                });
                return true;
            });
        }
    }
    bool Register(const platform::HotkeyChord& chord, std::string& why) override {
        return !x11_ || x11_->Register(chord, why);
    }
    void Unregister() override {
        if (x11_) x11_->Unregister();
    }
    void SetHandler(std::function<void()> onPressed) override {
        onPressed_ = onPressed;
        if (x11_) x11_->SetHandler(std::move(onPressed));
    }

  private:
    std::optional<platform::x11::X11Hotkey> x11_;
    std::optional<platform::qt::QtFdWatch> x11Watch_;
    std::optional<platform::posix::TriggerListener> trigger_;
    std::optional<platform::qt::QtFdWatch> triggerWatch_;
    std::function<void()> onPressed_;
    QObject context_;  // a pending run dies with the object
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
        const bool x11 = platform::ChooseSession(platform::SessionEnvFromProcess()).kind ==
                         platform::SessionKind::X11;
        if (!x11)
            Report(
                "this desktop gives programs no global shortcut: bind the in-place chord to "
                "the command `velmora --trigger inplace` in its keyboard settings");
        return std::make_unique<LinuxHotkey>(x11);
    } catch (const std::exception& e) {
        why = e.what();
        return nullptr;
    }
}

}  // namespace velmora::app
