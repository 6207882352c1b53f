#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <cstring>
#include <memory>

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

namespace {

// What SetText served: the requests for it, less our own reads.
struct Served {
    int reads = 0;
    bool ownRead = false;
};

// What we serve: counts the requests for it. Shared with the clipboard object, since the system
// clipboard may keep it after that is gone.
class ServedMimeData : public QMimeData {
  public:
    explicit ServedMimeData(std::shared_ptr<Served> served) : served_(std::move(served)) {}

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (!served_->ownRead) ++served_->reads;
        return QMimeData::retrieveData(mimeType, type);
    }

  private:
    std::shared_ptr<Served> served_;
};

struct OwnRead {
    Served& s;
    explicit OwnRead(Served& served) : s(served) { s.ownRead = true; }
    ~OwnRead() { s.ownRead = false; }
};

}  // namespace

}  // namespace velmora::platform::qt

namespace velmora::platform {

using qt::FromQImage;
using qt::OwnRead;
using qt::Served;
using qt::ServedMimeData;
using qt::ToQImage;

// QClipboard holds the data; we keep the change connection and the count of what we served.
struct SystemClipboard::State {
    QMetaObject::Connection changed;
    std::shared_ptr<Served> served = std::make_shared<Served>();
};

SystemClipboard::SystemClipboard(IEventLoop& loop) : state_(std::make_unique<State>()) {
    state_->changed = QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                                       [&loop] { loop.Wake(); });
}

SystemClipboard::~SystemClipboard() {
    QObject::disconnect(state_->changed);
}

bool SystemClipboard::Clear() {
    QGuiApplication::clipboard()->clear();
    return true;
}

bool SystemClipboard::SetText(const std::u16string& text) {
    state_->served = std::make_shared<Served>();
    auto* data = new ServedMimeData(state_->served);
    data->setText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    QGuiApplication::clipboard()->setMimeData(data);  // the clipboard owns it
    return true;
}

std::optional<int> SystemClipboard::Reads() {
    return state_->served->reads;
}

std::optional<ClipboardContents> SystemClipboard::Save() {
    OwnRead own(*state_->served);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ClipboardContents saved;
    if (!data) return saved;
    std::size_t total = 0;
    for (const QString& format : data->formats()) {
        if (static_cast<int>(saved.formats.size()) >= kMaxFormats) break;
        // Qt's own image variant is no byte format another program could read.
        if (!format.contains(u'/') || format.startsWith(QStringLiteral("application/x-qt-image")))
            continue;
        const QByteArray bytes = data->data(format);
        if (total + static_cast<std::size_t>(bytes.size()) > kMaxBytes) continue;
        total += static_cast<std::size_t>(bytes.size());
        saved.formats.emplace_back(
            format.toStdString(),
            std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    }
    return saved;
}

bool SystemClipboard::Restore(const ClipboardContents& contents) {
    if (contents.formats.empty()) return Clear();
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : contents.formats)
        data->setData(QString::fromStdString(format),
                      QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

std::optional<std::u16string> SystemClipboard::Text() {
    // Qt asks the owning program over X11 and gives up after its own clipboard time-out,
    // so this read is bounded even when the owner does not answer.
    OwnRead own(*state_->served);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::u16string();
    QString text = data->text();
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

bool SystemClipboard::SetImage(const Bitmap& image) {
    QImage q = ToQImage(image);
    if (q.isNull()) return false;
    QGuiApplication::clipboard()->setImage(q);
    return true;
}

Bitmap SystemClipboard::Image() {
    return FromQImage(QGuiApplication::clipboard()->image());
}

}  // namespace velmora::platform
