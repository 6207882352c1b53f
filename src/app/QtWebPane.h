#pragma once

#include <QString>
#include <QWidget>

class QWebEngineView;

namespace velmora::app {

// An embedded browser pane for the vendor's pages. After every completed load the page's
// scroll bars are switched off (the engine's scroll bars are off from the start as well); a
// document without a body is left alone.
class QtWebPane : public QWidget {
    Q_OBJECT
  public:
    explicit QtWebPane(QWidget* parent = nullptr);

    // Starts loading the address and returns at once. An address without a scheme (the page
    // base is configured without one) is taken as http.
    void Navigate2(const QString& address);

    QWebEngineView* view() const { return view_; }

    // http:// in front of an address that has no scheme.
    static QString AddressWithScheme(const QString& address);

    // Sets what the engine needs before the application object exists: no sandbox when running
    // as root, no GPU when none is usable. Keeps values the environment already holds.
    static void PrepareEnvironment();

  signals:
    // After the scroll bars of a completed load have been dealt with.
    void documentCompleted(bool ok);

  private:
    void DocumentComplete(bool ok);
    QWebEngineView* view_;
};

}  // namespace velmora::app
