#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/IHotkey.h"

namespace velmora::platform::win32 {

// The virtual-key code RegisterHotKey takes for a shortcut key (letter, digit, F1..F24); 0 for
// any other code.
UINT HotkeyVirtualKey(std::uint8_t vk);

// A global shortcut through RegisterHotKey on a message-only window of its own. WM_HOTKEY
// arrives through the thread's message loop, which the owner runs anyway. The chord is given
// back when the object goes. Lives and dies on the thread that runs the message loop.
class Win32Hotkey : public IHotkey {
  public:
    Win32Hotkey();
    ~Win32Hotkey() override;
    Win32Hotkey(const Win32Hotkey&) = delete;
    Win32Hotkey& operator=(const Win32Hotkey&) = delete;

    bool Register(const HotkeyChord& chord, std::string& why) override;
    void Unregister() override;
    void SetHandler(std::function<void()> onPressed) override { handler_ = std::move(onPressed); }

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Pressed();
    HWND window_ = nullptr;
    bool held_ = false;
    UINT key_ = 0;
    bool keyDown_ = false;  // ran for a press whose key has not been seen released yet
    std::function<void()> handler_;
};

}  // namespace velmora::platform::win32
