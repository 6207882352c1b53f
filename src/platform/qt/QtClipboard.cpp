#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <cstring>

namespace velmora::platform::qt {

QImage ToQImage(const Bitmap& b) {
    if (b.empty() || b.pixels.size() < static_cast<size_t>(b.width) * b.height) return {};
    QImage image(b.width, b.height, QImage::Format_ARGB32);
    for (int y = 0; y < b.height; ++y)
        std::memcpy(image.scanLine(y), b.pixels.data() + static_cast<size_t>(y) * b.width,
                    static_cast<size_t>(b.width) * 4);
    return image;
}

Bitmap FromQImage(const QImage& source) {
    Bitmap b;
    if (source.isNull()) return b;
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    b.width = image.width();
    b.height = image.height();
    b.pixels.resize(static_cast<size_t>(b.width) * b.height);
    for (int y = 0; y < b.height; ++y)
        std::memcpy(b.pixels.data() + static_cast<size_t>(y) * b.width, image.constScanLine(y),
                    static_cast<size_t>(b.width) * 4);
    return b;
}

QtClipboard::QtClipboard(IEventLoop& loop) {
    changed_ = QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                                [&loop] { loop.Wake(); });
}

QtClipboard::~QtClipboard() {
    QObject::disconnect(changed_);
}

bool QtClipboard::Clear() {
    QGuiApplication::clipboard()->clear();
    return true;
}

bool QtClipboard::SetText(const std::u16string& text) {
    QGuiApplication::clipboard()->setText(
        QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    return true;
}

std::optional<std::u16string> QtClipboard::Text() {
    // Qt asks the owning program over X11 and gives up after its own clipboard time-out,
    // so this read is bounded even when the owner does not answer.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::u16string();
    QString text = data->text();
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

bool QtClipboard::SetImage(const Bitmap& image) {
    QImage q = ToQImage(image);
    if (q.isNull()) return false;
    QGuiApplication::clipboard()->setImage(q);
    return true;
}

Bitmap QtClipboard::Image() {
    return FromQImage(QGuiApplication::clipboard()->image());
}

}  // namespace velmora::platform::qt
