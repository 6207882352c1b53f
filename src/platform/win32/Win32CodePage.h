#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/TableCodePage.h"

namespace velmora::platform::win32 {

// The ANSI side through the system's converters for one code page (the system's ANSI page by
// default).
class Win32CodePage : public TableCodePage {
  public:
    // Builds the code page's width table on first use of that page (once per process).
    explicit Win32CodePage(UINT codePage = CP_ACP);

    UINT codePage() const { return codePage_; }

    // Characters the page cannot encode become '?', one per character (a surrogate pair is one).
    std::string ToAnsi(std::u16string_view text) const override;
    // Bytes that are not valid in the page become U+FFFD, one per byte.
    std::u16string FromAnsi(std::string_view bytes) const override;

  private:
    UINT codePage_;
};

}  // namespace velmora::platform::win32
