#include "platform/win32/Win32Input.h"

#include <windows.h>

#include <utility>

namespace velmora::platform {

namespace {

// Keys that sit in the extended block: without the flag the system takes them for their
// number-pad twins (Delete would become the pad's decimal key with Num Lock off).
bool IsExtended(std::uint8_t vk) {
    switch (vk) {
        case VK_INSERT:
        case VK_DELETE:
        case VK_HOME:
        case VK_END:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
        case VK_RCONTROL:
        case VK_RMENU:
        case VK_LWIN:
        case VK_RWIN:
        case VK_APPS:
        case VK_DIVIDE:
        case VK_NUMLOCK:
        case VK_SNAPSHOT:
            return true;
        default:
            return false;
    }
}

void SendKey(std::uint8_t vk, bool up) {
    // 0 and 255 name no key.
    if (vk == 0 || vk == 0xFF) return;
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtended(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &in, sizeof in);
}

void SendMouse(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;  // no MOUSEEVENTF_MOVE: the button acts where the cursor is
    SendInput(1, &in, sizeof in);
}

}  // namespace

SystemInput::SystemInput(std::unique_ptr<State> state) : state_(std::move(state)) {}

SystemInput::~SystemInput() = default;

void SystemInput::MoveCursor(std::int32_t x, std::int32_t y) {
    // A button sent next acts where the system believes the cursor is. Under Wine a motion
    // event of an earlier move, handled late, can put that belief back to the old place after
    // the move (a CI run read the previous point right after SetCursorPos), so the move is
    // repeated, briefly and bounded, until the cursor reads back where it was sent.
    for (int attempt = 0; attempt < 20; ++attempt) {
        SetCursorPos(x, y);
        POINT p{};
        if (GetCursorPos(&p) && p.x == x && p.y == y) return;
        Sleep(5);
    }
}

Point SystemInput::CursorPos() {
    POINT p{};
    if (!GetCursorPos(&p)) return Point{};
    return Point{p.x, p.y};
}

void SystemInput::LeftDown() {
    SendMouse(MOUSEEVENTF_LEFTDOWN);
}

void SystemInput::LeftUp() {
    SendMouse(MOUSEEVENTF_LEFTUP);
}

void SystemInput::KeyDown(std::uint8_t vk) {
    SendKey(vk, false);
}

void SystemInput::KeyUp(std::uint8_t vk) {
    SendKey(vk, true);
}

bool SystemInput::AnyKeyDown() {
    // The keyboard's codes only: 1..6 are mouse buttons and 7 is unassigned.
    for (int vk = VK_BACK; vk <= 0xFE; ++vk)
        if (GetAsyncKeyState(vk) & 0x8000) return true;
    return false;
}

bool SystemInput::AnyButtonDown() {
    for (int vk : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON})
        if (GetAsyncKeyState(vk) & 0x8000) return true;
    return false;
}

bool SystemInput::IsKeyDown(std::uint8_t vk) {
    return vk != 0 && (GetAsyncKeyState(vk) & 0x8000) != 0;
}

}  // namespace velmora::platform
