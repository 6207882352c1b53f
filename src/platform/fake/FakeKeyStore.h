#pragma once

// The registry as nested maps; readOnly makes every write fail, as a locked-down key does.

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/IKeyStore.h"

namespace velmora::platform::fake {

class FakeKeyStore : public IKeyStore {
  public:
    std::map<std::pair<RootKey, std::string>, std::map<std::string, std::string>> keys;
    bool readOnly = false;

    bool KeyExists(RootKey root, const std::string& subkey) override {
        return keys.contains({root, subkey});
    }
    bool CreateKey(RootKey root, const std::string& subkey) override {
        if (readOnly) return false;
        keys[{root, subkey}];
        return true;
    }
    std::optional<std::string> ReadValue(RootKey root, const std::string& subkey,
                                         const std::string& name) override {
        auto k = keys.find({root, subkey});
        if (k == keys.end()) return std::nullopt;
        auto v = k->second.find(name);
        if (v == k->second.end()) return std::nullopt;
        return v->second;
    }
    bool WriteValue(RootKey root, const std::string& subkey, const std::string& name,
                    const std::string& data) override {
        if (readOnly) return false;
        auto k = keys.find({root, subkey});
        if (k == keys.end()) return false;
        k->second[name] = data;
        return true;
    }
    // Kept as given, in the same values as the ANSI calls.
    std::optional<std::string> ReadValueUtf8(RootKey root, const std::string& subkey,
                                             const std::string& name) override {
        return ReadValue(root, subkey, name);
    }
    bool WriteValueUtf8(RootKey root, const std::string& subkey, const std::string& name,
                        const std::string& utf8) override {
        return WriteValue(root, subkey, name, utf8);
    }
};

}  // namespace velmora::platform::fake
