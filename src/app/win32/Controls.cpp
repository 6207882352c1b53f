#include "app/win32/Controls.h"

#include <shlwapi.h>
#include <windowsx.h>
#include <wininet.h>

#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

namespace {

// Posted when the pane's page could not be loaded; WPARAM is the number of the load.
constexpr UINT kShowLocalPage = WM_APP + 1;

// With a byte order mark, so the control reads UTF-8 whatever its own default.
bool WriteLocalPage(const std::wstring& path) {
    const std::string page = "\xEF\xBB\xBF" + OfflinePageHtml();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    // Another copy of the program may have it open: that copy wrote it already.
    if (file == INVALID_HANDLE_VALUE)
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, page.data(), static_cast<DWORD>(page.size()), &written, nullptr) &&
        written == page.size();
    CloseHandle(file);
    return ok;
}

}  // namespace

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

WebPane::WebPane(HWND parent, const wchar_t* name, int x, int y, int w, int h, MakeBrowser make) {
    const wchar_t* cls = RegisterClassOnce(L"VelmoraWebPane", Proc, nullptr,
                                           static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    hwnd_ = CreateWindowExW(0, cls, name, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, w, h,
                            parent, nullptr, GetModuleHandleW(nullptr), this);
    if (make) browser_ = make(hwnd_);
    if (!browser_) return;
    browser_->navigateFailed = [this](const std::wstring&) {
        // Not from inside the control's notification; the number tells a stale failure.
        PostMessageW(hwnd_, kShowLocalPage, static_cast<WPARAM>(fallback_.CurrentLoad()), 0);
    };
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

const std::wstring& WebPane::LocalPageAddress() {
    static const std::wstring address = [] {
        const std::wstring blank = L"about:blank";
        wchar_t dir[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
        if (n == 0 || n > MAX_PATH) return blank;
        const std::wstring path = std::wstring(dir, n) + L"velmora-offline.html";
        if (!WriteLocalPage(path)) return blank;
        wchar_t url[INTERNET_MAX_URL_LENGTH];
        DWORD length = INTERNET_MAX_URL_LENGTH;
        if (FAILED(UrlCreateFromPathW(path.c_str(), url, &length, 0))) return blank;
        return std::wstring(url, length);
    }();
    return address;
}

void WebPane::Navigate2(const std::wstring& address) {
    address_ = AddressWithScheme(address);
    if (browser_)
        LoadAddress();
    else
        InvalidateRect(hwnd_, nullptr, TRUE);
}

void WebPane::LoadAddress() {
    const int load = fallback_.Load();
    if (!browser_->Navigate(address_))
        PostMessageW(hwnd_, kShowLocalPage, static_cast<WPARAM>(load), 0);
}

void WebPane::Shown() {
    if (browser_ && fallback_.RetryOnShow()) LoadAddress();
}

LRESULT CALLBACK WebPane::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<WebPane>(hwnd, msg, lp);
    if (self && self->browser_ && msg == WM_SIZE) self->browser_->Fit();
    if (msg == kShowLocalPage) {
        if (self && self->browser_ && self->fallback_.Failed(static_cast<int>(wp)))
            self->browser_->Navigate(LocalPageAddress());
        return 0;
    }
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
