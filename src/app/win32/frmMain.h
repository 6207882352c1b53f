#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <filesystem>
#include <memory>
#include <string>

#include "app/core/MainController.h"
#include "app/core/MainWindowBase.h"
#include "app/win32/Controls.h"
#include "app/win32/RichResultBox.h"
#include "app/win32/frmMainTray.h"
#include "relay/RelayState.h"

namespace velmora::app::win32 {

// The program's one long-lived window, a view: it draws, forwards its events to the controller
// and does what the controller tells it. Controls are public members named as the rest of the
// program knows them.
class frmMain : public MainWindowBase {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraMain";
    static constexpr const wchar_t* kCaption = L"Quillet2009正式版";
    static constexpr const wchar_t* kTrayTip = L"Quillet";
    static constexpr int kClientWidth = 517;
    static constexpr int kClientHeight = 644;
    // The tray icon's notifications; the low word of lParam holds the mouse message.
    static constexpr UINT kTrayMessage = WM_APP + 1;
    static constexpr UINT kTrayIconId = 1;
    enum TimerId : UINT_PTR { kTmrRefresh = 1, kTimer1 = 2 };
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

    explicit frmMain(MainController& controller);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    MainController& Controller() { return controller_; }
    HWND hwnd() const { return hwnd_; }
    void Show() override;
    relay::RelayState& State;

    void SetSendMaskVisible(bool visible) override { imgSendMask->SetVisible(visible); }
    platform::WinHandle Handle() override;
    bool IsActive() override { return GetActiveWindow() == hwnd_; }
    void SetCaption(const std::u16string& caption) override;
    bool IsShown() override { return IsWindowVisible(hwnd_) != FALSE; }
    bool IsMinimized() override { return IsIconic(hwnd_) != FALSE; }
    void HideWindow() override { ShowWindow(hwnd_, SW_HIDE); }
    void Minimize() override { ShowWindow(hwnd_, SW_MINIMIZE); }
    void RestoreAndActivate() override;
    void Close() override { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }
    void PopupTrayMenu() override;
    void PopupSettingMenu() override;
    void SetIdleTimerRunning(bool running) override;
    void ShowHelp(const std::string& pageBase) override;
    bool RunInPlaceSettings(const std::filesystem::path& configFile) override;

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

    RichResultBox& resultBox() { return *resultBox_; }

    void cmdSend_Click();
    void Timer1_Timer();
    void tmrRefresh_Timer();

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
    void CreateParts();
    void WirePicker(ImageControl& icon, ImageControl& pressedLook, Picker picker);
    void OnCommand(UINT id);
    void PopupMenuAt(HMENU menu, POINT screen);
    void PaintBackground(HDC dc);
    bool Attached() const { return controller_.Attached(); }

    MainController& controller_;
    HWND hwnd_ = nullptr;
    // The control that had the focus when the window was last deactivated.
    HWND focusBefore_ = nullptr;
    HMENU menuBar_ = nullptr;
    HBRUSH background_ = nullptr;
    HBRUSH tipsBrush_ = nullptr;
    std::unique_ptr<RichResultBox> resultBox_;
    UINT taskbarCreated_ = 0;
    Win32TrayIcon* trayIcon_ = nullptr;  // tray_, kept typed for the shell's restart
    // The character a consumed send chord would still type.
    bool swallowChar_ = false;
};

}  // namespace velmora::app::win32
