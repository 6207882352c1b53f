#include "platform/SystemScreen.h"

#include <windows.h>

#include <cstring>

namespace velmora::platform {

namespace {

class ScreenDc {
  public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

class CompatibleDc {
  public:
    explicit CompatibleDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
    ~CompatibleDc() {
        if (dc_) DeleteDC(dc_);
    }
    CompatibleDc(const CompatibleDc&) = delete;
    CompatibleDc& operator=(const CompatibleDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

class DibSection {
  public:
    DibSection(HDC dc, int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down, like Bitmap
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bmp_ = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    }
    ~DibSection() {
        if (bmp_) DeleteObject(bmp_);
    }
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;
    HBITMAP get() const { return bmp_; }
    const void* bits() const { return bits_; }

  private:
    HBITMAP bmp_ = nullptr;
    void* bits_ = nullptr;
};

}  // namespace

Rect SystemScreen::VirtualScreen() {
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return Rect{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

Bitmap SystemScreen::Capture() {
    const Rect v = VirtualScreen();
    const int width = v.right - v.left;
    const int height = v.bottom - v.top;
    if (width <= 0 || height <= 0) return {};
    ScreenDc screen;
    CompatibleDc mem(screen.get());
    DibSection dib(screen.get(), width, height);
    if (!screen.get() || !mem.get() || !dib.get() || !dib.bits()) return {};
    HGDIOBJ old = SelectObject(mem.get(), dib.get());
    // CAPTUREBLT: layered (translucent) windows are part of what the user sees.
    const bool ok = BitBlt(mem.get(), 0, 0, width, height, screen.get(), v.left, v.top,
                           SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    SelectObject(mem.get(), old);
    if (!ok) return {};
    Bitmap out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * height);
    std::memcpy(out.pixels.data(), dib.bits(), out.pixels.size() * 4);
    for (auto& p : out.pixels) p |= 0xFF000000u;  // the screen has no transparency
    return out;
}

}  // namespace velmora::platform
