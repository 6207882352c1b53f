#include "app/win32/InPlaceSettingsDialog.h"

#include <commctrl.h>

#include <vector>

#include "app/core/SettingsForms.h"
#include "platform/Utf8.h"

namespace velmora::app::win32 {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y,
           int w, int h, DWORD exStyle = 0) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), TRUE);
    return c;
}

}  // namespace

InPlaceSettingsDialog::InPlaceSettingsDialog(std::filesystem::path configFile)
    : file_(std::move(configFile)) {}

std::string InPlaceSettingsDialog::ChordText(WORD hotkey) {
    const BYTE key = LOBYTE(hotkey);
    const BYTE mods = HIBYTE(hotkey);
    if (key == 0) return {};
    std::string text;
    if (mods & HOTKEYF_CONTROL) text += "Ctrl+";
    if (mods & HOTKEYF_ALT) text += "Alt+";
    if (mods & HOTKEYF_SHIFT) text += "Shift+";
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        text += static_cast<char>(key);
    else if (key >= VK_F1 && key <= VK_F24)
        text += "F" + std::to_string(key - VK_F1 + 1);
    else
        text += "#" + std::to_string(key);  // no key a shortcut may use
    return text;
}

bool InPlaceSettingsDialog::ShowModal(HWND owner) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_HOTKEY_CLASS};
    InitCommonControlsEx(&icc);
    hwnd_ = CreateDialogFrame(kClassName, Proc, kCaption, kStyle, 380, 160, owner, this);
    if (!hwnd_) return false;
    CreateControls();
    Load();
    done_ = saved_ = false;
    RunModalDialog(hwnd_, owner, txtShortcut, [this] { return done_; });
    return saved_;
}

void InPlaceSettingsDialog::CreateControls() {
    lblShortcut = Child(hwnd_, L"STATIC", L"快捷键：", SS_LEFT, -1, 8, 11, 60, 18);
    txtShortcut =
        Child(hwnd_, HOTKEY_CLASSW, L"", WS_TABSTOP | WS_BORDER, kTxtShortcut, 70, 8, 210, 22);
    cmdClear =
        Child(hwnd_, L"BUTTON", L"不使用", WS_TABSTOP | BS_PUSHBUTTON, kCmdClear, 288, 7, 84, 23);
    chkSend = Child(hwnd_, L"BUTTON", L"替换后按发送快捷键发送", WS_TABSTOP | BS_AUTOCHECKBOX,
                    kChkSend, 8, 40, 364, 20);
    lblNote = Child(hwnd_, L"STATIC",
                    L"在任意窗口按快捷键，输入框中的文字即被替换为译文。确定后立即生效。", SS_LEFT,
                    -1, 8, 66, 364, 36);
    lblError = Child(hwnd_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, -1, 8, 106, 364, 18);
    cmdOK =
        Child(hwnd_, L"BUTTON", L"确定", WS_TABSTOP | BS_DEFPUSHBUTTON, kCmdOK, 234, 130, 65, 23);
    cmdCancel =
        Child(hwnd_, L"BUTTON", L"取消", WS_TABSTOP | BS_PUSHBUTTON, kCmdCancel, 307, 130, 65, 23);
}

void InPlaceSettingsDialog::Load() {
    // The file as it is now: it may have been saved from here since the start.
    const InPlaceForm form = LoadInPlaceForm(file_);
    loadedText_ = form.shortcut;
    loadedHotkey_ = 0;
    if (const auto chord = ParseShortcut(form.shortcut)) {
        BYTE mods = 0;
        if (chord->modifiers & platform::kHotkeyControl) mods |= HOTKEYF_CONTROL;
        if (chord->modifiers & platform::kHotkeyAlt) mods |= HOTKEYF_ALT;
        if (chord->modifiers & platform::kHotkeyShift) mods |= HOTKEYF_SHIFT;
        loadedHotkey_ = MAKEWORD(chord->key, mods);
    }
    SendMessageW(txtShortcut, HKM_SETHOTKEY, loadedHotkey_, 0);
    SendMessageW(chkSend, BM_SETCHECK, form.send ? BST_CHECKED : BST_UNCHECKED, 0);
}

void InPlaceSettingsDialog::cmdOK_Click() {
    const WORD hotkey = LOWORD(SendMessageW(txtShortcut, HKM_GETHOTKEY, 0, 0));
    const std::string typed =
        hotkey == loadedHotkey_ && hotkey != 0 ? loadedText_ : ChordText(hotkey);
    std::vector<IniChange> changes;
    std::string why =
        InPlaceChanges(typed, SendMessageW(chkSend, BM_GETCHECK, 0, 0) == BST_CHECKED, changes);
    if (why.empty()) why = WriteIniChanges(file_, changes);
    if (!why.empty()) {
        SetWindowTextW(lblError, W(platform::Utf8Decode(SaveErrorLine(why))));
        return;
    }
    saved_ = done_ = true;
    ShowWindow(hwnd_, SW_HIDE);
}

LRESULT InPlaceSettingsDialog::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            if (HIWORD(wp) != BN_CLICKED) return 0;
            if (id == kCmdOK || id == IDOK) cmdOK_Click();
            if (id == kCmdCancel || id == IDCANCEL) done_ = true;
            if (id == kCmdClear) SendMessageW(txtShortcut, HKM_SETHOTKEY, 0, 0);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lp) != lblError) break;
            SetTextColor(reinterpret_cast<HDC>(wp), RGB(0xc0, 0x00, 0x00));
            SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_CLOSE:
            done_ = true;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK InPlaceSettingsDialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<InPlaceSettingsDialog>(hwnd, msg, lp);
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

}  // namespace velmora::app::win32
