#include "platform/IClipboard.h"
#include "platform/Utf8.h"

namespace velmora::platform {

namespace {
constexpr const char* kTextFormat = "text/plain;charset=utf-8";
}

std::optional<ClipboardContents> IClipboard::Save() {
    auto text = Text();
    if (!text) return std::nullopt;
    ClipboardContents saved;
    if (!text->empty()) saved.formats.emplace_back(kTextFormat, Utf8Encode(*text));
    return saved;
}

bool IClipboard::Restore(const ClipboardContents& contents) {
    for (const auto& [format, bytes] : contents.formats)
        if (format == kTextFormat) return SetText(Utf8Decode(bytes));
    return Clear();
}

}  // namespace velmora::platform
