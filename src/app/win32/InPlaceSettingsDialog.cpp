#include "app/win32/InPlaceSettingsDialog.h"

#include <commctrl.h>

#include <vector>

#include "app/core/SettingsForms.h"
#include "platform/Utf8.h"

namespace velmora::app::win32 {

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
    return RunModal({kClassName, kCaption, 380, 160, ICC_HOTKEY_CLASS}, owner);
}

void InPlaceSettingsDialog::CreateControls() {
    lblShortcut = CreateChild(hwnd_, L"STATIC", L"快捷键：", SS_LEFT, -1, 8, 11, 60, 18);
    txtShortcut = CreateChild(hwnd_, HOTKEY_CLASSW, L"", WS_TABSTOP | WS_BORDER, kTxtShortcut, 70,
                              8, 210, 22);
    cmdClear = CreateChild(hwnd_, L"BUTTON", L"不使用", WS_TABSTOP | BS_PUSHBUTTON, kCmdClear, 288,
                           7, 84, 23);
    chkSend = CreateChild(hwnd_, L"BUTTON", L"替换后按发送快捷键发送", WS_TABSTOP | BS_AUTOCHECKBOX,
                          kChkSend, 8, 40, 364, 20);
    lblNote = CreateChild(hwnd_, L"STATIC",
                          L"在任意窗口按快捷键，输入框中的文字即被替换为译文。确定后立即生效。",
                          SS_LEFT, -1, 8, 66, 364, 36);
    lblError = CreateChild(hwnd_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, -1, 8, 106, 364, 18);
    cmdOK = CreateChild(hwnd_, L"BUTTON", L"确定", WS_TABSTOP | BS_DEFPUSHBUTTON, kCmdOK, 234, 130,
                        65, 23);
    cmdCancel = CreateChild(hwnd_, L"BUTTON", L"取消", WS_TABSTOP | BS_PUSHBUTTON, kCmdCancel, 307,
                            130, 65, 23);
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
        ShowSaveError(why);
        return;
    }
    Finish(true);
}

LRESULT InPlaceSettingsDialog::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            if (HIWORD(wp) != BN_CLICKED) return 0;
            if (id == kCmdOK || id == IDOK) cmdOK_Click();
            if (id == kCmdCancel || id == IDCANCEL) Finish(false);
            if (id == kCmdClear) SendMessageW(txtShortcut, HKM_SETHOTKEY, 0, 0);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lp) != lblError) break;
            return Ink(wp, RGB(0xc0, 0x00, 0x00));
        default:
            break;
    }
    return HandleDefault(msg, wp, lp);
}

}  // namespace velmora::app::win32
