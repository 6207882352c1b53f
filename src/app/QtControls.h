#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <functional>

namespace velmora::app {

// An image that reports press, move and release (of any button) to its owner.
class ImageControl : public QLabel {
    Q_OBJECT
  public:
    explicit ImageControl(QWidget* parent);
  signals:
    void pressed(Qt::MouseButton button);
    void moved();
    void released(Qt::MouseButton button);

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The user's input box. keyDown sees every key first and may consume it; what an input method
// does with the keys it takes arrives as inputMethodUsed.
class SendTextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit SendTextBox(QWidget* parent) : QPlainTextEdit(parent) {}
    // Returns true when the key was consumed.
    std::function<bool(QKeyEvent*)> keyDown;
    // An input method holds an uncommitted word.
    bool IsComposing() const;
  signals:
    void focusGained();
    void focusLost();
    void inputMethodUsed();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    // Plain text only: the toolkit's own paste, which also looks for rich text, crashed when
    // the program that had copied was gone by the time of the paste.
    void insertFromMimeData(const QMimeData* source) override;
};

// The conversation view.
class ResultTextBox : public QTextEdit {
    Q_OBJECT
  public:
    explicit ResultTextBox(QWidget* parent) : QTextEdit(parent) {}
  signals:
    void focusGained();
    void focusLost();

  protected:
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

}  // namespace velmora::app
