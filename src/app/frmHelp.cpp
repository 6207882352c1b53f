#include "app/frmHelp.h"

#include <QResizeEvent>
#include <QUrl>
#include <QWebEngineView>

#include "app/QtWebPane.h"
#include "app/core/HelpSize.h"

namespace velmora::app {

frmHelp::frmHelp(QWidget* parent, const QString& pageBase)
    : QDialog(parent), WebBrowser1(new QWebEngineView(this)) {
    setWindowTitle(QStringLiteral("帮助"));
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    resize(312, 206);  // the restored size
    WebBrowser1->load(QUrl(QtWebPane::AddressWithScheme(pageBase + QStringLiteral("/help.php"))));
}

void frmHelp::ShowHelp(QWidget* parent, const QString& pageBase) {
    frmHelp help(parent, pageBase);
    help.setWindowModality(Qt::ApplicationModal);
    help.setWindowState(help.windowState() | Qt::WindowMaximized);
    help.exec();
}

void frmHelp::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitBrowser();
}

void frmHelp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitBrowser();
}

void frmHelp::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    FitBrowser();
}

void frmHelp::FitBrowser() {
    // The rule works on the outer size, frame included; the frame is known once mapped.
    const QSize outer = frameGeometry().size();
    const ControlRect g = HelpBrowserGeometryFor(outer.width(), outer.height());
    WebBrowser1->setGeometry(g.x, g.y, g.width, g.height);
}

}  // namespace velmora::app
