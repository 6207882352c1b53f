#include "platform/wayland/DataControlClipboard.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>

#include "platform/qt/QtClipboard.h"
#include "platform/wayland/ClipboardFormats.h"
#include "platform/wayland/PipeIo.h"

namespace velmora::platform::wayland {

namespace {

constexpr const char* kPng = "image/png";

std::chrono::steady_clock::time_point In(int ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

const std::string* Find(const ClipboardContents& c, const std::string& type) {
    for (const auto& [name, bytes] : c.formats)
        if (name == type) return &bytes;
    return nullptr;
}

std::vector<std::string> Names(const ClipboardContents& c) {
    std::vector<std::string> names;
    for (const auto& f : c.formats) names.push_back(f.first);
    return names;
}

Bitmap DecodeImage(const std::string& bytes) {
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                            static_cast<int>(std::min<std::size_t>(bytes.size(), INT32_MAX))))
        return {};
    return qt::FromQImage(image);
}

}  // namespace

DataControlClipboard::DataControlClipboard(IEventLoop& loop, Options options)
    : options_(std::move(options)),
      // Wake is the loop thread's own: from the session's thread it goes through Post.
      session_(
          options_.display, [&loop] { loop.Post([&loop] { loop.Wake(); }); }, options_.session) {}

bool DataControlClipboard::Clear() {
    return session_.SetSelection(nullptr, nullptr);
}

bool DataControlClipboard::SetText(const std::u16string& text) {
    // A new text restarts the count, even when it cannot be set.
    reads_ = std::make_shared<std::atomic<int>>(0);
    return session_.SetSelection(std::make_shared<const ClipboardContents>(TextContents(text)),
                                 reads_);
}

std::optional<int> DataControlClipboard::Reads() {
    return reads_->load();
}

std::optional<std::string> DataControlClipboard::Read(
    const std::string& type, std::size_t maxBytes, std::chrono::steady_clock::time_point deadline) {
    UniqueFd fd = session_.Receive(type);
    if (!fd) return std::nullopt;
    PipeRead r = ReadAll(fd.Get(), maxBytes, std::min(deadline, In(options_.readMs)));
    if (r.end != ReadEnd::Complete) return std::nullopt;
    return std::move(r.bytes);
}

std::optional<std::u16string> DataControlClipboard::Text() {
    if (!session_.Sync()) return std::nullopt;
    if (const auto own = session_.Owned()) {
        const auto type = PickTextType(Names(*own));
        if (!type) return std::u16string();
        return DecodeText(*type, *Find(*own, *type));
    }
    const auto types = session_.OfferedTypes();
    if (!types) return std::nullopt;
    const auto type = PickTextType(*types);
    if (!type) return std::u16string();
    const auto bytes = Read(*type, kMaxBytes, In(options_.readMs));
    if (!bytes) return std::nullopt;
    return DecodeText(*type, *bytes);
}

bool DataControlClipboard::SetImage(const Bitmap& image) {
    const QImage q = qt::ToQImage(image);
    if (q.isNull()) return false;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!q.save(&buffer, "PNG")) return false;
    auto contents = std::make_shared<ClipboardContents>();
    contents->formats.emplace_back(kPng,
                                   std::string(png.constData(), static_cast<size_t>(png.size())));
    return session_.SetSelection(std::move(contents), nullptr);
}

Bitmap DataControlClipboard::Image() {
    if (!session_.Sync()) return {};
    if (const auto own = session_.Owned()) {
        const auto type = PickImageType(Names(*own));
        return type ? DecodeImage(*Find(*own, *type)) : Bitmap();
    }
    const auto types = session_.OfferedTypes();
    if (!types) return {};
    const auto type = PickImageType(*types);
    if (!type) return {};
    const auto bytes = Read(*type, kMaxBytes, In(options_.readMs));
    return bytes ? DecodeImage(*bytes) : Bitmap();
}

std::optional<ClipboardContents> DataControlClipboard::Save() {
    if (!session_.Sync()) return std::nullopt;
    if (const auto own = session_.Owned()) return BoundContents(*own, kMaxFormats, kMaxBytes);
    const auto types = session_.OfferedTypes();
    if (!types) return std::nullopt;
    ClipboardContents saved;
    std::size_t total = 0;
    // All formats together get a few reads' time: an owner offering many formats, each slow,
    // cannot stretch the save without end.
    const auto deadline = In(options_.readMs * 4);
    for (const std::string& type : *types) {
        if (static_cast<int>(saved.formats.size()) >= kMaxFormats) break;
        UniqueFd fd = session_.Receive(type);
        if (!fd) return std::nullopt;
        PipeRead r = ReadAll(fd.Get(), kMaxBytes - total, std::min(deadline, In(options_.readMs)));
        if (r.end == ReadEnd::TooLarge) continue;  // does not fit: left out, as on X11
        if (r.end != ReadEnd::Complete) {
            // The owner does not answer: what it already gave is all there is.
            if (saved.formats.empty()) return std::nullopt;
            break;
        }
        total += r.bytes.size();
        saved.formats.emplace_back(type, std::move(r.bytes));
    }
    return saved;
}

bool DataControlClipboard::Restore(const ClipboardContents& contents) {
    const ClipboardContents bounded = BoundContents(contents, kMaxFormats, kMaxBytes);
    if (bounded.formats.empty()) return Clear();
    return session_.SetSelection(std::make_shared<const ClipboardContents>(bounded), nullptr);
}

}  // namespace velmora::platform::wayland
