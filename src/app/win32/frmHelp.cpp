#include "app/win32/frmHelp.h"

#include "app/core/HelpSize.h"
#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

namespace {
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
}  // namespace

frmHelp::frmHelp(HWND owner, const std::wstring& pageBase) {
    const wchar_t* cls =
        RegisterClassOnce(kClassName, Proc, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    // The restored client area is 312 x 206.
    const SIZE outer = OuterSize(kStyle, 0, 312, 206);
    hwnd_ = CreateWindowExW(0, cls, L"帮助", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.cx,
                            outer.cy, owner, nullptr, GetModuleHandleW(nullptr), this);
    WebBrowser1 = std::make_unique<WebPane>(hwnd_, L"WebBrowser1", 0, 0, 0, 0);
    WebBrowser1->Navigate2(pageBase + L"/help.php");
    FitBrowser();
}

frmHelp::~frmHelp() {
    WebBrowser1.reset();
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void frmHelp::ShowHelp(HWND owner, const std::wstring& pageBase) {
    frmHelp help(owner, pageBase);
    if (!help.hwnd_) return;
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    ShowWindow(help.hwnd_, SW_SHOWMAXIMIZED);
    RunModalLoop([&help] { return help.closed_; });
    // The owner is enabled again before the help window goes, so it takes the activation.
    if (disableOwner) EnableWindow(owner, TRUE);
}

void frmHelp::FitBrowser() {
    if (!WebBrowser1) return;
    // The rule works on the outer size, frame included.
    RECT outer;
    GetWindowRect(hwnd_, &outer);
    const ControlRect g =
        HelpBrowserGeometryFor(outer.right - outer.left, outer.bottom - outer.top);
    MoveWindow(WebBrowser1->hwnd(), g.x, g.y, g.width, g.height, TRUE);
}

LRESULT CALLBACK frmHelp::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<frmHelp>(hwnd, msg, lp);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_SIZE:
            self->FitBrowser();
            break;
        case WM_CLOSE:
            self->closed_ = true;
            ShowWindow(hwnd, SW_HIDE);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
