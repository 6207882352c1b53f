#include "app/win32/frmSnapShot.h"

#include <windowsx.h>

#include <cstring>
#include <vector>

#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

namespace {

// A top-down 32-bit DIB section holding the picture (0xAARRGGBB is BGRA in memory).
HBITMAP MakeBitmap(const platform::Bitmap& picture) {
    if (picture.empty() ||
        picture.pixels.size() < static_cast<size_t>(picture.width) * picture.height)
        return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = picture.width;
    bi.bmiHeader.biHeight = -picture.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && bits) {
        std::memcpy(bits, picture.pixels.data(),
                    static_cast<size_t>(picture.width) * picture.height * 4);
    }
    return bmp;
}

// Windows of this thread other than the overlay take no input while it is shown.
BOOL CALLBACK DisableOne(HWND w, LPARAM list) {
    if (IsWindowVisible(w) && IsWindowEnabled(w)) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
        EnableWindow(w, FALSE);
    }
    return TRUE;
}

}  // namespace

frmSnapShot::~frmSnapShot() {
    DestroyWindow();
}

std::optional<platform::Point> frmSnapShot::ShowModal(const platform::Rect& cover,
                                                      const platform::Bitmap& picture) {
    DestroyWindow();
    picture_ = MakeBitmap(picture);
    pictureWidth_ = picture.width;
    pictureHeight_ = picture.height;
    done_ = false;
    press_.reset();

    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));

    const wchar_t* cls = RegisterClassOnce(kClassName, Proc, LoadCursorW(nullptr, IDC_CROSS),
                                           static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    const int width = cover.right - cover.left;
    const int height = cover.bottom - cover.top;
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, cls, L"frmSnapShot", WS_POPUP,
                            cover.left, cover.top, width, height, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
    if (hwnd_) {
        SetWindowPos(hwnd_, HWND_TOPMOST, cover.left, cover.top, width, height, SWP_SHOWWINDOW);
        SetForegroundWindow(hwnd_);
        SetFocus(hwnd_);
        RunModalLoop([this] { return done_; });
    }
    for (HWND w : disabled) EnableWindow(w, TRUE);
    return press_;
}

void frmSnapShot::Finish(std::optional<platform::Point> press) {
    if (done_) return;
    press_ = press;
    done_ = true;
    // Hidden before the caller asks what lies under the point.
    ShowWindow(hwnd_, SW_HIDE);
}

platform::WinHandle frmSnapShot::WindowId() {
    return ToHandle(hwnd_);
}

void frmSnapShot::DestroyWindow() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
    if (picture_) DeleteObject(picture_);
    picture_ = nullptr;
}

void frmSnapShot::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    if (!picture_) return;
    // Unscaled from the top-left corner: a point of the picture is the same screen point.
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, picture_);
    BitBlt(dc, 0, 0, pictureWidth_, pictureHeight_, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

LRESULT CALLBACK frmSnapShot::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<frmSnapShot>(hwnd, msg, lp);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            self->Paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            self->Finish(platform::Point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) self->Finish(std::nullopt);
            return 0;
        case WM_CLOSE:
            // Alt+F4: ends the pick without a press; the window goes with DestroyWindow.
            self->Finish(std::nullopt);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
