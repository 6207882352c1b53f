#pragma once

#include <filesystem>
#include <string>

#include "platform/Types.h"
#include "relay/IMainView.h"

namespace velmora::app {

// picTips and lblTips, laid out so the whole text shows.
class ITipPanel {
  public:
    virtual ~ITipPanel() = default;
    virtual void Show(const std::u16string& text) = 0;
    virtual void Hide() = 0;
};

// The two web panes (WebBrowser1 above, WebBrowser2 below).
class IPanes {
  public:
    virtual ~IPanes() = default;
    virtual void Navigate(const std::string& top, const std::string& bottom) = 0;
    // Discards the panes' pages (hidden in the tray) or loads them again.
    virtual void SetDiscarded(bool discarded) = 0;
};

// The window's icon in the system tray.
class ITrayIcon {
  public:
    virtual ~ITrayIcon() = default;
    // Whether the desktop has a tray at all.
    virtual bool Available() = 0;
    virtual bool Shown() = 0;
    virtual void Add() = 0;  // a second add keeps the one icon
    virtual void Remove() = 0;
    // A balloon message at the icon; nothing without the icon.
    virtual void Message(const std::u16string& title, const std::u16string& text) = 0;
};

// What a front end's main window can do, with no decision of its own: it draws and reports.
// MainController decides; both front ends implement this. The relay flows see its controls.
class IMainWindow : public relay::IMainControls {
  public:
    virtual ITipPanel& TipPanel() = 0;
    virtual IPanes& Panes() = 0;
    virtual ITrayIcon& Tray() = 0;

    // The window itself.
    virtual void SetCaption(const std::u16string& caption) = 0;
    virtual bool IsShown() = 0;  // visible (not hidden in the tray)
    virtual bool IsMinimized() = 0;
    virtual void Show() = 0;
    virtual void HideWindow() = 0;
    virtual void Minimize() = 0;
    virtual void RestoreAndActivate() = 0;
    // Closes the window (the close handler asks the controller first).
    virtual void Close() = 0;

    // The pop-up menus: the tray's at the cursor, the settings' under the settings icon.
    virtual void PopupTrayMenu() = 0;
    virtual void PopupSettingMenu() = 0;
    // Timer1: the idle tick, running while txtSend has the focus.
    virtual void SetIdleTimerRunning(bool running) = 0;
    // Modal: the help page, and the in-place settings (true when saved).
    virtual void ShowHelp(const std::string& pageBase) = 0;
    virtual bool RunInPlaceSettings(const std::filesystem::path& configFile) = 0;
};

}  // namespace velmora::app
