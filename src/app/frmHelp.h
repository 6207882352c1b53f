#pragma once

#include <QDialog>
#include <QString>

class QWebEngineView;

namespace velmora::app {

// The help window: one browser on the vendor's help page, kept fitted to the window.
class frmHelp : public QDialog {
    Q_OBJECT
  public:
    frmHelp(QWidget* parent, const QString& pageBase);

    // Creates the window afresh, opens it maximised and modal on pageBase + "/help.php", and
    // returns when the user has closed it (the window is destroyed then).
    static void ShowHelp(QWidget* parent, const QString& pageBase);

    QWebEngineView* WebBrowser1;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The window manager's frame can arrive without a resize of the client area.
    void moveEvent(QMoveEvent* event) override;

  private:
    void FitBrowser();
};

}  // namespace velmora::app
