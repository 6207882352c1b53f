#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include "target/SendShortcut.h"

namespace velmora::app::win32 {

// The send shortcut dialog "设置发送快捷键": one row of cboCtrl, cboKey, cmdOK, cmdCancel. The
// object and its two fields last; the window is built afresh each time it is shown, always
// opening on "(无)" and "{Enter}".
class frmSettingSendShortcut : public target::ISendShortcutDialog {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraSendShortcut";
    enum ControlId { kCboCtrl = 101, kCboKey = 102, kCmdOK = 103, kCmdCancel = 104 };

    frmSettingSendShortcut() : mControl(choice_.mControl), mKey(choice_.mKey) {}
    frmSettingSendShortcut(const frmSettingSendShortcut&) = delete;
    frmSettingSendShortcut& operator=(const frmSettingSendShortcut&) = delete;

    void ShowModal() override;
    const target::SendShortcutChoice& Choice() const override { return choice_; }

    int& mControl;
    int& mKey;

    // While the dialog is shown; null otherwise.
    HWND hwnd() const { return hwnd_; }
    HWND cboCtrl = nullptr;
    HWND cboKey = nullptr;
    HWND cmdOK = nullptr;
    HWND cmdCancel = nullptr;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void cmdOK_Click();
    void cmdCancel_Click();
    void CreateControls();
    target::SendShortcutChoice choice_;
    HWND hwnd_ = nullptr;
    bool done_ = false;
};

}  // namespace velmora::app::win32
