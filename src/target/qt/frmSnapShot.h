#pragma once

#include <QWidget>

#include <QImage>
#include <optional>

#include "target/SnapShotPick.h"

namespace velmora::target {

// The overlay's window: the frozen screen under a cross cursor, waiting for one press.
class SnapShotWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SnapShotWindow(QImage picture);
    std::optional<QPoint> pressed;

  signals:
    void finished();

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void TryGrabKeyboard();
    void ReleaseKeyboard();
    QImage picture_;
    bool keyboardGrabbed_ = false;
};

// The snapshot overlay. It bypasses the window manager, so it covers every screen and panel
// at exactly the desktop's rectangle; it grabs the keyboard so Esc and Alt+F4 reach it.
class frmSnapShot : public ISnapShotOverlay {
  public:
    frmSnapShot() = default;
    ~frmSnapShot() override;
    frmSnapShot(const frmSnapShot&) = delete;
    frmSnapShot& operator=(const frmSnapShot&) = delete;

    std::optional<platform::Point> ShowModal(const platform::Rect& cover,
                                             const platform::Bitmap& picture) override;
    platform::WinHandle WindowId() override;
    void DestroyWindow() override;

    // The window while a pick runs (for tests), null otherwise.
    SnapShotWindow* window() const { return window_; }

  private:
    SnapShotWindow* window_ = nullptr;
};

}  // namespace velmora::target
