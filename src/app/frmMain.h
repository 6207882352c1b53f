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
#include "platform/Platform.h"
#include "target/TargetPoint.h"

namespace velmora::app {

// The program's one long-lived window. Controls are public members named as the rest of the
// program knows them; handlers delegate to the logic.
class frmMain : public QWidget {
    Q_OBJECT
  public:
    frmMain(platform::Platform& platform, const AppConfig& config, IUpdateServices& update);
    ~frmMain() override;

    // The load handler: caption, language lists, web panes, autostart entry.
    void Load();
    void FillLanguageLists();
    // Close requested by the program itself (hidden start).
    void CloseFromCode();
    void RestoreFromTray();
    void ExitProgram();
    platform::WinHandle Handle();
    bool TrayIconShown() const { return tray_ && tray_->isVisible(); }

    // State held by the main window for the whole process.
    target::TargetPoint InputAreaTarget;
    target::TargetPoint ReturnAreaTarget;
    target::TargetPoint SendButtonTarget;
    std::int32_t SendShortcutControl = 0;
    std::int32_t SendShortcutKey = 0;
    std::int64_t LastKeyTime = 0;
    bool CountdownAborted = false;
    bool ExitRequested = false;
    bool ResultBoxFocused = false;
    std::int32_t LastHistoryLength = 0;

    // Controls, in creation order.
    QTimer* tmrRefresh = nullptr;
    QPushButton* cmdSend = nullptr;
    ResultTextBox* txtResult = nullptr;
    QFrame* picTips = nullptr;
    QLabel* lblTips = nullptr;
    QWidget* WebBrowser2 = nullptr;
    QWidget* WebBrowser1 = nullptr;
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
    QSystemTrayIcon* tray_ = nullptr;
    bool closingFromCode_ = false;
    bool sessionEnding_ = false;
    bool trayWidgetSeen_ = false;
};

}  // namespace velmora::app
