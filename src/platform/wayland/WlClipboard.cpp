#include "platform/wayland/WlClipboard.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>

#include "platform/Utf8.h"
#include "platform/qt/QtClipboard.h"
#include "platform/wayland/ToolRun.h"

namespace velmora::platform::wayland {

namespace {
constexpr const char* kText = "text/plain;charset=utf-8";
constexpr const char* kPng = "image/png";
}  // namespace

WlClipboard::WlClipboard(IEventLoop& loop, Options options)
    : loop_(loop), options_(std::move(options)) {}

bool WlClipboard::Available() {
    ToolRequest request;
    request.args = {"wl-paste", "--list-types"};
    if (!options_.display.empty()) request.env = {{"WAYLAND_DISPLAY", options_.display}};
    request.readOutput = true;
    request.timeoutMs = options_.timeoutMs;
    // An empty clipboard answers 1 ("nothing is copied"); no tool or no compositor answers
    // with another code or not at all.
    const ToolResult r = RunTool(loop_, request);
    return r.status == 0 || r.status == 1;
}

bool WlClipboard::Copy(const std::string& type, const std::string& bytes) {
    ToolRequest request;
    request.args = {"wl-copy", "--type", type};
    if (!options_.display.empty()) request.env = {{"WAYLAND_DISPLAY", options_.display}};
    request.input = bytes;
    request.timeoutMs = options_.timeoutMs;
    // wl-copy ends once the compositor has the new selection (its child serves it on).
    return RunTool(loop_, request).status == 0;
}

std::optional<std::string> WlClipboard::Paste(const std::string& type) {
    ToolRequest request;
    request.args = {"wl-paste", "--no-newline", "--type", type};
    if (!options_.display.empty()) request.env = {{"WAYLAND_DISPLAY", options_.display}};
    request.readOutput = true;
    request.timeoutMs = options_.timeoutMs;
    const ToolResult r = RunTool(loop_, request);
    if (r.status == 0) return r.out;
    // 1: nothing copied, or nothing of that type.
    if (r.status == 1) return std::string();
    return std::nullopt;
}

bool WlClipboard::Clear() {
    ToolRequest request;
    request.args = {"wl-copy", "--clear"};
    if (!options_.display.empty()) request.env = {{"WAYLAND_DISPLAY", options_.display}};
    request.timeoutMs = options_.timeoutMs;
    return RunTool(loop_, request).status == 0;
}

bool WlClipboard::SetText(const std::u16string& text) {
    return Copy(kText, Utf8Encode(text));
}

std::optional<std::u16string> WlClipboard::Text() {
    const auto bytes = Paste(kText);
    if (!bytes) return std::nullopt;
    return Utf8Decode(*bytes);
}

bool WlClipboard::SetImage(const Bitmap& image) {
    const QImage q = qt::ToQImage(image);
    if (q.isNull()) return false;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!q.save(&buffer, "PNG")) return false;
    return Copy(kPng, std::string(png.constData(), static_cast<std::size_t>(png.size())));
}

Bitmap WlClipboard::Image() {
    const auto bytes = Paste(kPng);
    if (!bytes || bytes->empty()) return {};
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()),
                            static_cast<int>(std::min<std::size_t>(bytes->size(), INT32_MAX))))
        return {};
    return qt::FromQImage(image);
}

}  // namespace velmora::platform::wayland
