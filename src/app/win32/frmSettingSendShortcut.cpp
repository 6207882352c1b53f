#include "app/win32/frmSettingSendShortcut.h"

#include <string>

#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

void Fill(HWND combo, const std::vector<std::u16string>& items) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const auto& item : items)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item)));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

}  // namespace

void frmSettingSendShortcut::CreateControls() {
    // Creation order is the tab order.
    constexpr DWORD kList = WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL;
    cboCtrl = CreateChild(hwnd_, L"COMBOBOX", L"", kList, kCboCtrl, 8, 8, 81, 200);
    cboKey = CreateChild(hwnd_, L"COMBOBOX", L"", kList, kCboKey, 97, 8, 81, 200);
    cmdOK =
        CreateChild(hwnd_, L"BUTTON", L"完成", WS_TABSTOP | BS_PUSHBUTTON, kCmdOK, 186, 7, 65, 23);
    cmdCancel = CreateChild(hwnd_, L"BUTTON", L"取消", WS_TABSTOP | BS_PUSHBUTTON, kCmdCancel, 259,
                            7, 65, 23);
    Fill(cboCtrl, target::ControlItems());
    Fill(cboKey, target::KeyItems());
}

void frmSettingSendShortcut::ShowModal() {
    // No owner window: the dialog stands on its own.
    hwnd_ = CreateDialogFrame(kClassName, Proc, L"设置发送快捷键", kStyle, 332, 38, nullptr, this);
    if (!hwnd_) return;
    CreateControls();
    // Modal over the program's other windows.
    done_ = false;
    RunModalDialog(hwnd_, FindWindowW(L"VelmoraMain", nullptr), cboCtrl, [this] { return done_; });
    cboCtrl = cboKey = cmdOK = cmdCancel = nullptr;
}

void frmSettingSendShortcut::cmdOK_Click() {
    const int control = static_cast<int>(SendMessageW(cboCtrl, CB_GETCURSEL, 0, 0));
    const int key = static_cast<int>(SendMessageW(cboKey, CB_GETCURSEL, 0, 0));
    std::u16string keyText;
    if (key >= 0) {
        std::wstring text(static_cast<size_t>(SendMessageW(cboKey, CB_GETLBTEXTLEN, key, 0)) + 1,
                          L'\0');
        text.resize(static_cast<size_t>(
            SendMessageW(cboKey, CB_GETLBTEXT, key, reinterpret_cast<LPARAM>(text.data()))));
        keyText = U(text);
    }
    choice_.Ok(control, key, keyText);
    ShowWindow(hwnd_, SW_HIDE);
    done_ = true;
}

void frmSettingSendShortcut::cmdCancel_Click() {
    choice_.Cancel();
    ShowWindow(hwnd_, SW_HIDE);
    done_ = true;
}

LRESULT CALLBACK frmSettingSendShortcut::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<frmSettingSendShortcut>(hwnd, msg, lp);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case kCmdOK:
                    if (HIWORD(wp) == BN_CLICKED) self->cmdOK_Click();
                    return 0;
                case kCmdCancel:
                    if (HIWORD(wp) == BN_CLICKED) self->cmdCancel_Click();
                    return 0;
                case IDCANCEL:
                    // Esc: like the close box, the fields stay as they are.
                    self->done_ = true;
                    return 0;
                default:
                    // Enter (IDOK) belongs to neither button: the user picks one.
                    return 0;
            }
        case WM_CLOSE:
            self->done_ = true;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
