#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/IKeyStore.h"

namespace velmora::platform::win32 {

// The real registry. Key paths, value names and the plain values go through the ANSI calls, so
// the system's ANSI code page converts them as it always has; the UTF-8 values go through the
// wide calls and keep every character. Values are written as REG_SZ.
class RegistryKeyStore : public IKeyStore {
  public:
    // Larger values are refused (read as missing) rather than read whole.
    static constexpr std::size_t kMaxValueBytes = 64 * 1024;

    bool KeyExists(RootKey root, const std::string& subkey) override;
    bool CreateKey(RootKey root, const std::string& subkey) override;
    // The bytes RegQueryValueExA gives, a terminating NUL included when the value has one.
    std::optional<std::string> ReadValue(RootKey root, const std::string& subkey,
                                         const std::string& name) override;
    // Stores the given bytes as a REG_SZ value. The system counts the NUL that follows them
    // when the count leaves it out (as NT does), so "abc" reads back as "abc\0".
    bool WriteValue(RootKey root, const std::string& subkey, const std::string& name,
                    const std::string& data) override;
    // The text up to its first NUL.
    std::optional<std::string> ReadValueUtf8(RootKey root, const std::string& subkey,
                                             const std::string& name) override;
    // Stored with its terminating NUL, as a string value should be.
    bool WriteValueUtf8(RootKey root, const std::string& subkey, const std::string& name,
                        const std::string& utf8) override;
};

}  // namespace velmora::platform::win32
