#include "platform/x11/XTestInput.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <stdexcept>
#include <utility>

#include "platform/VirtualKey.h"

namespace velmora::platform {

namespace x11 {

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

}  // namespace x11

SystemInput::State::State(x11::XDisplay& display) : d(display) {
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d.get(), &ev, &err, &major, &minor))
        throw std::runtime_error("the X server has no XTest extension");
}

SystemInput::SystemInput(std::unique_ptr<State> state) : state_(std::move(state)) {}

SystemInput::~SystemInput() = default;

void SystemInput::MoveCursor(std::int32_t x, std::int32_t y) {
    XTestFakeMotionEvent(state_->d.get(), state_->d.ScreenNumber(), x, y, CurrentTime);
    XFlush(state_->d.get());
}

Point SystemInput::CursorPos() {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(state_->d.get(), state_->d.Root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return Point{rx, ry};
}

bool SystemInput::AnyButtonDown() {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(state_->d.get(), state_->d.Root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return (mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask)) != 0;
}

void SystemInput::LeftDown() {
    XTestFakeButtonEvent(state_->d.get(), 1, True, CurrentTime);
    XFlush(state_->d.get());
}

void SystemInput::LeftUp() {
    XTestFakeButtonEvent(state_->d.get(), 1, False, CurrentTime);
    XFlush(state_->d.get());
}

void SystemInput::State::XkbFree::operator()(XkbDescPtr p) const {
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
void SystemInput::State::ReloadKeymap() {
    keymap.reset(XkbGetMap(d.get(), XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
}

// Where sym lies, best first: the plain level in the active group, the plain level in another
// group (a Latin letter under a Cyrillic layout), then the shifted levels likewise.
auto SystemInput::State::Find(KeySym sym) const -> std::optional<KeyPos> {
    if (!keymap || !keymap->map) return std::nullopt;
    XkbDescPtr xkb = keymap.get();
    std::optional<KeyPos> best;
    int bestRank = 4;
    for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
        auto code = static_cast<KeyCode>(kc);
        int active = EffectiveGroup(xkb, code, group);
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

void SystemInput::KeyDown(std::uint8_t vk) {
    KeySym sym = x11::KeysymForVk(vk);
    if (sym == NoSymbol) return;
    // A new chord starts with no key held: that is when the layout may have changed.
    if (state_->held.empty()) {
        state_->ReloadKeymap();
        XkbStateRec st{};
        if (XkbGetState(state_->d.get(), XkbUseCoreKbd, &st) == Success) {
            state_->group = st.group;
            state_->userGroup = st.locked_group;
        } else {
            state_->group = state_->userGroup = 0;
        }
        state_->switched = false;
    }
    auto pos = state_->Find(sym);
    if (!pos) return;
    // The key yields sym only in its group: lock that one until the chord ends. This assumes
    // no base or latched group, which is how keyboards are left between key presses.
    if (EffectiveGroup(state_->keymap.get(), pos->kc, state_->group) != pos->group) {
        XkbLockGroup(state_->d.get(), XkbUseCoreKbd, static_cast<unsigned>(pos->group));
        state_->group = pos->group;
        state_->switched = true;
    }
    state_->held[vk] = pos->kc;
    XTestFakeKeyEvent(state_->d.get(), pos->kc, True, CurrentTime);
    XFlush(state_->d.get());
}

KeyCode SystemInput::State::KeycodeOf(std::uint8_t vk) {
    if (auto it = held.find(vk); it != held.end()) return it->second;
    KeySym sym = x11::KeysymForVk(vk);
    if (sym == NoSymbol) return 0;
    ReloadKeymap();
    auto pos = Find(sym);
    return pos ? pos->kc : 0;
}

void SystemInput::KeyUp(std::uint8_t vk) {
    KeyCode kc = state_->KeycodeOf(vk);
    state_->held.erase(vk);
    if (kc) XTestFakeKeyEvent(state_->d.get(), kc, False, CurrentTime);
    // The chord is over: give the user back the group they had.
    if (state_->held.empty() && state_->switched) {
        XkbLockGroup(state_->d.get(), XkbUseCoreKbd, static_cast<unsigned>(state_->userGroup));
        state_->group = state_->userGroup;
        state_->switched = false;
    }
    XFlush(state_->d.get());
}

bool SystemInput::IsKeyDown(std::uint8_t vk) {
    KeyCode kc = state_->KeycodeOf(vk);
    if (kc == 0) return false;
    char keys[32] = {};
    XQueryKeymap(state_->d.get(), keys);
    return (static_cast<unsigned char>(keys[kc / 8]) >> (kc % 8)) & 1U;
}

bool SystemInput::AnyKeyDown() {
    char keys[32] = {};
    XQueryKeymap(state_->d.get(), keys);
    for (char byte : keys)
        if (byte != 0) return true;
    return false;
}

}  // namespace velmora::platform
