#pragma once

#include <cstdint>

// Windows virtual-key codes, the key numbering of the input port and of the stored send
// shortcut. Only the keys the program presses or recognises are named.
namespace velmora::platform::vk {

inline constexpr std::uint8_t Return = 13;
inline constexpr std::uint8_t Shift = 16;
inline constexpr std::uint8_t Control = 17;
inline constexpr std::uint8_t Menu = 18;  // Alt
inline constexpr std::uint8_t Print = 44;
inline constexpr std::uint8_t Delete = 46;
inline constexpr std::uint8_t Digit0 = 48;  // '0'; the digits follow in order
inline constexpr std::uint8_t LetterA = 65;
inline constexpr std::uint8_t LetterZ = 90;

// A letter's code is its upper-case ASCII code (lower case accepted); anything else gives 0,
// the code of no key.
inline constexpr std::uint8_t Letter(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c) : 0;
}
inline constexpr bool IsLetter(int code) {
    return code >= LetterA && code <= LetterZ;
}
inline constexpr bool IsModifier(int code) {
    return code == Shift || code == Control || code == Menu;
}

}  // namespace velmora::platform::vk
