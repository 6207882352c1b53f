#pragma once

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/QtControls.h"
#include "app/QtResultBox.h"
#include "app/QtWebPane.h"
#include "app/core/MainController.h"
#include "app/core/MainWindowBase.h"
#include "app/frmMainTray.h"
#include "relay/RelayState.h"

namespace velmora::app {

// The program's one long-lived window, a view: it draws, forwards its events to the controller
// and does what the controller tells it. Controls are public members named as the rest of the
// program knows them.
class frmMain : public QWidget, public MainWindowBase {
    Q_OBJECT
  public:
    explicit frmMain(MainController& controller);
    ~frmMain() override;

    MainController& Controller() { return controller_; }
    // The relay's state for the whole process: the three targets, the send shortcut, the
    // typing-idle state, the exit flag and the last capture's length.
    relay::RelayState& State;

    void SetSendMaskVisible(bool visible) override { imgSendMask->setVisible(visible); }
    platform::WinHandle Handle() override;
    bool IsActive() override;
    void SetCaption(const std::u16string& caption) override;
    bool IsShown() override { return isVisible(); }
    bool IsMinimized() override { return isMinimized(); }
    void Show() override { show(); }
    void HideWindow() override { hide(); }
    void Minimize() override { showMinimized(); }
    void RestoreAndActivate() override;
    void Close() override { close(); }
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
    void CreateParts();
    // What the GNOME backends look for on the screen to click us back into the foreground.
    std::optional<platform::OwnView> SendBoxView();

    MainController& controller_;
    std::unique_ptr<QtResultBox> resultBox_;
    QtTrayIcon* trayIcon_ = nullptr;  // tray_, kept typed for the event filter
};

}  // namespace velmora::app
