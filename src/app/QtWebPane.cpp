#include "app/QtWebPane.h"

#include <unistd.h>

#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <cstdlib>
#include <string>
#include <string_view>

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

// The local page is loaded from a data: address; the vendor's pages never are.
bool IsOfflinePage(const QUrl& url) {
    return url.scheme() == QLatin1String("data");
}
}  // namespace

QtWebPane::QtWebPane(QWidget* parent)
    : QWidget(parent), view_(Enabled() ? new QWebEngineView(this) : nullptr) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!view_) return;
    layout->addWidget(view_);
    view_->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    // The engine's own error page is English; the local page replaces it.
    view_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(view_->page(), &QWebEnginePage::loadingChanged, this, &QtWebPane::LoadingChanged);
}

QString QtWebPane::OfflineTitle() {
    return QString::fromUtf8(kOfflinePageTitle.data(),
                             static_cast<qsizetype>(kOfflinePageTitle.size()));
}

QString QtWebPane::AddressWithScheme(const QString& address) {
    static const QRegularExpression scheme("^[A-Za-z][A-Za-z0-9+.-]*://");
    return scheme.match(address).hasMatch() ? address : QStringLiteral("http://") + address;
}

bool QtWebPane::Enabled() {
    const char* off = std::getenv("VELMORA_NO_PANES");
    return !off || !*off || std::string_view(off) == "0";
}

void QtWebPane::Navigate2(const QString& address) {
    address_ = QUrl(AddressWithScheme(address));
    LoadAddress();
}

void QtWebPane::LoadAddress() {
    if (!view_) return;
    fallback_.Load();
    view_->load(address_);
}

void QtWebPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A discarded page is loaded by Restore; otherwise the address gets another chance here.
    if (!discarded_ && fallback_.RetryOnShow()) LoadAddress();
}

void QtWebPane::LoadingChanged(const QWebEngineLoadingInfo& info) {
    using Status = QWebEngineLoadingInfo::LoadStatus;
    const bool local = IsOfflinePage(info.url());
    switch (info.status()) {
        case Status::LoadStartedStatus:
            return;
        case Status::LoadFailedStatus:
            if (!local) {
                // Not from inside the engine's own notification; and not over a newer load.
                QTimer::singleShot(0, this, [this, load = fallback_.CurrentLoad()] {
                    if (fallback_.Failed(load)) ShowOfflinePage();
                });
                return;
            }
            break;
        case Status::LoadSucceededStatus:
        case Status::LoadStoppedStatus:
            break;
    }
    DocumentComplete(info.status() == Status::LoadSucceededStatus && !local);
}

void QtWebPane::ShowOfflinePage() {
    view_->setHtml(QString::fromStdString(OfflinePageHtml()));
}

void QtWebPane::Discard() {
    using State = QWebEnginePage::LifecycleState;
    if (!view_ || view_->isVisible() || discarded_) return;
    QWebEnginePage* page = view_->page();
    // The engine discards only a hidden page, and only by way of frozen.
    page->setVisible(false);
    if (page->lifecycleState() == State::Active) page->setLifecycleState(State::Frozen);
    page->setLifecycleState(State::Discarded);
    discarded_ = page->lifecycleState() == State::Discarded;
}

void QtWebPane::Restore() {
    if (!discarded_) return;
    discarded_ = false;
    // Showing the view has made the page active already, with the engine's cached copy (or
    // nothing, when it was discarded before its first load finished): the ads are asked anew.
    view_->page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    LoadAddress();
}

void QtWebPane::DocumentComplete(bool ok) {
    // An error page or a document without a body still has a script context; the script checks.
    view_->page()->runJavaScript(QString::fromLatin1(kHideScrollBars),
                                 [this, ok](const QVariant&) { emit documentCompleted(ok); });
}

void QtWebPane::PrepareEnvironment() {
    const bool root = geteuid() == 0;
    if (root && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    std::string flags =
        std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") ? std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") : "";
    auto add = [&flags](const char* flag) {
        if (flags.find(flag) == std::string::npos)
            flags += (flags.empty() ? "" : " ") + std::string(flag);
    };
    // Without a GPU device (CI, Xvfb) the engine's GPU process only fails and retries, and GL
    // would be a software rasteriser that costs tens of MB and a share of a core: Qt Quick's
    // own software renderer composes the pages instead, and no GL library is loaded.
    if (access("/dev/dri", F_OK) != 0) {
        add("--disable-gpu");
        setenv("QT_QUICK_BACKEND", "software", 0);
        setenv("QT_XCB_GL_INTEGRATION", "none", 0);
    }
    if (root) add("--no-sandbox");
    // Two views of one profile get a renderer process each, even for one site; the panes show
    // one site, so they share one.
    if (flags.find("--process-per-") == std::string::npos &&
        flags.find("--single-process") == std::string::npos)
        add("--process-per-site");
    // Without the sandbox the zygotes stay for the program's whole life only to fork the rare
    // renderer; it can be started directly, and nothing is left while the panes are discarded.
    const char* noSandbox = std::getenv("QTWEBENGINE_DISABLE_SANDBOX");
    if (flags.find("--no-sandbox") != std::string::npos || (noSandbox && *noSandbox))
        add("--no-zygote");
    if (!flags.empty()) setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

}  // namespace velmora::app
