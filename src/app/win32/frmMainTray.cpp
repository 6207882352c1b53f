#include "app/win32/frmMainTray.h"

#include <cwchar>

namespace velmora::app::win32 {

NOTIFYICONDATAW Win32TrayIcon::Data(UINT flags) const {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window_;
    nid.uID = id_;
    nid.uFlags = flags;
    nid.uCallbackMessage = callbackMessage_;
    nid.hIcon = AppIcon(true);
    wcsncpy(nid.szTip, tip_, ARRAYSIZE(nid.szTip) - 1);
    return nid;
}

void Win32TrayIcon::Add() {
    // A second add while the icon is there leaves the one icon as it is.
    if (added_) return;
    NOTIFYICONDATAW nid = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    added_ = Shell_NotifyIconW(NIM_ADD, &nid) || Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void Win32TrayIcon::AddAgain() {
    if (!added_) return;
    added_ = false;
    Add();
}

void Win32TrayIcon::Remove() {
    if (!added_) return;
    NOTIFYICONDATAW nid = Data(0);
    Shell_NotifyIconW(NIM_DELETE, &nid);
    added_ = false;
}

void Win32TrayIcon::Message(const std::u16string& title, const std::u16string& text) {
    if (!added_) return;
    NOTIFYICONDATAW nid = Data(NIF_INFO);
    wcsncpy(nid.szInfoTitle, W(title), ARRAYSIZE(nid.szInfoTitle) - 1);
    wcsncpy(nid.szInfo, W(text), ARRAYSIZE(nid.szInfo) - 1);
    nid.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

}  // namespace velmora::app::win32
