#pragma once

#include <string>
#include <string_view>

#include "platform/TableCodePage.h"

namespace velmora::platform::posix {

// CP936 (iconv) stands for the ANSI code page.
class IconvCodePage : public TableCodePage {
  public:
    // Builds the per-character width table on first construction (once per process).
    IconvCodePage();

    // Characters CP936 cannot encode become '?', as the system converter's default character.
    std::string ToAnsi(std::u16string_view text) const override;
    // Bytes that are not valid CP936 become U+FFFD.
    std::u16string FromAnsi(std::string_view bytes) const override;
};

}  // namespace velmora::platform::posix
