#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

namespace velmora::app::win32 {

// The small window shown while an update downloads. Nothing in it can be operated.
class frmAutoUpdate {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraAutoUpdate";
    frmAutoUpdate();
    ~frmAutoUpdate();
    frmAutoUpdate(const frmAutoUpdate&) = delete;
    frmAutoUpdate& operator=(const frmAutoUpdate&) = delete;

    void Show();
    HWND hwnd() const { return hwnd_; }
    HWND Label1 = nullptr;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
};

}  // namespace velmora::app::win32
