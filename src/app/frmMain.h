#pragma once

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/QtControls.h"
#include "app/QtResultBox.h"
#include "app/QtWebPane.h"
#include "app/core/Configuration.h"
#include "app/core/Heartbeat.h"
#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/RelayState.h"
#include "relay/Session.h"
#include "target/TargetPoint.h"
#include "target/qt/frmSettingSendShortcut.h"
#include "target/qt/frmSnapShot.h"
#include "update/IUpdateServices.h"

namespace velmora::app {

// What the main window works with; the composition root owns all of it.
struct MainWindowParts {
    platform::Platform& platform;
    const Configuration& config;
    update::IUpdateServices& update;
    const std::string& unitId;
    relay::Session& session;
    target::frmSnapShot& overlay;
    target::frmSettingSendShortcut& shortcutDialog;
    // Opens the translation engine settings; the menu entry is disabled without it.
    std::function<void()> showEngineSettings = {};
    // Told when a settings dialog the window opens itself has saved the file.
    std::function<void()> settingsSaved = {};
};

// The program's one long-lived window. Controls are public members named as the rest of the
// program knows them; handlers delegate to the logic.
class frmMain : public QWidget, public relay::IMainView {
    Q_OBJECT
  public:
    explicit frmMain(const MainWindowParts& parts);
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

    // The relay's state for the whole process: the three targets, the send shortcut, the
    // typing-idle state, the exit flag and the last capture's length.
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
    platform::WinHandle MainWindowHandle() override { return Handle(); }
    void ShowTip(const std::u16string& text) override;
    // Posted, so the dialog opens once the flow that asked for it has returned.
    void OfferEngineSettings() override;
    // The tip panel counts the seconds of a translation that takes longer than half a second.
    void SetTranslating(bool on) override;
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

    Heartbeat& heartbeat() { return heartbeat_; }

  public slots:
    void cmdSend_Click();
    void Timer1_Timer();
    // Opens the in-place translation settings (shortcut, send after paste).
    void mnuInPlaceSettings_Click();
    // Opens the translation engine settings; nothing when the window was given no way to.
    void ShowEngineSettings();

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
    // The tip's text, with the panel and label placed so all of it shows.
    void SetTip(const QString& text);
    void ShowTrayIcon();
    // While minimised for want of a tray: moves into one as soon as it appears.
    void WaitForTray();
    void PopupTrayMenu();
    // Discards the web panes' pages while hidden in the tray, or loads them again.
    void SetPanesDiscarded(bool discarded);
    bool TxtSendKeyDown(QKeyEvent* e);

    relay::IncomingMonitor& Monitor() { return session_.Monitor(); }

    platform::Platform& platform_;
    const Configuration& config_;
    update::IUpdateServices& update_;
    const std::string& unitId_;
    relay::Session& session_;
    target::frmSnapShot& overlay_;
    target::frmSettingSendShortcut& shortcutDialog_;
    std::function<void()> showEngineSettings_;
    std::function<void()> settingsSaved_;
    Heartbeat heartbeat_;
    std::unique_ptr<QtResultBox> resultBox_;
    QSystemTrayIcon* tray_ = nullptr;
    QTimer* trayWait_ = nullptr;
    QTimer* progress_ = nullptr;
    QElapsedTimer translatingSince_;
    bool progressShown_ = false;
    bool closingFromCode_ = false;
    bool sessionEnding_ = false;
    bool trayWidgetSeen_ = false;
};

}  // namespace velmora::app
