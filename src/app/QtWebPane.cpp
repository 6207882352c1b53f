#include "app/QtWebPane.h"

#include <unistd.h>

#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <cstdlib>
#include <string>

namespace velmora::app {

namespace {
// The body's scroll attribute for engines that honour it, overflow for the rest.
constexpr const char* kHideScrollBars = R"((function () {
  var b = document.body;
  if (!b) return false;
  b.scroll = 'no';
  b.setAttribute('scroll', 'no');
  b.style.overflow = 'hidden';
  document.documentElement.style.overflow = 'hidden';
  return true;
})())";
}  // namespace

QtWebPane::QtWebPane(QWidget* parent) : QWidget(parent), view_(new QWebEngineView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    view_->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    connect(view_, &QWebEngineView::loadFinished, this, &QtWebPane::DocumentComplete);
}

QString QtWebPane::AddressWithScheme(const QString& address) {
    static const QRegularExpression scheme("^[A-Za-z][A-Za-z0-9+.-]*://");
    return scheme.match(address).hasMatch() ? address : QStringLiteral("http://") + address;
}

void QtWebPane::Navigate2(const QString& address) {
    view_->load(QUrl(AddressWithScheme(address)));
}

void QtWebPane::DocumentComplete(bool ok) {
    // An error page or a document without a body still has a script context; the script checks.
    view_->page()->runJavaScript(QString::fromLatin1(kHideScrollBars),
                                 [this, ok](const QVariant&) { emit documentCompleted(ok); });
}

void QtWebPane::PrepareEnvironment() {
    if (geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    std::string flags =
        std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") ? std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") : "";
    // Without a GPU device (CI, Xvfb) the engine's GPU process only fails and retries.
    if (access("/dev/dri", F_OK) != 0 && flags.find("--disable-gpu") == std::string::npos)
        flags += (flags.empty() ? "" : " ") + std::string("--disable-gpu");
    if (geteuid() == 0 && flags.find("--no-sandbox") == std::string::npos)
        flags += (flags.empty() ? "" : " ") + std::string("--no-sandbox");
    if (!flags.empty()) setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

}  // namespace velmora::app
