#include "app/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QString>
#include <QTimer>
#include <cstdlib>

#include "app/QtArtwork.h"
#include "app/core/Autostart.h"
#include "app/core/CloseDecision.h"
#include "app/core/TipPanel.h"
#include "app/frmHelp.h"
#include "app/frmInPlaceSettings.h"
#include "target/SendShortcut.h"
#include "target/SnapShotPick.h"
#include "target/qt/TxtSendKeysQt.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::app {

namespace {

const char* const kStyle = R"(
QTextEdit, QPlainTextEdit { background: transparent; border: none; padding: 2px;
  selection-background-color: #9cc3ec; }
QComboBox { border: 1px solid #b9c9da; border-radius: 4px; padding: 0 4px; background: #ffffff;
  color: #2b3a4e; }
QComboBox:hover { border-color: #2f7dd1; }
QPushButton#cmdSend { border: 1px solid #b9c9da; border-radius: 3px; background: #f4f8fc;
  color: #2b3a4e; font-size: 11px; }
QPushButton#cmdSend:hover { background: #e3eefa; }
QFrame#picTips { background: #fffbe6; border: 1px solid #e5c96b; border-radius: 4px; }
QLabel#lblTips { color: #6b5200; background: transparent; border: none; }
QLabel#lblTimeKeeper { color: #1f5fa8; font-weight: bold; font-size: 14px; }
)";

template <typename W>
W* Place(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

ImageControl* Image(QWidget* parent, const char* name, int x, int y, int w, int h,
                    const QPixmap& picture, bool visible) {
    auto* img = Place<ImageControl>(parent, name, x, y, w, h);
    if (!picture.isNull()) img->setPixmap(picture);
    img->setVisible(visible);
    return img;
}

}  // namespace

frmMain::frmMain(const MainWindowParts& parts)
    : QWidget(nullptr),
      State(parts.session.State),
      platform_(parts.platform),
      config_(parts.config),
      update_(parts.update),
      unitId_(parts.unitId),
      session_(parts.session),
      overlay_(parts.overlay),
      shortcutDialog_(parts.shortcutDialog),
      showEngineSettings_(parts.showEngineSettings),
      settingsSaved_(parts.settingsSaved),
      heartbeat_(platform_.clock, platform_.loop,
                 [&update = update_, &unitId = unitId_] { update.GetLatestVersion(unitId); }) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(artwork::AppIcon());
    setFixedSize(517, 644);
    setMouseTracking(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QPalette pal = palette();
    pal.setBrush(QPalette::Window, artwork::Background());
    setPalette(pal);
    setAutoFillBackground(true);
    setStyleSheet(QString::fromLatin1(kStyle));
    CreateControls();
    CreateMenus();
    resultBox_ = std::make_unique<QtResultBox>(*txtResult);
    session_.Attach(*this, *resultBox_);
    qApp->installEventFilter(this);
    // The closes that follow a commit data request end the session; user input after it means
    // the logout was cancelled (see eventFilter).
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { sessionEnding_ = true; });
}

frmMain::~frmMain() {
    qApp->removeEventFilter(this);
    // The children are destroyed after this body, and losing the focus on the way would call
    // into a window that is no longer a frmMain and a session already detached.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    QObject::disconnect(qApp, nullptr, this, nullptr);
    session_.Detach();
}

void frmMain::CreateControls() {
    tmrRefresh = new QTimer(this);
    tmrRefresh->setObjectName(QStringLiteral("tmrRefresh"));
    tmrRefresh->setInterval(Heartbeat::kTickMs);
    // Never inside a relay job: the next tick (30 s on) queries instead.
    connect(tmrRefresh, &QTimer::timeout, this, [this] { heartbeat_.Tick(); });
    tmrRefresh->start();

    cmdSend = Place<QPushButton>(this, "cmdSend", 368, 544, 89, 17);
    cmdSend->setText(QStringLiteral("发送指令"));
    cmdSend->setFocusPolicy(Qt::NoFocus);
    connect(cmdSend, &QPushButton::clicked, this, &frmMain::cmdSend_Click);

    txtResult = Place<ResultTextBox>(this, "txtResult", 8, 8, 337, 404);
    txtResult->setAcceptRichText(true);
    txtResult->setFrameShape(QFrame::NoFrame);
    connect(txtResult, &ResultTextBox::focusGained, this,
            [this] { Monitor().OnResultBoxFocusChanged(true); });
    connect(txtResult, &ResultTextBox::focusLost, this,
            [this] { Monitor().OnResultBoxFocusChanged(false); });

    picTips = Place<QFrame>(this, "picTips", kTipPanelDesign.x, kTipPanelDesign.y,
                            kTipPanelDesign.width, kTipPanelDesign.height);
    lblTips = Place<QLabel>(picTips, "lblTips", kTipLabelDesign.x, kTipLabelDesign.y,
                            kTipLabelDesign.width, kTipLabelDesign.height);
    lblTips->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblTips->setTextFormat(Qt::PlainText);
    lblTips->setWordWrap(true);
    auto* tipsCaption = new QLabel(QStringLiteral("操作提示"), picTips);
    tipsCaption->setObjectName(QStringLiteral("picTipsCaption"));
    tipsCaption->setGeometry(6, 1, 99, 15);
    tipsCaption->setStyleSheet(QStringLiteral("color:#a08a3c; font-size:10px; border:none;"));

    WebBrowser2 = Place<QtWebPane>(this, "WebBrowser2", 344, 416, 169, 225);
    WebBrowser1 = Place<QtWebPane>(this, "WebBrowser1", 344, 8, 169, 406);

    cboOtherLan = Place<QComboBox>(this, "cboOtherLan", 72, 412, 81, 21);
    cboMyLan = Place<QComboBox>(this, "cboMyLan", 232, 419, 113, 21);
    for (QComboBox* c : {cboOtherLan, cboMyLan}) {
        c->setMaxVisibleItems(15);
        c->setFocusPolicy(Qt::StrongFocus);
    }

    txtSend = Place<SendTextBox>(this, "txtSend", 8, 440, 337, 163);
    txtSend->setFrameShape(QFrame::NoFrame);
    txtSend->setTabChangesFocus(true);
    txtSend->keyDown = [this](QKeyEvent* e) { return TxtSendKeyDown(e); };
    // Keys an input method takes never arrive as key presses; its pre-edit and commit do.
    connect(txtSend, &SendTextBox::inputMethodUsed, this, [this] { Monitor().OnSendBoxKeyDown(); });
    connect(txtSend, &SendTextBox::focusGained, this, [this] { Timer1->start(); });
    connect(txtSend, &SendTextBox::focusLost, this, [this] {
        Timer1->stop();
        Monitor().OnSendBoxFocusLost();
    });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    // A history read through the accessibility tree needs no idle moment: it is watched always.
    tmrWatch = new QTimer(this);
    tmrWatch->setObjectName(QStringLiteral("tmrWatch"));
    tmrWatch->setInterval(500);
    connect(tmrWatch, &QTimer::timeout, this, [this] { Monitor().WatchTick(); });
    tmrWatch->start();

    using artwork::Picker;
    imgSettingClicked =
        Image(this, "imgSettingClicked", 13, 605, 73, 38, artwork::SettingPressed(), false);
    imgSetting = Image(this, "imgSetting", 8, 608, 73, 33, artwork::SettingButton(), true);
    imgReturnAreaClicked = Image(this, "imgReturnAreaClicked", 150, 605, 30, 38,
                                 artwork::PickerPressed(Picker::ReturnArea), false);
    imgSendAreaClicked = Image(this, "imgSendAreaClicked", 119, 605, 30, 38,
                               artwork::PickerPressed(Picker::SendArea), false);
    imgSendButtonClicked = Image(this, "imgSendButtonClicked", 88, 605, 30, 38,
                                 artwork::PickerPressed(Picker::SendButton), false);
    // The three pickers have no picture of their own: the background carries their glyphs.
    imgReturnArea = Image(this, "imgReturnArea", 149, 608, 28, 33, QPixmap(), true);
    imgSendArea = Image(this, "imgSendArea", 120, 608, 28, 33, QPixmap(), true);
    imgSendButton = Image(this, "imgSendButton", 88, 608, 28, 33, QPixmap(), true);
    imgSendMouseDown =
        Image(this, "imgSendMouseDown", 240, 605, 98, 38, artwork::SendPressed(), false);
    imgSendMask = Image(this, "imgSendMask", 240, 608, 105, 33, artwork::SendButton(), true);
    lblTimeKeeper = Place<QLabel>(this, "lblTimeKeeper", 184, 616, 57, 17);
    lblTimeKeeper->setText(QStringLiteral("0"));
    lblTimeKeeper->setAlignment(Qt::AlignCenter);

    // Pressed looks only show; the press and release belong to the image underneath.
    for (ImageControl* look : {imgSettingClicked, imgReturnAreaClicked, imgSendAreaClicked,
                               imgSendButtonClicked, imgSendMouseDown}) {
        look->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    // Earlier controls stack above later ones, so the tip panel floats over the input box and
    // each pressed look over its image.
    // A long tip's panel grows up over the result box, so it stacks above that too.
    const QList<QWidget*> order = {picTips,
                                   cmdSend,
                                   txtResult,
                                   WebBrowser2,
                                   WebBrowser1,
                                   cboOtherLan,
                                   cboMyLan,
                                   txtSend,
                                   imgSettingClicked,
                                   imgSetting,
                                   imgReturnAreaClicked,
                                   imgSendAreaClicked,
                                   imgSendButtonClicked,
                                   imgReturnArea,
                                   imgSendArea,
                                   imgSendButton,
                                   imgSendMouseDown,
                                   imgSendMask,
                                   lblTimeKeeper};
    for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->raise();

    connect(imgSetting, &ImageControl::pressed, this, [this] { imgSettingClicked->show(); });
    connect(imgSetting, &ImageControl::released, this, [this] {
        imgSettingClicked->hide();
        mnuSetting->popup(mapToGlobal(QPoint(10, 515)));
    });

    WirePicker(imgSendArea, imgSendAreaClicked, QStringLiteral("设置输入框位置"),
               State.InputAreaTarget);
    WirePicker(imgReturnArea, imgReturnAreaClicked, QStringLiteral("设置返回框位置"),
               State.ReturnAreaTarget);
    WirePicker(imgSendButton, imgSendButtonClicked, QStringLiteral("设置发送按钮位置"),
               State.SendButtonTarget);

    connect(imgSendMask, &ImageControl::pressed, this, [this] { imgSendMouseDown->show(); });
    connect(imgSendMask, &ImageControl::released, this, [this] {
        imgSendMouseDown->hide();
        cmdSend_Click();
    });
}

void frmMain::CreateMenus() {
    mnuPopup = new QMenu(QStringLiteral("弹出窗口"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuRestore = mnuPopup->addAction(QStringLiteral("还原(&R)"));
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    mnuPopup->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    mnuExit = mnuPopup->addAction(QStringLiteral("退出(&X)"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuRestore, &QAction::triggered, this, &frmMain::RestoreFromTray);
    connect(mnuExit, &QAction::triggered, this, &frmMain::ExitProgram);

    mnuSetting = new QMenu(QStringLiteral("设置窗口"), this);
    mnuSetting->setObjectName(QStringLiteral("mnuSetting"));
    mnuSetReturnArea = mnuSetting->addAction(QStringLiteral("设置返回结果框(&R)"));
    mnuSetReturnArea->setObjectName(QStringLiteral("mnuSetReturnArea"));
    mnuSetInputArea = mnuSetting->addAction(QStringLiteral("设置输入框(&I)"));
    mnuSetInputArea->setObjectName(QStringLiteral("mnuSetInputArea"));
    mnuSetting->addSeparator()->setObjectName(QStringLiteral("sep"));
    mnuSetSendButton = mnuSetting->addAction(QStringLiteral("设置发送按钮(&B)"));
    mnuSetSendButton->setObjectName(QStringLiteral("mnuSetSendButton"));
    mnuSettingSendShortcut = mnuSetting->addAction(QStringLiteral("设置发送快捷键(&S)"));
    mnuSettingSendShortcut->setObjectName(QStringLiteral("mnuSettingSendShortcut"));
    mnuSetting->addSeparator()->setObjectName(QStringLiteral("mnuSep2"));
    mnuHelp = mnuSetting->addAction(QStringLiteral("帮助(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuEngineSettings = mnuSetting->addAction(QStringLiteral("翻译引擎(&E)..."));
    mnuEngineSettings->setObjectName(QStringLiteral("mnuEngineSettings"));
    mnuEngineSettings->setEnabled(static_cast<bool>(showEngineSettings_));
    mnuInPlaceSettings = mnuSetting->addAction(QStringLiteral("就地翻译(&I)..."));
    mnuInPlaceSettings->setObjectName(QStringLiteral("mnuInPlaceSettings"));
    connect(mnuInPlaceSettings, &QAction::triggered, this, &frmMain::mnuInPlaceSettings_Click);

    connect(mnuSetReturnArea, &QAction::triggered, this,
            [this] { PickTarget(State.ReturnAreaTarget); });
    connect(mnuSetInputArea, &QAction::triggered, this,
            [this] { PickTarget(State.InputAreaTarget); });
    connect(mnuSetSendButton, &QAction::triggered, this,
            [this] { PickTarget(State.SendButtonTarget); });
    connect(mnuHelp, &QAction::triggered, this,
            [this] { frmHelp::ShowHelp(this, QString::fromStdString(config_.pageBase)); });
    connect(mnuSettingSendShortcut, &QAction::triggered, this, [this] {
        target::RunSendShortcutSetting(shortcutDialog_, State.SendShortcutControl,
                                       State.SendShortcutKey);
    });
    connect(mnuEngineSettings, &QAction::triggered, this, &frmMain::ShowEngineSettings);
}

void frmMain::WirePicker(ImageControl* icon, ImageControl* pressedImage, const QString& tip,
                         target::TargetPoint& target) {
    connect(icon, &ImageControl::moved, this, [this, tip] {
        SetTip(tip);
        picTips->show();
    });
    connect(icon, &ImageControl::pressed, this, [pressedImage] { pressedImage->show(); });
    connect(icon, &ImageControl::released, this, [this, pressedImage, &target] {
        pressedImage->hide();
        PickTarget(target);
    });
}

void frmMain::PickTarget(target::TargetPoint& target) {
    if (target::RunPick(platform_, overlay_, target) == target::PickOutcome::OwnWindow) {
        ShowTip(std::u16string(target::kPickOwnWindow));
        return;
    }
    if (&target == &State.ReturnAreaTarget) session_.OnReturnAreaPicked();
}

void frmMain::Load() {
    setWindowTitle(QStringLiteral("Quillet2009正式版"));
    FillLanguageLists();
    const QString base = QString::fromStdString(config_.pageBase);
    WebBrowser1->Navigate2(base + QStringLiteral("/ad1.php"));
    WebBrowser2->Navigate2(base + QStringLiteral("/ad2.php"));
    EnsureAutostart(platform_);
}

void frmMain::FillLanguageLists() {
    cboOtherLan->clear();
    cboMyLan->clear();
    for (const std::u16string& desc : translate::clsGoogleLanguages::Shared().getAllDescs()) {
        const QString text = QString::fromStdU16String(desc);
        cboOtherLan->addItem(text);
        cboMyLan->addItem(text);
    }
    cboOtherLan->setCurrentIndex(0);
    cboMyLan->setCurrentIndex(0);
}

platform::WinHandle frmMain::Handle() {
    return static_cast<platform::WinHandle>(winId());
}

void frmMain::CloseFromCode() {
    closingFromCode_ = true;
    close();
    closingFromCode_ = false;
}

void frmMain::closeEvent(QCloseEvent* e) {
    CloseReason reason = CloseReason::FromCode;
    if (!closingFromCode_) {
        if (sessionEnding_) {
            reason = CloseReason::SessionEnd;
        } else if (e->spontaneous()) {
            reason = CloseReason::User;
        }
    }
    switch (DecideClose(State.ExitRequested, reason, QSystemTrayIcon::isSystemTrayAvailable())) {
        case CloseAction::RemoveIconAndClose:
            if (tray_) tray_->hide();
            platform_.loop.Yield();
            e->accept();
            break;
        case CloseAction::HideToTray:
            ShowTrayIcon();
            hide();
            SetPanesDiscarded(true);
            e->ignore();
            break;
        case CloseAction::MinimizeInstead:
            showMinimized();
            WaitForTray();
            e->ignore();
            break;
        case CloseAction::LetClose:
            e->accept();
            break;
    }
}

void frmMain::ShowTrayIcon() {
    if (!tray_) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        tray_->setObjectName(QStringLiteral("TrayIcon"));
        tray_->setToolTip(QStringLiteral("Quillet"));
        // Where the tray is not an X11 embedded widget, the tray API's own reasons stand in.
        connect(tray_, &QSystemTrayIcon::activated, this, [this](auto reason) {
            if (trayWidgetSeen_) return;
            picTips->hide();
            lblTips->clear();
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                RestoreFromTray();
            else if (reason == QSystemTrayIcon::Context)
                PopupTrayMenu();
        });
    }
    tray_->show();  // a second show leaves the one icon as it is
}

void frmMain::WaitForTray() {
    // At logon the panel's tray may come up after the program; a cheap poll is enough, and it
    // runs only while the window waits minimised.
    constexpr int kTrayPollMs = 2000;
    if (!trayWait_) {
        trayWait_ = new QTimer(this);
        trayWait_->setObjectName(QStringLiteral("trayWait"));
        trayWait_->setInterval(kTrayPollMs);
        connect(trayWait_, &QTimer::timeout, this, [this] {
            if (!isMinimized() || !isVisible()) {
                trayWait_->stop();  // the user brought it back: nothing to move
            } else if (QSystemTrayIcon::isSystemTrayAvailable()) {
                trayWait_->stop();
                ShowTrayIcon();
                hide();
                SetPanesDiscarded(true);
            }
        });
    }
    trayWait_->start();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // Logout waits for no one's clicks: input after a commit data request means the session
    // goes on, and the close box hides to the tray again.
    if (sessionEnding_ && event->spontaneous() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        sessionEnding_ = false;
    // Qt's X11 tray widget acts on the press; the program acts on the release, so the press
    // is held back here and the release decides.
    if (tray_ && watched->isWidgetType() &&
        qstrcmp(watched->metaObject()->className(), "QSystemTrayIconSys") == 0) {
        trayWidgetSeen_ = true;
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                return true;
            case QEvent::MouseButtonRelease: {
                auto* me = static_cast<QMouseEvent*>(event);
                picTips->hide();
                lblTips->clear();
                if (me->button() == Qt::LeftButton) RestoreFromTray();
                if (me->button() == Qt::RightButton) PopupTrayMenu();
                return true;
            }
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::PopupTrayMenu() {
    mnuPopup->popup(QCursor::pos());
}

void frmMain::RestoreFromTray() {
    if (isMinimized() || !isVisible()) showNormal();
    SetPanesDiscarded(false);
    raise();
    activateWindow();
    platform_.windows.SetForegroundWindow(Handle());
}

void frmMain::SetPanesDiscarded(bool discarded) {
    // In the tray nobody sees the ads: their renderer process need not stay.
    for (QtWebPane* pane : {WebBrowser1, WebBrowser2}) {
        if (discarded)
            pane->Discard();
        else
            pane->Restore();
    }
}

void frmMain::ExitProgram() {
    Monitor().RequestExit();
    close();
    platform_.process.ExitNow(0);
    std::_Exit(0);  // a backend's ExitNow never returns; this keeps the promise regardless
}

void frmMain::EndProgram() {
    ExitProgram();
}

void frmMain::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) Monitor().OnActivationChanged();
    QWidget::changeEvent(e);
}

void frmMain::mouseMoveEvent(QMouseEvent* e) {
    lblTips->clear();
    picTips->hide();
    QWidget::mouseMoveEvent(e);
}

bool frmMain::TxtSendKeyDown(QKeyEvent* e) {
    // Esc while a send is being translated abandons it; otherwise Esc is the box's own.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier &&
        session_.Outgoing().Cancel())
        return true;
    Monitor().OnSendBoxKeyDown();
    if (target::IsSendKeyEvent(e->key(), e->modifiers())) {
        cmdSend_Click();
        return true;
    }
    return false;
}

void frmMain::mnuInPlaceSettings_Click() {
    frmInPlaceSettings dialog(config_.file, this);
    if (dialog.exec() == QDialog::Accepted && settingsSaved_) settingsSaved_();
}

void frmMain::cmdSend_Click() {
    session_.Outgoing().cmdSend_Click();
}

void frmMain::Timer1_Timer() {
    Monitor().Timer1_Timer();
}

std::u16string frmMain::SendText() {
    // The box keeps LF; the rest of the program counts lines by CR LF.
    QString t = txtSend->toPlainText();
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t.toStdU16String();
}

void frmMain::ClearSendText() {
    txtSend->clear();
}

void frmMain::SetSendText(const std::u16string& text) {
    QString t = QString::fromStdU16String(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtSend->setPlainText(t);
    txtSend->moveCursor(QTextCursor::End);
}

void frmMain::FocusSendBox() {
    txtSend->setFocus(Qt::OtherFocusReason);
    QApplication::sendPostedEvents();
}

bool frmMain::IsComposing() {
    return txtSend->IsComposing();
}

void frmMain::SetSendMaskVisible(bool visible) {
    imgSendMask->setVisible(visible);
}

std::u16string frmMain::MyLanguageDesc() {
    return cboMyLan->currentText().toStdU16String();
}

std::u16string frmMain::OtherLanguageDesc() {
    return cboOtherLan->currentText().toStdU16String();
}

void frmMain::SetTimeKeeperCaption(const std::u16string& caption) {
    lblTimeKeeper->setText(QString::fromStdU16String(caption));
}

void frmMain::SetTimeKeeperVisible(bool visible) {
    lblTimeKeeper->setVisible(visible);
}

bool frmMain::IsMainWindowActive() {
    return isActiveWindow();
}

void frmMain::SetTranslating(bool on) {
    if (!progress_) {
        progress_ = new QTimer(this);
        progress_->setInterval(250);
        connect(progress_, &QTimer::timeout, this, [this] {
            const qint64 ms = translatingSince_.elapsed();
            // Only on the window itself: from the tray it would be a message every turn.
            if (ms < relay::kProgressAfterMs || !isVisible()) return;
            ShowTip(relay::TranslatingTip(ms));
            progressShown_ = true;
        });
    }
    if (on) {
        translatingSince_.start();
        progressShown_ = false;
        progress_->start();
        return;
    }
    progress_->stop();
    if (progressShown_) {
        picTips->hide();
        lblTips->clear();
        progressShown_ = false;
    }
}

void frmMain::OfferEngineSettings() {
    QTimer::singleShot(0, this, [this] { ShowEngineSettings(); });
}

void frmMain::ShowEngineSettings() {
    if (showEngineSettings_) showEngineSettings_();
}

void frmMain::SetTip(const QString& text) {
    lblTips->setText(text);
    lblTips->ensurePolished();
    const QFontMetrics metrics(lblTips->font());
    constexpr int kUnbounded = 1 << 20;
    const int oneLine = metrics.boundingRect(QRect(0, 0, kUnbounded, kUnbounded), 0, text).width();
    const TipLayout layout = LayOutTip(oneLine, [&](int width) {
        return metrics.boundingRect(QRect(0, 0, width, kUnbounded), Qt::TextWordWrap, text)
            .height();
    });
    const auto place = [](QWidget* w, const TipRect& r) {
        w->setGeometry(r.x, r.y, r.width, r.height);
    };
    place(picTips, layout.panel);
    place(lblTips, layout.label);
    // Centred like the design's one line; several lines read better from the left.
    const bool design = layout.label == kTipLabelDesign;
    lblTips->setAlignment((design ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
}

void frmMain::ShowTip(const std::u16string& text) {
    SetTip(QString::fromStdU16String(text));
    picTips->show();
    // Hidden in the tray nobody sees the tip panel (an in-place translation runs from there):
    // the tray icon says it too.
    if (!isVisible() && tray_ && tray_->isVisible())
        tray_->showMessage(windowTitle(), QString::fromStdU16String(text));
}

}  // namespace velmora::app
