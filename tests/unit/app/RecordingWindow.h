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

    relay::ISendBox& SendBox() override { return sendBox_; }
    relay::ILanguageLists& Languages() override { return languages_; }
    relay::ITimeKeeper& TimeKeeper() override { return timeKeeper_; }
    ITipPanel& TipPanel() override { return tipPanel_; }
    IPanes& Panes() override { return panes_; }
    ITrayIcon& Tray() override { return tray_; }
    void SetSendMaskVisible(bool) override {}
    platform::WinHandle Handle() override { return 77; }
    bool IsActive() override { return true; }
    void SetCaption(const std::u16string& c) override { caption = c; }
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
    void PopupTrayMenu() override { calls.push_back("tray menu"); }
    void PopupSettingMenu() override { calls.push_back("setting menu"); }
    void SetIdleTimerRunning(bool running) override {
        calls.push_back(running ? "Timer1 on" : "Timer1 off");
    }
    void ShowHelp(const std::string& pageBase) override { calls.push_back("help " + pageBase); }
    bool RunInPlaceSettings(const std::filesystem::path&) override { return saveInPlace; }

    std::u16string text;

  private:
    struct SendBoxPart : relay::ISendBox {
        RecordingWindow& w;
        explicit SendBoxPart(RecordingWindow& window) : w(window) {}
        std::u16string Text() override { return w.text; }
        void Clear() override { w.text.clear(); }
        void SetText(const std::u16string& t) override { w.text = t; }
        void Focus() override {}
        bool IsComposing() override { return false; }
    };
    struct LanguagesPart : relay::ILanguageLists {
        RecordingWindow& w;
        explicit LanguagesPart(RecordingWindow& window) : w(window) {}
        std::u16string MyDesc() override { return u"中文(简体)"; }
        std::u16string OtherDesc() override { return u"英语"; }
        void Fill(const std::vector<std::u16string>& descs) override { w.languages = descs; }
    };
    struct TimeKeeperPart : relay::ITimeKeeper {
        void SetCaption(const std::u16string&) override {}
        void SetVisible(bool) override {}
    };
    struct TipPanelPart : ITipPanel {
        RecordingWindow& w;
        explicit TipPanelPart(RecordingWindow& window) : w(window) {}
        void Show(const std::u16string& t) override {
            w.tip = t;
            w.tipShown = true;
        }
        void Hide() override { w.tipShown = false; }
    };
    struct PanesPart : IPanes {
        RecordingWindow& w;
        explicit PanesPart(RecordingWindow& window) : w(window) {}
        void Navigate(const std::string& top, const std::string& bottom) override {
            w.calls.push_back("panes " + top + " " + bottom);
        }
        void SetDiscarded(bool discarded) override {
            w.calls.push_back(discarded ? "discard panes" : "restore panes");
        }
    };
    struct TrayPart : ITrayIcon {
        RecordingWindow& w;
        explicit TrayPart(RecordingWindow& window) : w(window) {}
        bool Available() override { return w.trayAvailable; }
        bool Shown() override { return w.trayIcon; }
        void Add() override { w.trayIcon = true; }
        void Remove() override { w.trayIcon = false; }
        void Message(const std::u16string& title, const std::u16string& t) override {
            w.calls.push_back("balloon " + platform::Utf8Encode(title) + ": " +
                              platform::Utf8Encode(t));
        }
    };
    SendBoxPart sendBox_{*this};
    LanguagesPart languages_{*this};
    TimeKeeperPart timeKeeper_;
    TipPanelPart tipPanel_{*this};
    PanesPart panes_{*this};
    TrayPart tray_{*this};
};

// Closed without a press unless a test sets one.
struct NoOverlay : target::ISnapShotOverlay {
    std::optional<platform::Point> ShowModal(const platform::Rect&,
                                             const platform::Bitmap&) override {
        return press;
    }
    std::optional<platform::Point> press;
    platform::WinHandle WindowId() override { return 0; }
    void DestroyWindow() override {}
};

struct NoShortcutDialog : target::ISendShortcutDialog {
    void ShowModal() override {}
    const target::SendShortcutChoice& Choice() const override { return choice; }
    target::SendShortcutChoice choice;
};

}  // namespace velmora::app::testing
