#pragma once

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/QtControls.h"
#include "app/QtResultBox.h"
#include "app/QtWebPane.h"
#include "app/core/IMainWindow.h"
#include "app/core/MainController.h"
#include "relay/RelayState.h"

namespace velmora::app {

// The program's one long-lived window, a view: it draws, forwards its events to the controller
// and does what the controller tells it. Controls are public members named as the rest of the
// program knows them.
class frmMain : public QWidget, public IMainWindow {
    Q_OBJECT
  public:
    explicit frmMain(MainController& controller);
    ~frmMain() override;

    MainController& Controller() { return controller_; }
    // The relay's state for the whole process: the three targets, the send shortcut, the
    // typing-idle state, the exit flag and the last capture's length.
    relay::RelayState& State;

    std::u16string SendText() override;
    void ClearSendText() override;
    void SetSendText(const std::u16string& text) override;
    void FocusSendBox() override;
    bool IsComposing() override;
    void SetSendMaskVisible(bool visible) override;
    std::u16string MyLanguageDesc() override;
    std::u16string OtherLanguageDesc() override;
    void SetLanguageLists(const std::vector<std::u16string>& descs) override;
    void SetTimeKeeperCaption(const std::u16string& caption) override;
    void SetTimeKeeperVisible(bool visible) override;
    void SetCaption(const std::u16string& caption) override;
    void NavigatePanes(const std::string& top, const std::string& bottom) override;
    void SetPanesDiscarded(bool discarded) override;
    void ShowTipPanel(const std::u16string& text) override;
    void HideTipPanel() override;
    platform::WinHandle Handle() override;
    bool IsActive() override { return isActiveWindow(); }
    bool IsShown() override { return isVisible(); }
    bool IsMinimized() override { return isMinimized(); }
    void Show() override { show(); }
    void HideWindow() override { hide(); }
    void Minimize() override { showMinimized(); }
    void RestoreAndActivate() override;
    void Close() override { close(); }
    bool TrayAvailable() override;
    bool TrayIconShown() override { return tray_ && tray_->isVisible(); }
    void ShowTrayIcon() override;
    void RemoveTrayIcon() override;
    void TrayMessage(const std::u16string& title, const std::u16string& text) override;
    void PopupTrayMenu() override;
    void PopupSettingMenu() override;
    void SetIdleTimerRunning(bool running) override;
    void ShowHelp(const std::string& pageBase) override;
    bool RunInPlaceSettings(const std::filesystem::path& configFile) override;

    // Controls, in creation order.
    QTimer* tmrRefresh = nullptr;
    QPushButton* cmdSend = nullptr;
    ResultTextBox* txtResult = nullptr;
    QFrame* picTips = nullptr;
    QLabel* lblTips = nullptr;
    QtWebPane* WebBrowser2 = nullptr;
    QtWebPane* WebBrowser1 = nullptr;
    QComboBox* cboOtherLan = nullptr;
    QComboBox* cboMyLan = nullptr;
    SendTextBox* txtSend = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* tmrWatch = nullptr;
    ImageControl* imgSettingClicked = nullptr;
    ImageControl* imgSetting = nullptr;
    ImageControl* imgReturnAreaClicked = nullptr;
    ImageControl* imgSendAreaClicked = nullptr;
    ImageControl* imgSendButtonClicked = nullptr;
    ImageControl* imgReturnArea = nullptr;
    ImageControl* imgSendArea = nullptr;
    ImageControl* imgSendButton = nullptr;
    ImageControl* imgSendMouseDown = nullptr;
    ImageControl* imgSendMask = nullptr;
    QLabel* lblTimeKeeper = nullptr;

    QMenu* mnuPopup = nullptr;
    QAction* mnuRestore = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuSetting = nullptr;
    QAction* mnuSetReturnArea = nullptr;
    QAction* mnuSetInputArea = nullptr;
    QAction* mnuSetSendButton = nullptr;
    QAction* mnuSettingSendShortcut = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuEngineSettings = nullptr;
    QAction* mnuInPlaceSettings = nullptr;

  public slots:
    void cmdSend_Click();
    void Timer1_Timer();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    void WirePicker(ImageControl* icon, ImageControl* pressedImage, Picker picker);

    MainController& controller_;
    std::unique_ptr<QtResultBox> resultBox_;
    QSystemTrayIcon* tray_ = nullptr;
    bool trayWidgetSeen_ = false;
};

}  // namespace velmora::app
