#include "platform/x11/X11Hotkey.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "platform/VirtualKey.h"

namespace velmora::platform::x11 {

namespace {
constexpr std::uint8_t kVkF1 = 0x70;
constexpr std::uint8_t kVkF24 = 0x87;

// The modifier bit that the key of `sym` sets, 0 when no modifier carries it.
unsigned ModifierMaskOf(Display* dpy, KeySym sym) {
    const KeyCode kc = XKeysymToKeycode(dpy, sym);
    if (kc == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(dpy);
    if (!map) return 0;
    unsigned mask = 0;
    for (int mod = 0; mod < 8; ++mod)
        for (int i = 0; i < map->max_keypermod; ++i)
            if (map->modifiermap[mod * map->max_keypermod + i] == kc) mask |= 1u << mod;
    XFreeModifiermap(map);
    return mask;
}
}  // namespace

KeySym HotkeyKeysym(std::uint8_t code) {
    if (vk::IsLetter(code)) return XK_a + (code - vk::LetterA);
    if (code >= vk::Digit0 && code <= vk::Digit0 + 9) return XK_0 + (code - vk::Digit0);
    if (code >= kVkF1 && code <= kVkF24) return XK_F1 + (code - kVkF1);
    return NoSymbol;
}

X11Hotkey::X11Hotkey() : d_() {
    Init();
}

X11Hotkey::X11Hotkey(const char* displayName) : d_(displayName) {
    Init();
}

void X11Hotkey::Init() {
    // Without it a held key arrives as release and press pairs, each looking like a new press.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(d_.get(), True, &supported);
}

X11Hotkey::~X11Hotkey() {
    Unregister();
}

int X11Hotkey::Fd() const {
    return ConnectionNumber(d_.get());
}

std::vector<unsigned> X11Hotkey::LockCombinations() {
    std::vector<unsigned> locks = {LockMask};
    for (KeySym sym : {static_cast<KeySym>(XK_Num_Lock), static_cast<KeySym>(XK_Scroll_Lock)}) {
        const unsigned m = ModifierMaskOf(d_.get(), sym);
        if (m != 0 && m != LockMask) locks.push_back(m);
    }
    std::vector<unsigned> out;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
        unsigned mask = 0;
        for (std::size_t i = 0; i < locks.size(); ++i)
            if (subset & (1u << i)) mask |= locks[i];
        out.push_back(mask);
    }
    return out;
}

bool X11Hotkey::Register(const HotkeyChord& chord, std::string& why) {
    Unregister();
    if (!Grab(chord, why)) return false;
    chord_ = chord;
    Dispatch();  // events read while syncing wait in Xlib's queue, not on the socket
    return true;
}

bool X11Hotkey::Grab(const HotkeyChord& chord, std::string& why) {
    const KeySym sym = HotkeyKeysym(chord.key);
    const KeyCode kc = sym == NoSymbol ? 0 : XKeysymToKeycode(d_.get(), sym);
    if (kc == 0) {
        why = "the keyboard has no key for it";
        return false;
    }
    unsigned mods = 0;
    if (chord.modifiers & kHotkeyControl) mods |= ControlMask;
    if (chord.modifiers & kHotkeyAlt) mods |= Mod1Mask;
    if (chord.modifiers & kHotkeyShift) mods |= ShiftMask;
    if (chord.modifiers & kHotkeySuper) mods |= Mod4Mask;
    keycode_ = kc;
    bool taken = false;
    {
        // A grab another client holds fails with BadAccess, which arrives asynchronously: the
        // scope syncs and counts it.
        ErrorScope scope(d_);
        for (unsigned locks : LockCombinations()) {
            XGrabKey(d_.get(), kc, mods | locks, d_.Root(), False, GrabModeAsync, GrabModeAsync);
            grabbed_.push_back(mods | locks);
        }
        taken = scope.Failed();
    }
    if (taken) {
        Ungrab();
        keycode_ = 0;
        why = kHotkeyTaken;
        return false;
    }
    return true;
}

void X11Hotkey::Ungrab() {
    ErrorScope scope(d_);
    for (unsigned mask : grabbed_) XUngrabKey(d_.get(), keycode_, mask, d_.Root());
    grabbed_.clear();
}

void X11Hotkey::Unregister() {
    chord_.reset();
    if (!grabbed_.empty()) Ungrab();
    keycode_ = 0;
    keyDown_ = false;
}

void X11Hotkey::Dispatch() {
    int presses = 0;
    bool remapped = false;
    while (XPending(d_.get()) > 0) {
        XEvent ev;
        XNextEvent(d_.get(), &ev);
        if (ev.type == MappingNotify) {
            XRefreshKeyboardMapping(&ev.xmapping);
            remapped = remapped || ev.xmapping.request == MappingKeyboard;
            continue;
        }
        if (ev.type != KeyPress && ev.type != KeyRelease) continue;
        if (keycode_ == 0 || ev.xkey.keycode != keycode_) continue;
        if (ev.type == KeyRelease) {
            keyDown_ = false;
        } else if (!keyDown_) {
            // Presses of a held key are its auto-repeat: one press, one run.
            keyDown_ = true;
            ++presses;
        }
    }
    // Another layout may put the key elsewhere (y and z swap places on a German map): the grab
    // follows it.
    if (remapped && chord_) {
        const KeySym sym = HotkeyKeysym(chord_->key);
        if (XKeysymToKeycode(d_.get(), sym) != keycode_) {
            const HotkeyChord chord = *chord_;
            Ungrab();
            std::string why;
            if (!Grab(chord, why)) chord_.reset();
            keyDown_ = false;
        }
    }
    // Handlers run after the queue is empty: they wait in nested event loops, which may call
    // Dispatch again.
    for (; presses > 0; --presses)
        if (handler_) handler_();
}

}  // namespace velmora::platform::x11
