#include "platform/win32/Win32MessageBox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace velmora::platform::win32 {
namespace {

// The box is real: found on screen by its caption, showing the text, closed with its button.
TEST(Win32MessageBox, ShowsTheTextAndReturnsWhenClosed) {
    const std::u16string text = u"Incorrect Format:\n\nHKEY_X\\速记";
    std::atomic<bool> returned{false};
    std::thread shower([&] {
        Win32MessageBox().Show(text);
        returned = true;
    });
    HWND box = nullptr;
    for (int i = 0; i < 200 && !box && !returned; ++i) {
        Sleep(50);
        box = FindWindowW(L"#32770", kMessageBoxCaption);
    }
    if (!box) {
        shower.join();
        FAIL() << "no message box appeared";
    }
    wchar_t shown[256] = {};
    GetDlgItemTextW(box, 0xFFFF, shown, 256);  // the box's static text
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(shown)), text);
    Sleep(200);
    EXPECT_FALSE(returned) << "Show returned before the box was closed";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    shower.join();
    EXPECT_TRUE(returned);
}

}  // namespace
}  // namespace velmora::platform::win32
