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

bool XTestInput::AnyButtonDown() {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(d_.get(), d_.Root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return (mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask)) != 0;
}

void XTestInput::LeftDown() {
    XTestFakeButtonEvent(d_.get(), 1, True, CurrentTime);
    XFlush(d_.get());
}

void XTestInput::LeftUp() {
    XTestFakeButtonEvent(d_.get(), 1, False, CurrentTime);
    XFlush(d_.get());
}

void XTestInput::XkbFree::operator()(XkbDescPtr p) const {
    XkbFreeKeyboard(p, 0, True);
}

namespace {

// The group of kc that the server uses when the keyboard is in `group`: keys with fewer
// groups (Control, Return, ...) wrap, clamp or redirect, as their group info says.
int EffectiveGroup(XkbDescPtr xkb, KeyCode kc, int group) {
    int n = XkbKeyNumGroups(xkb, kc);
    if (n == 0) return -1;
    if (group < n) return group;
    unsigned char info = XkbKeyGroupInfo(xkb, kc);
    switch (XkbOutOfRangeGroupAction(info)) {
        case XkbClampIntoRange:
            return n - 1;
        case XkbRedirectIntoRange: {
            int g = XkbOutOfRangeGroupNumber(info);
            return g < n ? g : 0;
        }
        default:
            return group % n;
    }
}

}  // namespace

// Reads the server's current keyboard map with all its groups. Xlib's own cache only follows
// layout changes when the client handles MappingNotify, which this connection never reads, so
// a layout switched with setxkbmap would otherwise type the wrong letters (y and z on a German
// map).
void XTestInput::ReloadKeymap() {
    xkb_.reset(XkbGetMap(d_.get(), XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
}

// Where sym lies, best first: the plain level in the active group, the plain level in another
// group (a Latin letter under a Cyrillic layout), then the shifted levels likewise.
std::optional<XTestInput::KeyPos> XTestInput::Find(KeySym sym) const {
    if (!xkb_ || !xkb_->map) return std::nullopt;
    XkbDescPtr xkb = xkb_.get();
    std::optional<KeyPos> best;
    int bestRank = 4;
    for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
        auto code = static_cast<KeyCode>(kc);
        int active = EffectiveGroup(xkb, code, group_);
        for (int g = 0; g < XkbKeyNumGroups(xkb, code); ++g) {
            for (int level = 0; level < XkbKeyGroupWidth(xkb, code, g); ++level) {
                if (XkbKeySymEntry(xkb, code, level, g) != sym) continue;
                int rank = (level == 0 ? 0 : 2) + (g == active ? 0 : 1);
                if (rank < bestRank) {
                    bestRank = rank;
                    best = KeyPos{code, g};
                }
            }
        }
    }
    return best;
}

void XTestInput::KeyDown(std::uint8_t vk) {
    KeySym sym = KeysymForVk(vk);
    if (sym == NoSymbol) return;
    // A new chord starts with no key held: that is when the layout may have changed.
    if (held_.empty()) {
        ReloadKeymap();
        XkbStateRec st{};
        if (XkbGetState(d_.get(), XkbUseCoreKbd, &st) == Success) {
            group_ = st.group;
            userGroup_ = st.locked_group;
        } else {
            group_ = userGroup_ = 0;
        }
        switched_ = false;
    }
    auto pos = Find(sym);
    if (!pos) return;
    // The key yields sym only in its group: lock that one until the chord ends. This assumes
    // no base or latched group, which is how keyboards are left between key presses.
    if (EffectiveGroup(xkb_.get(), pos->kc, group_) != pos->group) {
        XkbLockGroup(d_.get(), XkbUseCoreKbd, static_cast<unsigned>(pos->group));
        group_ = pos->group;
        switched_ = true;
    }
    held_[vk] = pos->kc;
    XTestFakeKeyEvent(d_.get(), pos->kc, True, CurrentTime);
    XFlush(d_.get());
}

KeyCode XTestInput::KeycodeOf(std::uint8_t vk) {
    if (auto it = held_.find(vk); it != held_.end()) return it->second;
    KeySym sym = KeysymForVk(vk);
    if (sym == NoSymbol) return 0;
    ReloadKeymap();
    auto pos = Find(sym);
    return pos ? pos->kc : 0;
}

void XTestInput::KeyUp(std::uint8_t vk) {
    KeyCode kc = KeycodeOf(vk);
    held_.erase(vk);
    if (kc) XTestFakeKeyEvent(d_.get(), kc, False, CurrentTime);
    // The chord is over: give the user back the group they had.
    if (held_.empty() && switched_) {
        XkbLockGroup(d_.get(), XkbUseCoreKbd, static_cast<unsigned>(userGroup_));
        group_ = userGroup_;
        switched_ = false;
    }
    XFlush(d_.get());
}

bool XTestInput::IsKeyDown(std::uint8_t vk) {
    KeyCode kc = KeycodeOf(vk);
    if (kc == 0) return false;
    char keys[32] = {};
    XQueryKeymap(d_.get(), keys);
    return (static_cast<unsigned char>(keys[kc / 8]) >> (kc % 8)) & 1U;
}

bool XTestInput::AnyKeyDown() {
    char keys[32] = {};
    XQueryKeymap(d_.get(), keys);
    for (char byte : keys)
        if (byte != 0) return true;
    return false;
}

}  // namespace velmora::platform::x11
