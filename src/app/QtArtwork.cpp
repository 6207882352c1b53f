#include "app/QtArtwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace velmora::app::artwork {

namespace {

const QColor kInk(0x2b, 0x3a, 0x4e);
const QColor kAccent(0x2f, 0x7d, 0xd1);
const QColor kAccentDark(0x1f, 0x5f, 0xa8);
const QColor kTeal(0x1f, 0xa8, 0x8f);

QFont UiFont(int pixelSize, bool bold = false) {
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void Panel(QPainter& p, const QRectF& r) {
    // A soft drop shadow, then a white card with a hairline border.
    for (int i = 3; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 40, 70, 10 * i));
        p.drawRoundedRect(r.adjusted(-i, -i + 1, i, i + 1), 6 + i, 6 + i);
    }
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0xc5, 0xd3, 0xe2), 1));
    p.drawRoundedRect(r, 6, 6);
}

// The three picker glyphs, drawn into a 28 x 33 cell.
void DrawPickerGlyph(QPainter& p, Picker which, const QRectF& cell, const QColor& ink) {
    p.save();
    p.translate(cell.topLeft());
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (which) {
        case Picker::SendButton: {
            // A button with a pointer on it.
            p.setBrush(QColor(ink.red(), ink.green(), ink.blue(), 40));
            p.drawRoundedRect(QRectF(3, 7, 22, 12), 3, 3);
            QPainterPath arrow;
            arrow.moveTo(14, 13);
            arrow.lineTo(14, 28);
            arrow.lineTo(17.5, 24.5);
            arrow.lineTo(20.5, 30);
            arrow.lineTo(22.5, 29);
            arrow.lineTo(19.5, 23.5);
            arrow.lineTo(24, 23);
            arrow.closeSubpath();
            p.setBrush(Qt::white);
            p.drawPath(arrow);
            break;
        }
        case Picker::SendArea: {
            // An input line with a text cursor.
            p.drawRoundedRect(QRectF(3, 9, 22, 15), 3, 3);
            p.drawLine(QPointF(9, 12.5), QPointF(9, 20.5));
            p.drawLine(QPointF(7, 12.5), QPointF(11, 12.5));
            p.drawLine(QPointF(7, 20.5), QPointF(11, 20.5));
            p.drawLine(QPointF(14, 16.5), QPointF(21, 16.5));
            break;
        }
        case Picker::ReturnArea: {
            // Two speech bubbles: the conversation.
            QPainterPath a;
            a.addRoundedRect(QRectF(2.5, 6, 16, 11), 4, 4);
            p.drawPath(a);
            p.drawLine(QPointF(6, 17), QPointF(5, 21));
            p.setBrush(QColor(ink.red(), ink.green(), ink.blue(), 50));
            QPainterPath b;
            b.addRoundedRect(QRectF(10, 14, 15.5, 11), 4, 4);
            p.drawPath(b);
            p.drawLine(QPointF(22, 25), QPointF(23, 29));
            break;
        }
    }
    p.restore();
}

QPixmap Make(int w, int h) {
    QPixmap px(w, h);
    px.fill(Qt::transparent);
    return px;
}

void Caption(QPainter& p, const QRectF& r, const QString& text, const QColor& c, int size) {
    p.setPen(c);
    p.setFont(UiFont(size, true));
    p.drawText(r, Qt::AlignCenter, text);
}

// A pressed button's face: a pale blue plate with an accent rim, the whole pixmap.
void DrawPressedPlate(QPainter& p, const QPixmap& px, qreal radius) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kAccent, 1));
    p.setBrush(QColor(0xd6, 0xe6, 0xf7));
    p.drawRoundedRect(QRectF(0.5, 0.5, px.width() - 1, px.height() - 1), radius, radius);
}

}  // namespace

QPixmap Background() {
    QPixmap px(517, 644);
    QPainter p(&px);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 644);
    g.setColorAt(0, QColor(0xf3, 0xf7, 0xfb));
    g.setColorAt(1, QColor(0xdf, 0xe8, 0xf2));
    p.fillRect(px.rect(), g);

    Panel(p, QRectF(8, 8, 337, 404));
    Panel(p, QRectF(8, 440, 337, 163));
    Panel(p, QRectF(344, 8, 169, 406));
    Panel(p, QRectF(344, 416, 169, 225));

    // Language captions beside the two lists.
    p.setFont(UiFont(12));
    p.setPen(kInk);
    p.drawText(QRectF(10, 413, 60, 21), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("对方语言"));
    p.drawText(QRectF(170, 420, 60, 21), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("我的语言"));

    // The tool strip along the bottom holds the pickers, the countdown and the send button.
    QRectF strip(4, 605, 338, 37);
    p.setPen(QPen(QColor(0xc0, 0xce, 0xde), 1));
    QLinearGradient sg(0, strip.top(), 0, strip.bottom());
    sg.setColorAt(0, QColor(0xfa, 0xfc, 0xfe));
    sg.setColorAt(1, QColor(0xe4, 0xec, 0xf5));
    p.setBrush(sg);
    p.drawRoundedRect(strip, 7, 7);
    DrawPickerGlyph(p, Picker::SendButton, QRectF(88, 608, 28, 33), kAccentDark);
    DrawPickerGlyph(p, Picker::SendArea, QRectF(120, 608, 28, 33), kAccentDark);
    DrawPickerGlyph(p, Picker::ReturnArea, QRectF(149, 608, 28, 33), kAccentDark);
    p.setPen(QPen(QColor(0xc0, 0xce, 0xde), 1));
    p.drawLine(QPointF(84.5, 611), QPointF(84.5, 638));
    p.drawLine(QPointF(180.5, 611), QPointF(180.5, 638));
    return px;
}

QPixmap SettingButton() {
    QPixmap px = Make(73, 33);
    QPainter p(&px);
    p.setRenderHint(QPainter::Antialiasing);
    // A gear and the word for settings.
    QPointF c(16, 16.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 45);
        p.drawRoundedRect(QRectF(-2, -9.5, 4, 5), 1, 1);
        p.restore();
    }
    p.drawEllipse(c, 6.5, 6.5);
    p.setBrush(QColor(0xf0, 0xf5, 0xfa));
    p.drawEllipse(c, 2.6, 2.6);
    Caption(p, QRectF(28, 0, 45, 33), QStringLiteral("设置"), kInk, 13);
    return px;
}

QPixmap SettingPressed() {
    QPixmap px = Make(73, 38);
    QPainter p(&px);
    DrawPressedPlate(p, px, 6);
    p.drawPixmap(-4, 3, SettingButton());
    return px;
}

QPixmap PickerPressed(Picker which) {
    QPixmap px = Make(30, 38);
    QPainter p(&px);
    DrawPressedPlate(p, px, 5);
    DrawPickerGlyph(p, which, QRectF(1, 4, 28, 33), kAccent.darker(140));
    return px;
}

namespace {
QPixmap SendFace(int w, int h, bool pressed) {
    QPixmap px = Make(w, h);
    QPainter p(&px);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(1, 1, w - 2, h - 2);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, pressed ? kAccentDark : QColor(0x4a, 0x97, 0xe6));
    g.setColorAt(1, pressed ? kAccentDark.darker(120) : kAccentDark);
    p.setPen(QPen(kAccentDark.darker(130), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 8, 8);
    // A paper plane and the caption.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal cy = h / 2.0 + (pressed ? 1 : 0);
    QPainterPath plane;
    plane.moveTo(14, cy - 1);
    plane.lineTo(31, cy - 8);
    plane.lineTo(25, cy + 8);
    plane.lineTo(21, cy + 2);
    plane.closeSubpath();
    p.drawPath(plane);
    Caption(p, QRectF(30, pressed ? 1 : 0, w - 34, h), QStringLiteral("发 送"), Qt::white, 15);
    return px;
}
}  // namespace

QPixmap SendButton() {
    return SendFace(105, 33, false);
}
QPixmap SendPressed() {
    return SendFace(98, 38, true);
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap px = Make(size, size);
        QPainter p(&px);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        QLinearGradient g(0, 0, 64, 64);
        g.setColorAt(0, QColor(0x4a, 0x97, 0xe6));
        g.setColorAt(1, kTeal);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
        // Two overlapping bubbles: one Latin, one Han.
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(8, 10, 30, 24), 8, 8);
        p.setBrush(QColor(255, 255, 255, 210));
        p.drawRoundedRect(QRectF(26, 28, 30, 24), 8, 8);
        p.setPen(kAccentDark);
        p.setFont(UiFont(18, true));
        p.drawText(QRectF(8, 9, 30, 24), Qt::AlignCenter, QStringLiteral("A"));
        p.setPen(QColor(0x16, 0x7a, 0x68));
        p.setFont(UiFont(17, true));
        p.drawText(QRectF(26, 27, 30, 24), Qt::AlignCenter, QStringLiteral("译"));
        icon.addPixmap(px);
    }
    return icon;
}

}  // namespace velmora::app::artwork
