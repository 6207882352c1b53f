#include "platform/x11/XTestInput.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <stdexcept>

#include "platform/VirtualKey.h"

namespace velmora::platform::x11 {

KeySym KeysymForVk(std::uint8_t code) {
    switch (code) {
        case vk::Return:
            return XK_Return;
        case vk::Shift:
            return XK_Shift_L;
        case vk::Control:
            return XK_Control_L;
        case vk::Menu:
            return XK_Alt_L;
        case vk::Print:
            return XK_Print;
        case vk::Delete:
            return XK_Delete;
        default:
            break;
    }
    // Letters travel as their lower-case keysyms: the shift state is the caller's business.
    if (vk::IsLetter(code)) return XK_a + (code - vk::LetterA);
    return NoSymbol;
}

XTestInput::XTestInput(XDisplay& display) : d_(display) {
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d_.get(), &ev, &err, &major, &minor))
        throw std::runtime_error("the X server has no XTest extension");
}

void XTestInput::MoveCursor(std::int32_t x, std::int32_t y) {
    XTestFakeMotionEvent(d_.get(), d_.ScreenNumber(), x, y, CurrentTime);
    XFlush(d_.get());
}

Point XTestInput::CursorPos() {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(d_.get(), d_.Root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return Point{rx, ry};
}

void XTestInput::LeftDown() {
    XTestFakeButtonEvent(d_.get(), 1, True, CurrentTime);
    XFlush(d_.get());
}

void XTestInput::LeftUp() {
    XTestFakeButtonEvent(d_.get(), 1, False, CurrentTime);
    XFlush(d_.get());
}

// Reads the server's current keyboard mapping. Xlib's own cache only follows layout changes
// when the client handles MappingNotify, which this connection never reads, so a layout
// switched with setxkbmap would otherwise type the wrong letters (y and z on a German map).
void XTestInput::ReloadKeymap() {
    keymap_.clear();
    int minKc = 0, maxKc = 0;
    XDisplayKeycodes(d_.get(), &minKc, &maxKc);
    int perCode = 0;
    XPtr<KeySym> syms(
        XGetKeyboardMapping(d_.get(), static_cast<KeyCode>(minKc), maxKc - minKc + 1, &perCode));
    if (!syms || perCode <= 0) return;
    // Prefer the keycode where the keysym is the plain (first) level, then any level.
    for (int level = 0; level < perCode; ++level) {
        for (int kc = minKc; kc <= maxKc; ++kc) {
            KeySym s = syms.get()[(kc - minKc) * perCode + level];
            if (s != NoSymbol) keymap_.emplace(s, static_cast<KeyCode>(kc));
        }
    }
}

KeyCode XTestInput::KeycodeFor(KeySym sym) {
    auto it = keymap_.find(sym);
    return it == keymap_.end() ? 0 : it->second;
}

void XTestInput::KeyDown(std::uint8_t vk) {
    KeySym sym = KeysymForVk(vk);
    if (sym == NoSymbol) return;
    // A new chord starts with no key held: that is when the layout may have changed.
    if (held_.empty()) ReloadKeymap();
    KeyCode kc = KeycodeFor(sym);
    if (!kc) return;
    held_[vk] = kc;
    XTestFakeKeyEvent(d_.get(), kc, True, CurrentTime);
    XFlush(d_.get());
}

void XTestInput::KeyUp(std::uint8_t vk) {
    KeyCode kc = 0;
    auto it = held_.find(vk);
    if (it != held_.end()) {
        kc = it->second;
        held_.erase(it);
    } else {
        KeySym sym = KeysymForVk(vk);
        if (sym == NoSymbol) return;
        ReloadKeymap();
        kc = KeycodeFor(sym);
    }
    if (!kc) return;
    XTestFakeKeyEvent(d_.get(), kc, False, CurrentTime);
    XFlush(d_.get());
}

}  // namespace velmora::platform::x11
