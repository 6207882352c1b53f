#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <optional>

#include "target/SnapShotPick.h"

namespace velmora::app::win32 {

// The snapshot overlay: one borderless topmost window over the whole virtual screen showing
// the frozen capture under a cross cursor, waiting for one press. Esc and Alt+F4 close it
// without a press.
class frmSnapShot : public target::ISnapShotOverlay {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraSnapShot";

    ~frmSnapShot() override;

    std::optional<platform::Point> ShowModal(const platform::Rect& cover,
                                             const platform::Bitmap& picture) override;
    platform::WinHandle WindowId() override;
    void DestroyWindow() override;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Finish(std::optional<platform::Point> press);
    void Paint(HDC dc);

    HWND hwnd_ = nullptr;
    HBITMAP picture_ = nullptr;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    bool done_ = false;
    std::optional<platform::Point> press_;
};

}  // namespace velmora::app::win32
