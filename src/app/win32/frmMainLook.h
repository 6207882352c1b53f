#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

// The main window's colours and style, shared by its handlers and its painting.
namespace velmora::app::win32::look {

inline constexpr DWORD kStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
inline constexpr COLORREF kBackground = RGB(0xe8, 0xef, 0xf7);
inline constexpr COLORREF kInk = RGB(0x2b, 0x3a, 0x4e);
inline constexpr COLORREF kAccent = RGB(0x2f, 0x7d, 0xd1);
inline constexpr COLORREF kAccentDark = RGB(0x1f, 0x5f, 0xa8);
inline constexpr COLORREF kTipsBack = RGB(0xff, 0xfb, 0xe6);
// The id under which the window subclasses its two text boxes.
inline constexpr UINT_PTR kSubclassId = 1;

}  // namespace velmora::app::win32::look
