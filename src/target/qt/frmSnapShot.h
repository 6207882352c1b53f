#pragma once

#include <QWidget>

#include <QImage>
#include <optional>
#include <vector>

#include "target/SnapShotPick.h"

namespace velmora::target {

// One screen's part of the overlay: its part of the frozen desktop under a cross cursor,
// waiting for one press.
class SnapShotWindow : public QWidget {
    Q_OBJECT
  public:
    // picture: the screen's part in device pixels; deviceOrigin: where that part starts in the
    // whole picture. Only one window of an overlay grabs the keyboard.
    SnapShotWindow(QImage picture, QPoint deviceOrigin, bool grabsKeyboard);
    // The pressed point in device pixels of the whole picture.
    std::optional<QPoint> pressed;

  signals:
    void finished();

  protected:
    void paintEvent(QPaintEvent*) override;
    // Takes the press at the native window; see the source.
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void TryGrabKeyboard();
    void ReleaseKeyboard();
    QImage picture_;
    QPoint deviceOrigin_;
    bool grabsKeyboard_;
    bool keyboardGrabbed_ = false;
};

// The snapshot overlay: one window over the whole desktop, or under a scale factor one window
// per screen, each exactly over its screen: Qt maps a window to device pixels through one
// screen only, and a single window over screens of other origins would land off by whole
// screens. The windows bypass the window manager, so they cover panels too; one grabs the
// keyboard so Esc and Alt+F4 reach it.
class frmSnapShot : public ISnapShotOverlay {
  public:
    ~frmSnapShot() override;

    std::optional<platform::Point> ShowModal(const platform::Rect& cover,
                                             const platform::Bitmap& picture) override;
    // The window that took the press; before a press, the first screen's.
    platform::WinHandle WindowId() override;
    void DestroyWindow() override;

    // The first screen's window while a pick runs (for tests), null otherwise.
    SnapShotWindow* window() const { return windows_.empty() ? nullptr : windows_.front(); }

  private:
    std::vector<SnapShotWindow*> windows_;
};

}  // namespace velmora::target
