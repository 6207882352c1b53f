#include "app/QtControls.h"

#include <QMimeData>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextLayout>

namespace velmora::app {

ImageControl::ImageControl(QWidget* parent) : QLabel(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ImageControl::mousePressEvent(QMouseEvent* e) {
    emit pressed(e->button());
    e->accept();
}

void ImageControl::mouseMoveEvent(QMouseEvent* e) {
    emit moved();
    e->accept();
}

// Qt keeps the mouse grabbed by the pressed widget, so the release arrives here wherever the
// pointer is by then.
void ImageControl::mouseReleaseEvent(QMouseEvent* e) {
    emit released(e->button());
    e->accept();
}

void SendTextBox::keyPressEvent(QKeyEvent* e) {
    if (keyDown && keyDown(e)) {
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void SendTextBox::insertFromMimeData(const QMimeData* source) {
    if (source && source->hasText()) insertPlainText(source->text());
}

void SendTextBox::inputMethodEvent(QInputMethodEvent* e) {
    QPlainTextEdit::inputMethodEvent(e);
    emit inputMethodUsed();
}

bool SendTextBox::IsComposing() const {
    // The text layout of the caret's block holds the pre-edit string while it is pending.
    const QTextLayout* layout = textCursor().block().layout();
    return layout && !layout->preeditAreaText().isEmpty();
}

void SendTextBox::focusInEvent(QFocusEvent* e) {
    QPlainTextEdit::focusInEvent(e);
    emit focusGained();
}

void SendTextBox::focusOutEvent(QFocusEvent* e) {
    QPlainTextEdit::focusOutEvent(e);
    emit focusLost();
}

void ResultTextBox::focusInEvent(QFocusEvent* e) {
    QTextEdit::focusInEvent(e);
    emit focusGained();
}

void ResultTextBox::focusOutEvent(QFocusEvent* e) {
    QTextEdit::focusOutEvent(e);
    emit focusLost();
}

}  // namespace velmora::app
