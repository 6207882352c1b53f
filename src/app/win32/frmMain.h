#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

#include "app/core/Configuration.h"
#include "app/core/Heartbeat.h"
#include "app/win32/Controls.h"
#include "app/win32/RichResultBox.h"
#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/RelayState.h"
#include "relay/Session.h"
#include "target/SendShortcut.h"
#include "target/SnapShotPick.h"
#include "update/IUpdateServices.h"

namespace velmora::app::win32 {

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

// The program's one long-lived window. Controls are public members named as the rest of the
// program knows them; handlers delegate to the logic.
class frmMain : public relay::IMainView {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraMain";
    static constexpr const wchar_t* kCaption = L"Quillet2009正式版";
    static constexpr const wchar_t* kTrayTip = L"Quillet";
    static constexpr int kClientWidth = 517;
    static constexpr int kClientHeight = 644;
    // The tray icon's notifications; the low word of lParam holds the mouse message.
    static constexpr UINT kTrayMessage = WM_APP + 1;
    // Posted: the engine dialog opens once the flow that asked for it has returned.
    static constexpr UINT kOfferEnginesMessage = WM_APP + 2;
    static constexpr UINT kTrayIconId = 1;
    enum TimerId : UINT_PTR { kTmrRefresh = 1, kTimer1 = 2, kTrayWait = 3, kProgress = 4 };
    enum MenuId : UINT {
        kMnuRestore = 201,
        kMnuExit,
        kMnuSetReturnArea,
        kMnuSetInputArea,
        kMnuSetSendButton,
        kMnuSettingSendShortcut,
        kMnuHelp,
        kMnuEngineSettings,
        kMnuInPlaceSettings,
    };
    enum ControlId : int { kCmdSend = 101, kTxtResult, kCboOtherLan, kCboMyLan, kTxtSend };

    explicit frmMain(const MainWindowParts& parts);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // The load handler: caption, language lists, web panes, autostart entry.
    void Load();
    void FillLanguageLists();
    void Show();
    // Close requested by the program itself (hidden start).
    void CloseFromCode();
    void RestoreFromTray();
    [[noreturn]] void ExitProgram();
    HWND hwnd() const { return hwnd_; }
    bool TrayIconShown() const { return trayAdded_; }

    relay::RelayState& State;

    // What the relay flows see of this window.
    std::u16string SendText() override;
    void ClearSendText() override;
    void SetSendText(const std::u16string& text) override;
    void FocusSendBox() override;
    bool IsComposing() override;
    void SetSendMaskVisible(bool visible) override;
    std::u16string MyLanguageDesc() override;
    std::u16string OtherLanguageDesc() override;
    void SetTimeKeeperCaption(const std::u16string& caption) override;
    void SetTimeKeeperVisible(bool visible) override;
    bool IsMainWindowActive() override;
    platform::WinHandle MainWindowHandle() override;
    void ShowTip(const std::u16string& text) override;
    void OfferEngineSettings() override { PostMessageW(hwnd_, kOfferEnginesMessage, 0, 0); }
    // The tip panel counts the seconds of a translation that takes longer than half a second.
    void SetTranslating(bool on) override;
    [[noreturn]] void EndProgram() override;

    // Controls, in creation order.
    HWND cmdSend = nullptr;
    HWND txtResult = nullptr;
    HWND picTips = nullptr;
    HWND lblTips = nullptr;
    std::unique_ptr<WebPane> WebBrowser2;
    std::unique_ptr<WebPane> WebBrowser1;
    HWND cboOtherLan = nullptr;
    HWND cboMyLan = nullptr;
    HWND txtSend = nullptr;
    std::unique_ptr<ImageControl> imgSettingClicked;
    std::unique_ptr<ImageControl> imgSetting;
    std::unique_ptr<ImageControl> imgReturnAreaClicked;
    std::unique_ptr<ImageControl> imgSendAreaClicked;
    std::unique_ptr<ImageControl> imgSendButtonClicked;
    std::unique_ptr<ImageControl> imgReturnArea;
    std::unique_ptr<ImageControl> imgSendArea;
    std::unique_ptr<ImageControl> imgSendButton;
    std::unique_ptr<ImageControl> imgSendMouseDown;
    std::unique_ptr<ImageControl> imgSendMask;
    HWND lblTimeKeeper = nullptr;

    // The two pop-up menus, held in an invisible menu bar that carries their captions.
    HMENU mnuPopup = nullptr;
    HMENU mnuSetting = nullptr;

    Heartbeat& heartbeat() { return heartbeat_; }
    RichResultBox& resultBox() { return *resultBox_; }

    void cmdSend_Click();
    void Timer1_Timer();
    void tmrRefresh_Timer();
    // Opens the translation engine settings; nothing when the window was given no way to.
    void ShowEngineSettings();

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK TxtSendProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                        DWORD_PTR self);
    static LRESULT CALLBACK TxtResultProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                          DWORD_PTR self);
    static LRESULT CALLBACK TipsProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT TxtSendMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    void CreateMenus();
    void WirePicker(ImageControl& icon, ImageControl& pressedLook, const wchar_t* tip,
                    target::TargetPoint& target);
    void PickTarget(target::TargetPoint& target);
    void OnCommand(UINT id);
    void OnClose();
    void ShowTrayIcon();
    void DeleteTrayIcon();
    NOTIFYICONDATAW TrayData(UINT flags) const;
    void WaitForTray();
    void PopupTrayMenu();
    void PopupMenuAt(HMENU menu, POINT screen);
    void HideTips();
    // The tip's text, with the panel and label placed so all of it shows.
    void SetTip(const wchar_t* text);
    void PaintBackground(HDC dc);
    bool Attached() const { return session_.Attached(); }
    relay::IncomingMonitor& Monitor() { return session_.Monitor(); }

    platform::Platform& platform_;
    const Configuration& config_;
    std::function<void()> showEngineSettings_;
    std::function<void()> settingsSaved_;
    update::IUpdateServices& update_;
    const std::string& unitId_;
    relay::Session& session_;
    target::ISnapShotOverlay& overlay_;
    target::ISendShortcutDialog& shortcutDialog_;
    Heartbeat heartbeat_;
    HWND hwnd_ = nullptr;
    // The control that had the focus when the window was last deactivated.
    HWND focusBefore_ = nullptr;
    HMENU menuBar_ = nullptr;
    HBRUSH background_ = nullptr;
    HBRUSH tipsBrush_ = nullptr;
    std::unique_ptr<RichResultBox> resultBox_;
    UINT taskbarCreated_ = 0;
    bool trayAdded_ = false;
    bool closingFromCode_ = false;
    bool sessionEnding_ = false;
    // The character a consumed send chord would still type.
    bool swallowChar_ = false;
    ULONGLONG translatingSince_ = 0;
    bool progressShown_ = false;
};

}  // namespace velmora::app::win32
