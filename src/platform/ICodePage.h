#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

// Conversions at the edges: the legacy ANSI code page (CP936 here) and UTF-8.
class ICodePage {
  public:
    virtual ~ICodePage() = default;
    // Bytes the character takes in the ANSI code page: 2 for a double-byte character, else 1.
    virtual int AnsiWidth(char16_t c) const = 0;
    virtual std::string ToAnsi(std::u16string_view text) const = 0;
    virtual std::u16string FromAnsi(std::string_view bytes) const = 0;
    virtual std::string ToUtf8(std::u16string_view text) const = 0;
    // Malformed input becomes U+FFFD; never fails.
    virtual std::u16string FromUtf8(std::string_view bytes) const = 0;
};

}  // namespace velmora::platform
