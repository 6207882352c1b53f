#pragma once

#include <string>

#include "platform/IProcess.h"

namespace velmora::platform::win32 {

// A modal system message box with an OK button, owned by no window; returns when it is closed.
class Win32MessageBox : public IMessageBox {
  public:
    void Show(const std::u16string& text) override;
};

// The caption Show uses, so a test can find the box.
inline constexpr wchar_t kMessageBoxCaption[] = L"velmora";

}  // namespace velmora::platform::win32
