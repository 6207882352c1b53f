#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <functional>
#include <memory>
#include <string>

namespace velmora::app::win32 {

class BrowserEvents;
class BrowserSite;

// The system's web browser control, in place in a window of ours and filling it; its page
// never shows scroll bars or a 3-D border. A page that cannot be loaded is reported instead of
// being replaced by the control's own error page. Needs OLE on the calling thread.
class BrowserControl {
  public:
    // Null when the system has no usable browser control (no document engine: Wine without its
    // Gecko package, or mshtml switched off).
    static std::unique_ptr<BrowserControl> Create(HWND host);
    // Whether the engine that renders the control's documents can be made.
    static bool DocumentEngineAvailable();
    // The control in the host whether or not it can render; null when it cannot be made.
    static std::unique_ptr<BrowserControl> Host(HWND host);
    ~BrowserControl();
    BrowserControl(const BrowserControl&) = delete;
    BrowserControl& operator=(const BrowserControl&) = delete;

    // Starts loading the address and returns at once.
    bool Navigate(const std::wstring& address);
    // The address of the document shown or being loaded, as the control reports it.
    std::wstring LocationURL() const;
    // Fits the control to the host's client area.
    void Fit();

    // The address of the whole page (not of a frame inside it) could not be loaded. Called from
    // inside the control's own notification: navigate from a posted message, not from here.
    std::function<void(const std::wstring& address)> navigateFailed;

  private:
    friend class BrowserEvents;
    explicit BrowserControl(HWND host);
    // wholePage: the page itself failed, not a frame inside it. Returns whether the control's
    // own error page is to be left out.
    bool NavigateError(bool wholePage, const std::wstring& address);
    HWND host_;
    BrowserSite* site_ = nullptr;      // reference counted; one reference is ours
    BrowserEvents* events_ = nullptr;  // likewise
    struct Objects;
    std::unique_ptr<Objects> objects_;
};

}  // namespace velmora::app::win32
