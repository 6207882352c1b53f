#pragma once

#include <windows.h>
// winbase.h defines Yield() away, and the event loop port has a member of that name.
#undef Yield

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Types.h"

// Small helpers every window of the Win32 front end shares.
namespace velmora::app::win32 {

// Window handles are 32-bit significant on 64-bit Windows, so the logic's number holds them.
inline platform::WinHandle ToHandle(HWND w) {
    return static_cast<platform::WinHandle>(reinterpret_cast<std::intptr_t>(w));
}
inline HWND ToHwnd(platform::WinHandle w) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(w));
}

inline const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
inline std::u16string U(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

std::wstring WindowText(HWND w);

// The program's user-interface font (a CJK face when the system has one), made once.
HFONT UiFont();
HFONT UiFont(int pixelHeight, bool bold);

// A visible child control in the program's font; id -1 for one no message names.
HWND CreateChild(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x,
                 int y, int w, int h, DWORD exStyle = 0);

// Registers a window class once per process; returns the class name.
const wchar_t* RegisterClassOnce(const wchar_t* name, WNDPROC proc, HCURSOR cursor = nullptr,
                                 HBRUSH background = nullptr);

// The program's icon (from the resources, or the system's default icon).
HICON AppIcon(bool small);

// Dispatches messages until done() or WM_QUIT (which is posted again for the outer loop).
// dialog, when set, gets keyboard navigation (Tab, Esc, Enter) through IsDialogMessage.
void RunModalLoop(const std::function<bool()>& done, HWND dialog = nullptr);

// Shows the dialog modal over owner (disabled meanwhile, when it was enabled) with the focus on
// focus, runs the modal loop until done(), then destroys the dialog and sets it to nullptr. Its
// object is unhooked first, so no message reaches it while it goes.
void RunModalDialog(HWND& dialog, HWND owner, HWND focus, const std::function<bool()>& done);

// Stores a pointer to the owning object in the window (GWLP_USERDATA) at WM_NCCREATE, whose
// create parameter it is; returns it afterwards.
template <typename T>
T* Self(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return static_cast<T*>(cs->lpCreateParams);
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Outer window size for a wanted client size.
SIZE OuterSize(DWORD style, DWORD exStyle, int clientWidth, int clientHeight);

// A dialog frame of the class (registered once, on the button face colour) with the given
// client size, owned by owner; self is its object, as Self finds it. Null when it cannot be made.
HWND CreateDialogFrame(const wchar_t* className, WNDPROC proc, const wchar_t* caption, DWORD style,
                       int clientWidth, int clientHeight, HWND owner, void* self);

}  // namespace velmora::app::win32
