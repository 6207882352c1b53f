#include "app/win32/Controls.h"

#include <windowsx.h>

#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

ImageControl::ImageControl(HWND parent, const wchar_t* name, int x, int y, int w, int h,
                           Painter paint, bool visible, bool mouseTransparent)
    : paint_(std::move(paint)), mouseTransparent_(mouseTransparent) {
    const wchar_t* cls = RegisterClassOnce(L"VelmoraImage", Proc);
    hwnd_ = CreateWindowExW(0, cls, name, WS_CHILD | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0),
                            x, y, w, h, parent, nullptr, GetModuleHandleW(nullptr), this);
}

ImageControl::~ImageControl() {
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void ImageControl::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

LRESULT CALLBACK ImageControl::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<ImageControl>(hwnd, msg, lp);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_NCHITTEST:
            if (self->mouseTransparent_) return HTTRANSPARENT;
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT r;
            GetClientRect(hwnd, &r);
            if (self->paint_) self->paint_(dc, r);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
            self->down_ = true;
            SetCapture(hwnd);
            if (self->pressed) self->pressed();
            return 0;
        case WM_MOUSEMOVE:
            if (self->moved) self->moved();
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (self->down_) {
                self->down_ = false;
                ReleaseCapture();
                if (self->released) self->released();
            }
            return 0;
        case WM_CAPTURECHANGED:
            self->down_ = false;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

WebPane::WebPane(HWND parent, const wchar_t* name, int x, int y, int w, int h) {
    const wchar_t* cls = RegisterClassOnce(L"VelmoraWebPane", Proc, nullptr,
                                           static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    hwnd_ = CreateWindowExW(0, cls, name, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, w, h,
                            parent, nullptr, GetModuleHandleW(nullptr), this);
    browser_ = BrowserControl::Create(hwnd_);
}

WebPane::~WebPane() {
    browser_.reset();  // before its host window goes
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

std::wstring WebPane::AddressWithScheme(const std::wstring& address) {
    return address.find(L"://") == std::wstring::npos ? L"http://" + address : address;
}

void WebPane::Navigate2(const std::wstring& address) {
    address_ = AddressWithScheme(address);
    if (browser_ && browser_->Navigate(address_)) return;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT CALLBACK WebPane::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<WebPane>(hwnd, msg, lp);
    if (self && self->browser_ && msg == WM_SIZE) self->browser_->Fit();
    if (self && msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0x60, 0x6a, 0x78));
        HGDIOBJ old = SelectObject(dc, UiFont());
        // Only once a page was asked for: an idle pane stays blank.
        if (!self->address_.empty() && !self->browser_)
            DrawTextW(dc, kCannotShow, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
