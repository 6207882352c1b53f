#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <functional>
#include <memory>
#include <string>

#include "app/core/OfflinePage.h"
#include "app/win32/BrowserControl.h"

namespace velmora::app::win32 {

// An image that paints itself and reports press, move and release (of any button) to its owner.
// The press captures the mouse, so the release arrives wherever the pointer is by then.
class ImageControl {
  public:
    using Painter = std::function<void(HDC, const RECT&)>;
    // A look that only shows lets every mouse event through to what lies underneath.
    ImageControl(HWND parent, const wchar_t* name, int x, int y, int w, int h, Painter paint,
                 bool visible, bool mouseTransparent = false);
    ~ImageControl();
    ImageControl(const ImageControl&) = delete;
    ImageControl& operator=(const ImageControl&) = delete;

    HWND hwnd() const { return hwnd_; }
    void SetVisible(bool visible);
    bool Visible() const { return IsWindowVisible(hwnd_) != FALSE; }

    std::function<void()> pressed;
    std::function<void()> moved;
    std::function<void()> released;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
    Painter paint_;
    bool mouseTransparent_;
    bool down_ = false;
};

// A browser pane: the system's web browser control where the system has one; where it has none
// (Wine without its Gecko package) the pane keeps the address it was sent to and shows that the
// page cannot be displayed. An address that cannot be loaded gets a small local page in Chinese
// instead of the control's English error page, and is asked for again when Shown is called.
class WebPane {
  public:
    static constexpr const wchar_t* kCannotShow = L"页面无法显示";

    using MakeBrowser = std::unique_ptr<BrowserControl> (*)(HWND host);
    // make: how the browser control is made in the pane's window (null: no control).
    WebPane(HWND parent, const wchar_t* name, int x, int y, int w, int h,
            MakeBrowser make = &BrowserControl::Create);
    ~WebPane();
    WebPane(const WebPane&) = delete;
    WebPane& operator=(const WebPane&) = delete;

    // Starts loading the address (a base without a scheme is taken as http) and returns at once.
    void Navigate2(const std::wstring& address);
    // The address last sent to the pane.
    const std::wstring& LocationURL() const { return address_; }
    // The browser control, or null where the pane cannot show pages.
    BrowserControl* browser() const { return browser_.get(); }
    HWND hwnd() const { return hwnd_; }

    // The window the pane lies in was shown: an address that could not be loaded is asked for
    // again. Otherwise nothing.
    void Shown();
    // Whether the local page stands in for the address.
    bool ShowsLocalPage() const { return fallback_.Offline(); }

    // http:// in front of an address that has no scheme.
    static std::wstring AddressWithScheme(const std::wstring& address);
    // The local page as a file the control can load (written on first use), as a file:// URL;
    // about:blank when it cannot be written.
    static const std::wstring& LocalPageAddress();

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void LoadAddress();
    HWND hwnd_ = nullptr;
    std::wstring address_;
    std::unique_ptr<BrowserControl> browser_;
    OfflineFallback fallback_;
};

}  // namespace velmora::app::win32
