#include "app/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QString>
#include <QTimer>

#include "app/InPlaceSettingsDialog.h"
#include "app/QtArtwork.h"
#include "app/core/TipPanel.h"
#include "app/frmHelp.h"

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

}  // namespace

frmMain::frmMain(MainController& controller)
    : QWidget(nullptr), State(controller.State()), controller_(controller) {
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
    controller_.Attach(*this, *resultBox_);
    qApp->installEventFilter(this);
    // The closes that follow a commit data request end the session; user input after it means
    // the logout was cancelled (see eventFilter).
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { controller_.OnSessionEnding(true); });
}

frmMain::~frmMain() {
    qApp->removeEventFilter(this);
    // The children are destroyed after this body, and losing the focus on the way would call
    // into a window that is no longer a frmMain and a controller already detached.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    QObject::disconnect(qApp, nullptr, this, nullptr);
    controller_.Detach();
}

void frmMain::SetLanguageLists(const std::vector<std::u16string>& descs) {
    cboOtherLan->clear();
    cboMyLan->clear();
    for (const std::u16string& desc : descs) {
        const QString text = QString::fromStdU16String(desc);
        cboOtherLan->addItem(text);
        cboMyLan->addItem(text);
    }
    cboOtherLan->setCurrentIndex(0);
    cboMyLan->setCurrentIndex(0);
}

void frmMain::SetCaption(const std::u16string& caption) {
    setWindowTitle(QString::fromStdU16String(caption));
}

void frmMain::NavigatePanes(const std::string& top, const std::string& bottom) {
    WebBrowser1->Navigate2(QString::fromStdString(top));
    WebBrowser2->Navigate2(QString::fromStdString(bottom));
}

platform::WinHandle frmMain::Handle() {
    return static_cast<platform::WinHandle>(winId());
}

void frmMain::closeEvent(QCloseEvent* e) {
    if (controller_.OnCloseRequested(e->spontaneous()))
        e->accept();
    else
        e->ignore();
}

bool frmMain::TrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void frmMain::ShowTrayIcon() {
    if (!tray_) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        tray_->setObjectName(QStringLiteral("TrayIcon"));
        tray_->setToolTip(QStringLiteral("Quillet"));
        // Where the tray is not an X11 embedded widget, the tray API's own reasons stand in.
        connect(tray_, &QSystemTrayIcon::activated, this, [this](auto reason) {
            if (trayWidgetSeen_) return;
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                controller_.OnTrayClick(true);
            else if (reason == QSystemTrayIcon::Context)
                controller_.OnTrayClick(false);
        });
    }
    tray_->show();  // a second show leaves the one icon as it is
}

void frmMain::RemoveTrayIcon() {
    if (tray_) tray_->hide();
}

void frmMain::TrayMessage(const std::u16string& title, const std::u16string& text) {
    if (tray_)
        tray_->showMessage(QString::fromStdU16String(title), QString::fromStdU16String(text));
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // Logout waits for no one's clicks: input after a commit data request means the session
    // goes on, and the close box hides to the tray again.
    if (event->spontaneous() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        controller_.OnUserInput();
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
                if (me->button() == Qt::LeftButton) controller_.OnTrayClick(true);
                if (me->button() == Qt::RightButton) controller_.OnTrayClick(false);
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

void frmMain::PopupSettingMenu() {
    mnuSetting->popup(mapToGlobal(QPoint(10, 515)));
}

void frmMain::RestoreAndActivate() {
    if (isMinimized() || !isVisible()) showNormal();
    raise();
    activateWindow();
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

void frmMain::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) controller_.OnActivationChanged();
    QWidget::changeEvent(e);
}

void frmMain::mouseMoveEvent(QMouseEvent* e) {
    controller_.OnMouseMove();
    QWidget::mouseMoveEvent(e);
}

bool frmMain::RunInPlaceSettings(const std::filesystem::path& configFile) {
    InPlaceSettingsDialog dialog(configFile, this);
    return dialog.exec() == QDialog::Accepted;
}

void frmMain::ShowHelp(const std::string& pageBase) {
    frmHelp::ShowHelp(this, QString::fromStdString(pageBase));
}

void frmMain::SetIdleTimerRunning(bool running) {
    if (running)
        Timer1->start();
    else
        Timer1->stop();
}

void frmMain::cmdSend_Click() {
    controller_.OnSendClicked();
}

void frmMain::Timer1_Timer() {
    controller_.OnIdleTick();
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

void frmMain::ShowTipPanel(const std::u16string& tip) {
    const QString text = QString::fromStdU16String(tip);
    lblTips->setText(text);
    lblTips->ensurePolished();
    const QFontMetrics metrics(lblTips->font());
    constexpr int kUnbounded = 1 << 20;
    const int oneLine = metrics.boundingRect(QRect(0, 0, kUnbounded, kUnbounded), 0, text).width();
    const TipLayout layout = LayOutTip(oneLine, [&](int width) {
        return metrics.boundingRect(QRect(0, 0, width, kUnbounded), Qt::TextWordWrap, text)
            .height();
    });
    const auto place = [](QWidget* w, const ControlRect& r) {
        w->setGeometry(r.x, r.y, r.width, r.height);
    };
    place(picTips, layout.panel);
    place(lblTips, layout.label);
    // Centred like the design's one line; several lines read better from the left.
    const bool design = layout.label == kTipLabelDesign;
    lblTips->setAlignment((design ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    picTips->show();
}

void frmMain::HideTipPanel() {
    picTips->hide();
    lblTips->clear();
}

}  // namespace velmora::app
