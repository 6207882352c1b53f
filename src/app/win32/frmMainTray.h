#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <shellapi.h>

#include <string>

#include "app/core/IMainWindow.h"

namespace velmora::app::win32 {

// The main window's tray icon: one per window, under a fixed id others can name (an icon
// handle cannot be learned from another process under Wine). Clicks come to the window as
// `callbackMessage`.
class Win32TrayIcon final : public ITrayIcon {
  public:
    Win32TrayIcon(HWND window, UINT id, UINT callbackMessage, const wchar_t* tip)
        : window_(window), id_(id), callbackMessage_(callbackMessage), tip_(tip) {}
    bool Available() override { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }
    bool Shown() override { return added_; }
    void Add() override;
    void Remove() override;
    void Message(const std::u16string& title, const std::u16string& text) override;
    // The shell started again: the icon it lost goes back.
    void AddAgain();

  private:
    NOTIFYICONDATAW Data(UINT flags) const;

    HWND window_;
    UINT id_;
    UINT callbackMessage_;
    const wchar_t* tip_;
    bool added_ = false;
};

}  // namespace velmora::app::win32
