#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include "app/core/OfflinePage.h"

class QShowEvent;
class QWebEngineLoadingInfo;
class QWebEngineView;

namespace velmora::app {

// An embedded browser pane for the vendor's pages. After every completed load the page's
// scroll bars are switched off (the engine's scroll bars are off from the start as well); a
// document without a body is left alone. An address that cannot be loaded gets a small local
// page in Chinese instead of the engine's error page, and is asked for again the next time the
// pane is shown. With VELMORA_NO_PANES set (to anything but 0) the pane stays empty: no web view
// is made and nothing is loaded.
class QtWebPane : public QWidget {
    Q_OBJECT
  public:
    explicit QtWebPane(QWidget* parent = nullptr);

    // Starts loading the address and returns at once. An address without a scheme (the page
    // base is configured without one) is taken as http.
    void Navigate2(const QString& address);

    // Null when the panes are switched off.
    QWebEngineView* view() const { return view_; }

    // While its window is hidden: the page is frozen and discarded, which frees its renderer
    // process. Call after the view was hidden; a visible page cannot be discarded.
    void Discard();
    // After a Discard: the page loads its last address anew, from the server. Otherwise nothing.
    void Restore();

    // Whether panes show pages at all (VELMORA_NO_PANES).
    static bool Enabled();

    // The local page's title, shown while the address cannot be loaded.
    static QString OfflineTitle();

    // http:// in front of an address that has no scheme.
    static QString AddressWithScheme(const QString& address);

    // Sets what the engine needs before the application object exists: no sandbox when running
    // as root; no GPU and no GL when no GPU is usable; one renderer process per site (the two
    // panes show the same site); no zygote processes without the sandbox. Keeps values the
    // environment already holds.
    static void PrepareEnvironment();

  signals:
    // After the scroll bars of a completed load have been dealt with; false when the address
    // could not be loaded (the local page is shown then).
    void documentCompleted(bool ok);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void LoadAddress();
    void LoadingChanged(const QWebEngineLoadingInfo& info);
    void ShowOfflinePage();
    void DocumentComplete(bool ok);
    QWebEngineView* view_;
    QUrl address_;
    bool discarded_ = false;
    OfflineFallback fallback_;  // whether the local page stands in for the address
};

}  // namespace velmora::app
