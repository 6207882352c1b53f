#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

// A text-path interface to the registry-like key store: a key is named by one text such as
// "HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run", values are texts, stored
// in the ANSI code page.
namespace velmora::app::mduReg {

// What a failed read returns in place of the value.
inline constexpr char16_t kReadError[] = u"Error";
// Longest stored value (in bytes, a terminating NUL included) that a read can take.
inline constexpr std::size_t kReadBufferBytes = 255;

// One of the seven root names, matched exactly; RootKey::None otherwise.
platform::RootKey GetRootKey(std::u16string_view rootName);

struct KeyPath {
    platform::RootKey root = platform::RootKey::None;
    std::u16string subkey;
};

// Root and subkey path of a key path. A path not starting with "HKEY_" or ending in a backslash
// shows the format message and gives no root.
KeyPath SplitKeyPath(platform::IMessageBox& messageBox, std::u16string_view keyPath);

// The value's text (stored bytes read into a buffer of 255 blanks, trimmed of blanks and cut by
// its last character, which for a value stored with its NUL is that NUL); "Error" when the key or
// value is missing or the value does not fit the buffer; empty when the path names no root.
std::u16string ReadRegString(platform::Platform& pf, std::u16string_view keyPath,
                             std::u16string_view valueName);

// Creates the key (and the keys above it) when missing. Failures are ignored.
void CreateRegKey(platform::Platform& pf, std::u16string_view keyPath);

// Stores the text, without a terminating NUL, in an existing key. Failures are ignored.
void WriteRegString(platform::Platform& pf, std::u16string_view keyPath,
                    std::u16string_view valueName, std::u16string_view text);

// As WriteRegString, for a text that holds a file path: stored as UTF-8, never through the ANSI
// code page, which cannot spell every path.
void WriteRegText(platform::Platform& pf, std::u16string_view keyPath,
                  std::u16string_view valueName, std::u16string_view text);

}  // namespace velmora::app::mduReg
