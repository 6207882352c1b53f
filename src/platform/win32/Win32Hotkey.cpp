#include "platform/win32/Win32Hotkey.h"

#include "platform/VirtualKey.h"

namespace velmora::platform::win32 {

namespace {
constexpr int kHotkeyId = 1;  // one chord per object, and each object has its own window
constexpr UINT_PTR kReleaseTimer = 1;
constexpr UINT kReleasePollMs = 15;
constexpr wchar_t kWindowClass[] = L"VelmoraHotkeyWindow";
}  // namespace

UINT HotkeyVirtualKey(std::uint8_t code) {
    if (vk::IsLetter(code)) return code;
    if (code >= vk::Digit0 && code <= vk::Digit0 + 9) return code;
    if (code >= VK_F1 && code <= VK_F24) return code;
    return 0;
}

Win32Hotkey::Win32Hotkey() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Win32Hotkey::WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);  // fails harmlessly when a second object registers it again
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                              nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Hotkey::~Win32Hotkey() {
    Unregister();
    if (window_) DestroyWindow(window_);
}

bool Win32Hotkey::Register(const HotkeyChord& chord, std::string& why) {
    Unregister();
    const UINT key = HotkeyVirtualKey(chord.key);
    if (key == 0) {
        why = "the keyboard has no key for it";
        return false;
    }
    if (!window_) {
        why = "no window to receive the shortcut";
        return false;
    }
    // MOD_NOREPEAT: a held key gives one press, not one per auto-repeat.
    UINT mods = MOD_NOREPEAT;
    if (chord.modifiers & kHotkeyControl) mods |= MOD_CONTROL;
    if (chord.modifiers & kHotkeyAlt) mods |= MOD_ALT;
    if (chord.modifiers & kHotkeyShift) mods |= MOD_SHIFT;
    if (chord.modifiers & kHotkeySuper) mods |= MOD_WIN;
    if (!RegisterHotKey(window_, kHotkeyId, mods, key)) {
        why = GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED
                  ? std::string(kHotkeyTaken)
                  : std::string("the system refused the shortcut");
        return false;
    }
    held_ = true;
    key_ = key;
    return true;
}

void Win32Hotkey::Unregister() {
    if (held_ && window_) UnregisterHotKey(window_, kHotkeyId);
    if (keyDown_ && window_) KillTimer(window_, kReleaseTimer);
    held_ = false;
    keyDown_ = false;
    key_ = 0;
}

void Win32Hotkey::Pressed() {
    // Some systems (Wine) ignore MOD_NOREPEAT and report each auto-repeat of the held key:
    // after a press, further reports count only once the key was seen up.
    if (!held_ || keyDown_) return;
    keyDown_ = true;
    SetTimer(window_, kReleaseTimer, kReleasePollMs, nullptr);
    // A copy: the handler may replace itself or unregister.
    if (auto handler = handler_) handler();
}

LRESULT CALLBACK Win32Hotkey::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Win32Hotkey*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == WM_HOTKEY && static_cast<int>(wp) == kHotkeyId) {
        self->Pressed();
        return 0;
    }
    if (self && msg == WM_TIMER && wp == kReleaseTimer) {
        if (!(GetAsyncKeyState(static_cast<int>(self->key_)) & 0x8000)) {
            KillTimer(hwnd, kReleaseTimer);
            self->keyDown_ = false;
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::platform::win32
