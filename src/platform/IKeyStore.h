#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::platform {

// Predefined roots, numbered as the Windows registry numbers them.
enum class RootKey : std::uint32_t {
    None = 0,
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
    PerformanceData = 0x80000004u,
    CurrentConfig = 0x80000005u,
    DynData = 0x80000006u,
};

// A registry-like store of keys with named text values, the text in ANSI bytes.
class IKeyStore {
  public:
    virtual ~IKeyStore() = default;
    virtual bool KeyExists(RootKey root, const std::string& subkey) = 0;
    virtual bool CreateKey(RootKey root, const std::string& subkey) = 0;
    // Raw stored bytes (as written); nullopt when the key or value is missing.
    virtual std::optional<std::string> ReadValue(RootKey root, const std::string& subkey,
                                                 const std::string& name) = 0;
    virtual bool WriteValue(RootKey root, const std::string& subkey, const std::string& name,
                            const std::string& data) = 0;
    // The same for values that hold file paths, which the ANSI code page cannot always spell:
    // the text as UTF-8. A store that keeps such a value only in ANSI converts it both ways.
    virtual std::optional<std::string> ReadValueUtf8(RootKey root, const std::string& subkey,
                                                     const std::string& name) = 0;
    virtual bool WriteValueUtf8(RootKey root, const std::string& subkey, const std::string& name,
                                const std::string& utf8) = 0;
};

}  // namespace velmora::platform
