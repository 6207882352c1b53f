#include "app/frmMainParts.h"

#include <QApplication>
#include <QFontMetrics>
#include <QString>

#include "app/core/TipPanel.h"

namespace velmora::app {

std::u16string QtSendBox::Text() {
    // The box keeps LF; the rest of the program counts lines by CR LF.
    QString t = box_.toPlainText();
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t.toStdU16String();
}

void QtSendBox::SetText(const std::u16string& text) {
    QString t = QString::fromStdU16String(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box_.setPlainText(t);
    box_.moveCursor(QTextCursor::End);
}

void QtSendBox::Focus() {
    box_.setFocus(Qt::OtherFocusReason);
    QApplication::sendPostedEvents();
}

void QtLanguageLists::Fill(const std::vector<std::u16string>& descs) {
    other_.clear();
    mine_.clear();
    for (const std::u16string& desc : descs) {
        const QString text = QString::fromStdU16String(desc);
        other_.addItem(text);
        mine_.addItem(text);
    }
    other_.setCurrentIndex(0);
    mine_.setCurrentIndex(0);
}

void QtTipPanel::Show(const std::u16string& tip) {
    const QString text = QString::fromStdU16String(tip);
    label_.setText(text);
    label_.ensurePolished();
    const QFontMetrics metrics(label_.font());
    constexpr int kUnbounded = 1 << 20;
    const int oneLine = metrics.boundingRect(QRect(0, 0, kUnbounded, kUnbounded), 0, text).width();
    const TipLayout layout = LayOutTip(oneLine, [&](int width) {
        return metrics.boundingRect(QRect(0, 0, width, kUnbounded), Qt::TextWordWrap, text)
            .height();
    });
    const auto place = [](QWidget& w, const ControlRect& r) {
        w.setGeometry(r.x, r.y, r.width, r.height);
    };
    place(panel_, layout.panel);
    place(label_, layout.label);
    // Centred like the design's one line; several lines read better from the left.
    const bool design = layout.label == kTipLabelDesign;
    label_.setAlignment((design ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    panel_.show();
}

void QtTipPanel::Hide() {
    panel_.hide();
    label_.clear();
}

void QtPanes::Navigate(const std::string& top, const std::string& bottom) {
    top_.Navigate2(QString::fromStdString(top));
    bottom_.Navigate2(QString::fromStdString(bottom));
}

void QtPanes::SetDiscarded(bool discarded) {
    // In the tray nobody sees the ads: their renderer process need not stay.
    for (QtWebPane* pane : {&top_, &bottom_}) {
        if (discarded)
            pane->Discard();
        else
            pane->Restore();
    }
}

}  // namespace velmora::app
