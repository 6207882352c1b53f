#pragma once

#include <string>
#include <string_view>

#include "platform/ICodePage.h"

namespace velmora::platform::posix {

// CP936 (iconv) stands for the ANSI code page; UTF-8 is converted by hand so that malformed
// input always becomes U+FFFD, whatever the C library's converter does with it.
class IconvCodePage : public ICodePage {
  public:
    // Builds the per-character width table on first construction (once per process).
    IconvCodePage();

    int AnsiWidth(char16_t c) const override { return widths_[c]; }
    // Characters CP936 cannot encode become '?', as the system converter's default character.
    std::string ToAnsi(std::u16string_view text) const override;
    // Bytes that are not valid CP936 become U+FFFD.
    std::u16string FromAnsi(std::string_view bytes) const override;
    std::string ToUtf8(std::u16string_view text) const override;
    std::u16string FromUtf8(std::string_view bytes) const override;

  private:
    const unsigned char* widths_;  // 65536 entries, 1 or 2
};

}  // namespace velmora::platform::posix
