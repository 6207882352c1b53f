#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/CloseDecision.h"
#include "app/core/Configuration.h"
#include "app/core/Heartbeat.h"
#include "app/core/IMainWindow.h"
#include "app/core/Picker.h"
#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/Session.h"
#include "target/SendShortcut.h"
#include "target/SnapShotPick.h"
#include "update/IUpdateServices.h"

namespace velmora::app {

// What the main window works with; the composition root owns all of it.
struct MainWindowParts {
    platform::Platform& platform;
    const Configuration& config;
    update::IUpdateServices& update;
    const std::string& unitId;
    relay::Session& session;
    target::ISnapShotOverlay& overlay;
    target::ISendShortcutDialog& shortcutDialog;
    // Opens the translation engine settings; the menu entry is disabled without it.
    std::function<void()> showEngineSettings = {};
    // Told when a settings dialog the window opens itself has saved the file.
    std::function<void()> settingsSaved = {};
};

// The pop-up menus' entries.
enum class MenuCommand {
    Restore,
    Exit,
    SetReturnArea,
    SetInputArea,
    SetSendButton,
    SendShortcut,
    Help,
    EngineSettings,
    InPlaceSettings,
};

// A key pressed in txtSend, as the controller needs to know it.
enum class SendBoxKey {
    Other,
    EscapeAlone,  // Esc with no modifier
    SendChord,    // Ctrl+Enter or Alt+S
};

// What the main window decides, whichever toolkit draws it: the views forward their events here
// and apply what it tells them. It is also what the relay flows see of the window.
class MainController : public relay::IMainView {
  public:
    static constexpr const char16_t* kLoadedCaption = u"Quillet2009正式版";
    static constexpr int kTrayPollMs = 2000;
    static constexpr int kProgressPollMs = 250;

    explicit MainController(const MainWindowParts& parts);
    // How the platform's window operations name the view's window (its native id and title).
    platform::WinHandle OwnWindowHandle(platform::WinHandle nativeId, const std::string& title) {
        return platform_.windows.OwnTopLevel(nativeId, title);
    }
    // How the main window looks, for a desktop where it is activated by a click (GNOME).
    void DescribeOwnWindow(platform::OwnWindowLook look) {
        platform_.windows.DescribeOwnWindow(std::move(look));
    }
    ~MainController() override;
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    // The view, once its controls exist; the relay's session is attached to both.
    void Attach(IMainWindow& view, relay::IResultBox& resultBox);
    // Before the view goes: nothing reaches it any more.
    void Detach();
    bool Attached() const { return view_ != nullptr; }

    // The load handler: caption, language lists, web panes, autostart entry.
    void Load();
    void FillLanguageLists();
    bool EngineSettingsAvailable() const { return static_cast<bool>(showEngineSettings_); }

    // Events of the view.
    void OnSendClicked();
    // True when the key was used up (the box must not see it).
    bool OnSendBoxKey(SendBoxKey key);
    void OnSendBoxComposition();
    void OnSendBoxFocus(bool gained);
    void OnResultBoxFocus(bool gained);
    void OnActivationChanged();
    void OnIdleTick();     // Timer1
    void OnWatchTick();    // tmrWatch
    void OnRefreshTick();  // tmrRefresh
    void OnMouseMove();
    void OnSettingIconReleased();
    void OnPickerHover(Picker picker);
    void OnPickerReleased(Picker picker);
    void OnMenu(MenuCommand command);
    // The tray icon was clicked (left: restore; right: its menu).
    void OnTrayClick(bool leftButton);
    // The session is ending (true), or its end was cancelled (false).
    void OnSessionEnding(bool ending) { sessionEnding_ = ending; }
    // User input arrived: a logout that waited for no one's clicks was cancelled.
    void OnUserInput() { sessionEnding_ = false; }
    // The window is asked to close; true lets it close.
    bool OnCloseRequested(bool byUser);

    // Commands of the program.
    void CloseFromCode();
    void RestoreFromTray();
    [[noreturn]] void ExitProgram();

    Heartbeat& heartbeat() { return heartbeat_; }
    relay::RelayState& State() { return session_.State; }

    // What the relay flows see of the window.
    relay::IMainControls& Controls() override { return *view_; }
    void ShowTip(const std::u16string& text) override;
    // Posted, so the dialog opens once the flow that asked for it has returned.
    void OfferEngineSettings() override;
    // The tip panel counts the seconds of a translation that takes longer than half a second.
    void SetTranslating(bool on) override;
    [[noreturn]] void EndProgram() override { ExitProgram(); }

  private:
    void PickTarget(target::TargetPoint& target);
    target::TargetPoint& TargetOf(Picker picker);
    void HideTip();
    void HideToTray();
    void PollTray(std::uint64_t generation);
    void PollProgress(std::uint64_t generation);
    void ShowEngineSettings();

    platform::Platform& platform_;
    const Configuration& config_;
    relay::Session& session_;
    target::ISnapShotOverlay& overlay_;
    target::ISendShortcutDialog& shortcutDialog_;
    std::function<void()> showEngineSettings_;
    std::function<void()> settingsSaved_;
    Heartbeat heartbeat_;
    IMainWindow* view_ = nullptr;
    platform::Task<bool> activation_;
    // Timers run on the loop outlive nothing: they check this token, and a generation, first.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::uint64_t trayWait_ = 0;
    std::uint64_t progress_ = 0;
    std::int64_t translatingSince_ = 0;
    bool progressShown_ = false;
    bool closingFromCode_ = false;
    bool sessionEnding_ = false;
};

}  // namespace velmora::app
