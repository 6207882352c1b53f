#include "platform/wayland/PortalInput.h"

namespace velmora::platform::wayland {

namespace {
constexpr int kBtnLeft = 272;  // evdev's BTN_LEFT
}  // namespace

std::optional<std::uint32_t> KeysymForVirtualKey(std::uint8_t vk) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<std::uint32_t>(vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9') return vk;
    switch (vk) {
        case 0x08:
            return 0xff08;  // BackSpace
        case 0x09:
            return 0xff09;  // Tab
        case 0x0D:
            return 0xff0d;  // Return
        case 0x10:
        case 0xA0:
            return 0xffe1;  // Shift_L
        case 0xA1:
            return 0xffe2;  // Shift_R
        case 0x11:
        case 0xA2:
            return 0xffe3;  // Control_L
        case 0xA3:
            return 0xffe4;  // Control_R
        case 0x12:
        case 0xA4:
            return 0xffe9;  // Alt_L
        case 0x1B:
            return 0xff1b;  // Escape
        case 0x20:
            return 0x20;  // space
        case 0x23:
            return 0xff57;  // End
        case 0x24:
            return 0xff50;  // Home
        case 0x25:
            return 0xff51;  // Left
        case 0x26:
            return 0xff52;  // Up
        case 0x27:
            return 0xff53;  // Right
        case 0x28:
            return 0xff54;  // Down
        case 0x2D:
            return 0xff63;  // Insert
        case 0x2E:
            return 0xffff;  // Delete
        default:
            return std::nullopt;
    }
}

PortalInput::PortalInput(PortalRemoteDesktop& session) : session_(session) {
    const auto& s = session_.StreamInfo();
    cursor_ = {s.x + s.width / 2, s.y + s.height / 2};
}

PortalInput::~PortalInput() {
    for (const std::uint8_t vk : std::set<std::uint8_t>(keys_)) KeyUp(vk);
    if (buttonDown_) LeftUp();
}

void PortalInput::MoveCursor(std::int32_t x, std::int32_t y) {
    const auto& s = session_.StreamInfo();
    if (x < s.x || y < s.y || x >= s.x + s.width || y >= s.y + s.height) return;
    if (session_.PointerMotionAbsolute(x - s.x, y - s.y)) cursor_ = {x, y};
}

void PortalInput::LeftDown() {
    if (session_.PointerButton(kBtnLeft, true)) buttonDown_ = true;
}

void PortalInput::LeftUp() {
    if (!buttonDown_) return;
    session_.PointerButton(kBtnLeft, false);
    buttonDown_ = false;
}

void PortalInput::KeyDown(std::uint8_t vk) {
    const auto keysym = KeysymForVirtualKey(vk);
    if (keysym && session_.KeyboardKeysym(*keysym, true)) keys_.insert(vk);
}

void PortalInput::KeyUp(std::uint8_t vk) {
    if (keys_.erase(vk) == 0) return;
    if (const auto keysym = KeysymForVirtualKey(vk)) session_.KeyboardKeysym(*keysym, false);
}

}  // namespace velmora::platform::wayland
