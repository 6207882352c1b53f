#include "app/frmMain.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QString>
#include <QTimer>

#include "app/DesktopBackends.h"
#include "app/InPlaceSettingsDialog.h"
#include "app/QtArtwork.h"
#include "app/frmHelp.h"
#include "app/frmMainParts.h"
#include "platform/qt/QtActivation.h"

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
    CreateParts();
    resultBox_ = std::make_unique<QtResultBox>(*txtResult);
    controller_.Attach(*this, *resultBox_);
    controller_.DescribeOwnWindow(
        {[this] { return SendBoxView(); }, [this] { return platform::qt::HoldsFocus(*this); }});
    qApp->installEventFilter(this);
    // The closes that follow a commit data request end the session; user input after it means
    // the logout was cancelled (see eventFilter).
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { controller_.OnSessionEnding(true); });
}

frmMain::~frmMain() {
    controller_.DescribeOwnWindow({});
    qApp->removeEventFilter(this);
    // The children are destroyed after this body, and losing the focus on the way would call
    // into a window that is no longer a frmMain and a controller already detached.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    QObject::disconnect(qApp, nullptr, this, nullptr);
    controller_.Detach();
}

void frmMain::CreateParts() {
    sendBox_ = std::make_unique<QtSendBox>(*txtSend);
    languages_ = std::make_unique<QtLanguageLists>(*cboMyLan, *cboOtherLan);
    timeKeeper_ = std::make_unique<QtTimeKeeper>(*lblTimeKeeper);
    tipPanel_ = std::make_unique<QtTipPanel>(*picTips, *lblTips);
    panes_ = std::make_unique<QtPanes>(*WebBrowser1, *WebBrowser2);
    auto tray = std::make_unique<QtTrayIcon>(
        *this, windowIcon(), [this](bool leftButton) { controller_.OnTrayClick(leftButton); });
    trayIcon_ = tray.get();
    tray_ = std::move(tray);
}

void frmMain::SetCaption(const std::u16string& caption) {
    setWindowTitle(QString::fromStdU16String(caption));
}

platform::WinHandle frmMain::Handle() {
    return controller_.OwnWindowHandle(static_cast<platform::WinHandle>(winId()),
                                       windowTitle().toStdString());
}

std::optional<platform::OwnView> frmMain::SendBoxView() {
    // In the send box left of where its scroll bar shows and below short drafts: the click
    // leaves the caret at the draft's end. Around it, down to the window's bottom and across
    // the whole bar: the setting and picker pictures, what tells this patch from any other
    // place on the screen (the box itself is white, its border too faint to count, and while
    // a send is under way the time keeper and the send picture are hidden; the web panes are
    // left out, their pages change on their own).
    const QRect box = txtSend->geometry();
    const QPoint click(box.right() - 24, box.bottom() - 10);
    const int left = std::min(imgSetting->x(), box.x());
    const QRect patch(left, click.y() - 30, box.right() + 1 - left, 80);
    return OwnViewOf(*this, patch.intersected(rect()), click);
}

void frmMain::closeEvent(QCloseEvent* e) {
    if (controller_.OnCloseRequested(e->spontaneous()))
        e->accept();
    else
        e->ignore();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // Logout waits for no one's clicks: input after a commit data request means the session
    // goes on, and the close box hides to the tray again.
    if (event->spontaneous() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        controller_.OnUserInput();
    if (trayIcon_ && trayIcon_->Filter(watched, event)) return true;
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

bool frmMain::IsActive() {
    return platform::qt::HoldsFocus(*this);
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

}  // namespace velmora::app
