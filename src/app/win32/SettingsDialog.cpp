#include "app/win32/SettingsDialog.h"

#include <commctrl.h>

#include "app/core/SettingsForms.h"
#include "platform/Utf8.h"

namespace velmora::app::win32 {

namespace {
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
}  // namespace

bool SettingsDialog::RunModal(const Frame& frame, HWND owner) {
    INITCOMMONCONTROLSEX icc{sizeof icc, frame.commonControls};
    InitCommonControlsEx(&icc);
    hwnd_ = CreateDialogFrame(frame.className, Proc, frame.caption, kStyle, frame.clientWidth,
                              frame.clientHeight, owner, this);
    if (!hwnd_) return false;
    CreateControls();
    Load();
    done_ = saved_ = false;
    RunModalDialog(hwnd_, owner, FirstFocus(), [this] { return done_; });
    return saved_;
}

void SettingsDialog::Finish(bool saved) {
    saved_ = saved;
    done_ = true;
    if (saved) ShowWindow(hwnd_, SW_HIDE);
}

void SettingsDialog::ShowSaveError(const std::string& why) {
    SetWindowTextW(lblError, W(platform::Utf8Decode(SaveErrorLine(why))));
}

LRESULT SettingsDialog::Ink(WPARAM dc, COLORREF ink) {
    SetTextColor(reinterpret_cast<HDC>(dc), ink);
    SetBkMode(reinterpret_cast<HDC>(dc), TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT SettingsDialog::HandleDefault(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        Finish(false);
        return 0;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK SettingsDialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<SettingsDialog>(hwnd, msg, lp);
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

}  // namespace velmora::app::win32
