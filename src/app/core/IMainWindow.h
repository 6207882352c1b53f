#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Types.h"
#include "relay/IMainView.h"

namespace velmora::app {

// What a front end's main window can do, with no decision of its own: it draws and reports.
// MainController decides; both front ends implement this. The relay flows see its controls.
class IMainWindow : public relay::IMainControls {
  public:
    // Both lists get these entries, the first selected.
    virtual void SetLanguageLists(const std::vector<std::u16string>& descs) = 0;
    virtual void SetCaption(const std::u16string& caption) = 0;
    virtual void NavigatePanes(const std::string& top, const std::string& bottom) = 0;
    // Discards the panes' pages (hidden in the tray) or loads them again.
    virtual void SetPanesDiscarded(bool discarded) = 0;

    // The tip panel, laid out so the whole text shows.
    virtual void ShowTipPanel(const std::u16string& text) = 0;
    virtual void HideTipPanel() = 0;

    // The window itself.
    virtual bool IsShown() = 0;  // visible (not hidden in the tray)
    virtual bool IsMinimized() = 0;
    virtual void Show() = 0;
    virtual void HideWindow() = 0;
    virtual void Minimize() = 0;
    virtual void RestoreAndActivate() = 0;
    // Closes the window (the close handler asks the controller first).
    virtual void Close() = 0;

    // The tray.
    virtual bool TrayAvailable() = 0;
    virtual bool TrayIconShown() = 0;
    virtual void ShowTrayIcon() = 0;  // a second show keeps the one icon
    virtual void RemoveTrayIcon() = 0;
    virtual void TrayMessage(const std::u16string& title, const std::u16string& text) = 0;
    virtual void PopupTrayMenu() = 0;
    virtual void PopupSettingMenu() = 0;

    // Timer1: the idle tick, running while txtSend has the focus.
    virtual void SetIdleTimerRunning(bool running) = 0;
    // Modal: the help page, and the in-place settings (true when saved).
    virtual void ShowHelp(const std::string& pageBase) = 0;
    virtual bool RunInPlaceSettings(const std::filesystem::path& configFile) = 0;
};

}  // namespace velmora::app
