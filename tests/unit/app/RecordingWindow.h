#pragma once

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/core/IMainWindow.h"
#include "platform/Utf8.h"
#include "target/SendShortcut.h"
#include "target/SnapShotPick.h"

namespace velmora::app::testing {

// Records what the controller tells the window; answers its questions from plain fields.
class RecordingWindow : public IMainWindow {
  public:
    std::vector<std::string> calls;
    bool shown = true;
    bool minimized = false;
    bool trayAvailable = true;
    bool trayIcon = false;
    bool saveInPlace = false;
    std::u16string tip;
    bool tipShown = false;
    std::vector<std::u16string> languages;
    std::u16string caption;

    bool Did(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }

    std::u16string SendText() override { return text; }
    void ClearSendText() override { text.clear(); }
    void SetSendText(const std::u16string& t) override { text = t; }
    void FocusSendBox() override {}
    bool IsComposing() override { return false; }
    void SetSendMaskVisible(bool) override {}
    std::u16string MyLanguageDesc() override { return u"中文(简体)"; }
    std::u16string OtherLanguageDesc() override { return u"英语"; }
    void SetLanguageLists(const std::vector<std::u16string>& descs) override { languages = descs; }
    void SetTimeKeeperCaption(const std::u16string&) override {}
    void SetTimeKeeperVisible(bool) override {}
    void SetCaption(const std::u16string& c) override { caption = c; }
    void NavigatePanes(const std::string& top, const std::string& bottom) override {
        calls.push_back("panes " + top + " " + bottom);
    }
    void SetPanesDiscarded(bool discarded) override {
        calls.push_back(discarded ? "discard panes" : "restore panes");
    }
    void ShowTipPanel(const std::u16string& t) override {
        tip = t;
        tipShown = true;
    }
    void HideTipPanel() override { tipShown = false; }
    platform::WinHandle Handle() override { return 77; }
    bool IsActive() override { return true; }
    bool IsShown() override { return shown; }
    bool IsMinimized() override { return minimized; }
    void Show() override { shown = true; }
    void HideWindow() override {
        shown = false;
        calls.push_back("hide");
    }
    void Minimize() override {
        minimized = true;
        calls.push_back("minimize");
    }
    void RestoreAndActivate() override {
        shown = true;
        minimized = false;
        calls.push_back("restore");
    }
    void Close() override { calls.push_back("close"); }
    bool TrayAvailable() override { return trayAvailable; }
    bool TrayIconShown() override { return trayIcon; }
    void ShowTrayIcon() override { trayIcon = true; }
    void RemoveTrayIcon() override { trayIcon = false; }
    void TrayMessage(const std::u16string& title, const std::u16string& t) override {
        calls.push_back("balloon " + platform::Utf8Encode(title) + ": " + platform::Utf8Encode(t));
    }
    void PopupTrayMenu() override { calls.push_back("tray menu"); }
    void PopupSettingMenu() override { calls.push_back("setting menu"); }
    void SetIdleTimerRunning(bool running) override {
        calls.push_back(running ? "Timer1 on" : "Timer1 off");
    }
    void ShowHelp(const std::string& pageBase) override { calls.push_back("help " + pageBase); }
    bool RunInPlaceSettings(const std::filesystem::path&) override { return saveInPlace; }

    std::u16string text;
};

struct NoOverlay : target::ISnapShotOverlay {
    std::optional<platform::Point> ShowModal(const platform::Rect&,
                                             const platform::Bitmap&) override {
        return std::nullopt;
    }
    platform::WinHandle WindowId() override { return 0; }
    void DestroyWindow() override {}
};

struct NoShortcutDialog : target::ISendShortcutDialog {
    void ShowModal() override {}
    const target::SendShortcutChoice& Choice() const override { return choice; }
    target::SendShortcutChoice choice;
};

}  // namespace velmora::app::testing
