#include "app/QtResultBox.h"

#include <QApplication>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

namespace velmora::app {

QtResultBox::QtResultBox(QTextEdit& box) : box_(box) {}

void QtResultBox::InsertAt(QTextCursor& cursor, const QString& text) {
    const relay::TextFormat& f = Format();
    QTextCharFormat format;
    format.setForeground(QColor(f.color & 0xFF, (f.color >> 8) & 0xFF, (f.color >> 16) & 0xFF));
    format.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(f.italic);
    cursor.insertText(text, format);
}

void QtResultBox::Insert(const std::u16string& text) {
    // The box keeps line ends as paragraphs; CR LF (or a lone CR or LF) is one line end.
    QString t = QString::fromStdU16String(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor c = box_.textCursor();
    InsertAt(c, t);
    box_.setTextCursor(c);
}

void QtResultBox::FocusAndNewLine() {
    box_.setFocus(Qt::OtherFocusReason);
    // Focus events of both boxes run before the keystrokes land, as with real keys.
    QApplication::sendPostedEvents();
    QTextCursor c = box_.textCursor();
    c.movePosition(QTextCursor::End);
    InsertAt(c, QStringLiteral("\n"));
    box_.setTextCursor(c);
}

void QtResultBox::NewLineAtEnd() {
    QTextCursor c = box_.textCursor();
    c.movePosition(QTextCursor::End);
    InsertAt(c, QStringLiteral("\n"));
    box_.setTextCursor(c);
}

void QtResultBox::ScrollToEnd() {
    QTextCursor c = box_.textCursor();
    c.movePosition(QTextCursor::End);
    box_.setTextCursor(c);
    box_.ensureCursorVisible();
}

}  // namespace velmora::app
