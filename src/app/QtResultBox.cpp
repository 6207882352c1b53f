#include "app/QtResultBox.h"

#include <QApplication>
#include <QTextCursor>
#include <QTextEdit>

namespace velmora::app {

QtResultBox::QtResultBox(QTextEdit& box) : box_(box) {
    format_.setForeground(QColor(0, 0, 0));
    format_.setFontWeight(QFont::Normal);
    format_.setFontItalic(false);
}

void QtResultBox::SetColor(std::uint32_t bgr) {
    format_.setForeground(QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
}

void QtResultBox::SetBold(bool on) {
    format_.setFontWeight(on ? QFont::Bold : QFont::Normal);
}

void QtResultBox::SetItalic(bool on) {
    format_.setFontItalic(on);
}

void QtResultBox::Insert(const std::u16string& text) {
    // The box keeps line ends as paragraphs; CR LF (or a lone CR or LF) is one line end.
    QString t = QString::fromStdU16String(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor c = box_.textCursor();
    c.insertText(t, format_);
    box_.setTextCursor(c);
}

void QtResultBox::FocusAndNewLine() {
    box_.setFocus(Qt::OtherFocusReason);
    // Focus events of both boxes run before the keystrokes land, as with real keys.
    QApplication::sendPostedEvents();
    QTextCursor c = box_.textCursor();
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("\n"), format_);
    box_.setTextCursor(c);
}

void QtResultBox::NewLineAtEnd() {
    QTextCursor c = box_.textCursor();
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("\n"), format_);
    box_.setTextCursor(c);
}

void QtResultBox::ScrollToEnd() {
    QTextCursor c = box_.textCursor();
    c.movePosition(QTextCursor::End);
    box_.setTextCursor(c);
    box_.ensureCursorVisible();
}

}  // namespace velmora::app
