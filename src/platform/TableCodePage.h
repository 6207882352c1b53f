#pragma once

#include <string>
#include <string_view>

#include "platform/ICodePage.h"
#include "platform/Utf8.h"

namespace velmora::platform {

// What both systems' code pages share: the ANSI page's per-character width table, and UTF-8
// through the shared codec, so malformed input always becomes U+FFFD whatever the system's
// converter does with it. The ANSI conversions are each system's own.
class TableCodePage : public ICodePage {
  public:
    int AnsiWidth(char16_t c) const override { return widths_[c]; }
    std::string ToUtf8(std::u16string_view text) const override { return Utf8Encode(text); }
    std::u16string FromUtf8(std::string_view bytes) const override { return Utf8Decode(bytes); }

  protected:
    // widths: 65536 entries, 1 or 2, living as long as the process.
    explicit TableCodePage(const unsigned char* widths) : widths_(widths) {}

  private:
    const unsigned char* widths_;
};

}  // namespace velmora::platform
