#include "app/win32/frmAutoUpdate.h"

#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

namespace {
// A caption without the system menu: no close box, nothing to operate.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION;
constexpr int kWidth = 300;
constexpr int kHeight = 80;
}  // namespace

frmAutoUpdate::frmAutoUpdate() {
    const wchar_t* cls =
        RegisterClassOnce(kClassName, Proc, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const SIZE outer = OuterSize(kStyle, WS_EX_DLGMODALFRAME, kWidth, kHeight);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - outer.cx) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - outer.cy) / 2;
    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME, cls, L"Quillet程序更新", kStyle, x, y, outer.cx,
                            outer.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    Label1 = CreateWindowExW(0, L"STATIC", L"程序更新中，请稍候......",
                             WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 0, 0, kWidth,
                             kHeight, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), TRUE);
}

frmAutoUpdate::~frmAutoUpdate() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void frmAutoUpdate::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

LRESULT CALLBACK frmAutoUpdate::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // Alt+F4 would reach the close box the window does not show.
    if (msg == WM_CLOSE) return 0;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
