#include "platform/win32/Win32MessageBox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace velmora::platform::win32 {
namespace {

// The dialog windows a thread owns (a message box is one).
std::vector<HWND> DialogsOf(DWORD thread) {
    std::vector<HWND> found;
    EnumThreadWindows(
        thread,
        [](HWND w, LPARAM out) {
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (std::wstring(cls) == L"#32770")
                reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The box is real: found on screen, showing the text, closed with its button. Every wait is
// bounded: a box that never shows, or never closes, fails the test instead of hanging it.
TEST(Win32MessageBox, ShowsTheTextAndReturnsWhenClosed) {
    const std::u16string text = u"Incorrect Format:\n\nHKEY_X\\速记";
    std::atomic<bool> returned{false};
    std::atomic<DWORD> thread{0};
    std::thread shower([&] {
        thread = GetCurrentThreadId();
        Win32MessageBox().Show(text);
        returned = true;
    });
    HWND box = nullptr;
    for (int i = 0; i < 600 && !box && !returned; ++i) {
        Sleep(50);
        if (thread) {
            auto dialogs = DialogsOf(thread);
            if (!dialogs.empty() && IsWindowVisible(dialogs.front())) box = dialogs.front();
        }
    }
    auto finish = [&] {
        for (int i = 0; i < 100 && !returned; ++i) {
            for (HWND w : DialogsOf(thread)) PostMessageW(w, WM_COMMAND, IDOK, 0);
            Sleep(50);
        }
        if (returned)
            shower.join();
        else
            shower.detach();  // the process ends after the test; the box goes with it
    };
    if (!box) {
        finish();
        FAIL() << "no message box appeared within 30 s";
    }
    wchar_t caption[64] = {};
    GetWindowTextW(box, caption, 64);
    EXPECT_EQ(std::wstring(caption), kMessageBoxCaption);
    wchar_t shown[256] = {};
    GetDlgItemTextW(box, 0xFFFF, shown, 256);  // the box's static text
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(shown)), text);
    Sleep(200);
    EXPECT_FALSE(returned) << "Show returned before the box was closed";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    finish();
    EXPECT_TRUE(returned) << "Show did not return after the box was closed";
}

}  // namespace
}  // namespace velmora::platform::win32
