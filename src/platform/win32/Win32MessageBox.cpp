#include "platform/win32/Win32MessageBox.h"

#include <windows.h>

namespace velmora::platform::win32 {

void Win32MessageBox::Show(const std::u16string& text) {
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()), kMessageBoxCaption,
                MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
}

}  // namespace velmora::platform::win32
