#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/IHotkey.h"
#include "platform/x11/XDisplay.h"

namespace velmora::platform::x11 {

// The keysym of a shortcut key (letter, digit, F1..F24); NoSymbol for any other code.
KeySym HotkeyKeysym(std::uint8_t vk);

// A global shortcut through passive key grabs on the root window, on a connection of its own so
// its events can be watched apart from everything else: the owner watches Fd() and calls
// Dispatch() when it is readable. The grab is given back when the object goes.
class X11Hotkey : public IHotkey {
  public:
    X11Hotkey();  // $DISPLAY; throws std::runtime_error when no server is reachable
    explicit X11Hotkey(const char* displayName);
    ~X11Hotkey() override;
    X11Hotkey(const X11Hotkey&) = delete;
    X11Hotkey& operator=(const X11Hotkey&) = delete;

    bool Register(const HotkeyChord& chord, std::string& why) override;
    void Unregister() override;
    void SetHandler(std::function<void()> onPressed) override { handler_ = std::move(onPressed); }

    // The connection's file descriptor; readable when events wait.
    int Fd() const;
    // Reads every waiting event and runs the handler once for each new press.
    void Dispatch();

  private:
    void Init();
    // Every combination of the lock modifiers (Caps, Num, Scroll) that the server has, so the
    // chord works whichever of them is on.
    std::vector<unsigned> LockCombinations();
    void Ungrab();
    // Grabs chord's key as the current keyboard map places it.
    bool Grab(const HotkeyChord& chord, std::string& why);

    XDisplay d_;
    std::optional<HotkeyChord> chord_;  // held, to grab again when the keyboard map changes
    KeyCode keycode_ = 0;
    std::vector<unsigned> grabbed_;  // modifier masks currently grabbed
    bool keyDown_ = false;           // the chord's key went down and has not come up
    std::function<void()> handler_;
};

}  // namespace velmora::platform::x11
