#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <memory>
#include <string>

#include "app/win32/Controls.h"

namespace velmora::app::win32 {

// The help window: one browser pane on the vendor's help page, kept fitted to the window.
class frmHelp {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraHelp";

    // Creates the window afresh, opens it maximised and modal over owner on
    // pageBase + "/help.php", and returns when the user has closed it.
    static void ShowHelp(HWND owner, const std::wstring& pageBase);

    frmHelp(HWND owner, const std::wstring& pageBase);
    ~frmHelp();
    frmHelp(const frmHelp&) = delete;
    frmHelp& operator=(const frmHelp&) = delete;

    HWND hwnd() const { return hwnd_; }
    std::unique_ptr<WebPane> WebBrowser1;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void FitBrowser();
    HWND hwnd_ = nullptr;
    bool closed_ = false;
};

}  // namespace velmora::app::win32
