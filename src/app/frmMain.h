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
#include <cstdint>

#include "app/AppConfig.h"
#include "app/CloseDecision.h"
#include "app/Heartbeat.h"
#include "app/IUpdateServices.h"
#include "app/QtControls.h"
#include "app/QtResultBox.h"
#include "app/QtWebPane.h"
#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/IncomingMonitor.h"
#include "relay/OutgoingFlow.h"
#include "relay/RelayState.h"
#include "relay/mduSendBuffer.h"
#include "target/TargetPoint.h"
#include "translate/mduTranslate.h"

namespace velmora::app {

// The program's one long-lived window. Controls are public members named as the rest of the
// program knows them; handlers delegate to the logic.
class frmMain : public QWidget, public relay::IMainView {
    Q_OBJECT
  public:
    frmMain(platform::Platform& platform, const AppConfig& config, IUpdateServices& update,
            translate::ITranslator& translator);
    ~frmMain() override;

    // The load handler: caption, language lists, web panes, autostart entry.
    void Load();
    void FillLanguageLists();
    // Close requested by the program itself (hidden start).
    void CloseFromCode();
    void RestoreFromTray();
    [[noreturn]] void ExitProgram();
    platform::WinHandle Handle();
    bool TrayIconShown() const { return tray_ && tray_->isVisible(); }

    // State held by the main window for the whole process: the three targets, the send
    // shortcut, the typing-idle state, the exit flag and the last capture's length.
    relay::RelayState State;

    // What the relay flows see of this window.
    std::u16string SendText() override;
    void ClearSendText() override;
    void FocusSendBox() override;
    void SetSendMaskVisible(bool visible) override;
    std::u16string MyLanguageDesc() override;
    std::u16string OtherLanguageDesc() override;
    void SetTimeKeeperCaption(const std::u16string& caption) override;
    void SetTimeKeeperVisible(bool visible) override;
    bool IsMainWindowActive() override;
    platform::WinHandle MainWindowHandle() override { return Handle(); }
    void ShowTip(const std::u16string& text) override;
    [[noreturn]] void EndProgram() override;

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

    Heartbeat& heartbeat() { return heartbeat_; }

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
    void WirePicker(ImageControl* icon, ImageControl* pressedImage, const QString& tip,
                    target::TargetPoint& target);
    void PickTarget(target::TargetPoint& target);
    void ShowTrayIcon();
    void PopupTrayMenu();
    bool TxtSendKeyDown(QKeyEvent* e);

    platform::Platform& platform_;
    AppConfig config_;
    IUpdateServices& update_;
    Heartbeat heartbeat_;
    translate::ITranslator& translator_;
    std::unique_ptr<QtResultBox> resultBox_;
    std::unique_ptr<relay::mduSendBuffer> sendBuffer_;
    std::unique_ptr<relay::OutgoingFlow> outgoing_;
    std::unique_ptr<relay::IncomingMonitor> monitor_;
    QSystemTrayIcon* tray_ = nullptr;
    bool closingFromCode_ = false;
    bool sessionEnding_ = false;
    bool trayWidgetSeen_ = false;
};

}  // namespace velmora::app
