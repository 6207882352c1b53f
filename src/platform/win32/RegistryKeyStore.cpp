#include "platform/win32/RegistryKeyStore.h"

#include <windows.h>

#include <climits>
#include <vector>

#include "platform/Utf8.h"

namespace velmora::platform::win32 {

namespace {

// An open key, closed on every way out.
class Key {
  public:
    Key() = default;
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &h_; }
    HKEY get() const { return h_; }

  private:
    HKEY h_ = nullptr;
};

// The predefined handles are the root's number sign-extended to a pointer, as <winreg.h> builds
// them; anything else is no root.
HKEY Root(RootKey root) {
    const auto v = static_cast<std::uint32_t>(root);
    if (v < 0x80000000u || v > 0x80000006u) return nullptr;
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(v)));
}

bool OpenA(RootKey root, const std::string& subkey, REGSAM access, Key& key) {
    HKEY r = Root(root);
    return r && RegOpenKeyExA(r, subkey.c_str(), 0, access, key.out()) == ERROR_SUCCESS;
}

// ANSI names for the wide calls: the same conversion the ANSI calls make.
std::wstring Wide(const std::string& ansi) {
    if (ansi.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return w;
}

// Reads a value's bytes with one of the two query calls, refusing large ones. The size is asked
// first and asked again if the value grows in between.
template <typename Query>
std::optional<std::string> ReadBounded(Query query) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        if (query(nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        if (size > RegistryKeyStore::kMaxValueBytes) return std::nullopt;
        std::vector<BYTE> buf(size + 2);
        DWORD got = static_cast<DWORD>(buf.size());
        LONG rc = query(buf.data(), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS || got > RegistryKeyStore::kMaxValueBytes) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(buf.data()), got);
    }
    return std::nullopt;
}

}  // namespace

bool RegistryKeyStore::KeyExists(RootKey root, const std::string& subkey) {
    Key key;
    return OpenA(root, subkey, KEY_READ, key);
}

bool RegistryKeyStore::CreateKey(RootKey root, const std::string& subkey) {
    HKEY r = Root(root);
    Key key;
    return r && RegCreateKeyA(r, subkey.c_str(), key.out()) == ERROR_SUCCESS;
}

std::optional<std::string> RegistryKeyStore::ReadValue(RootKey root, const std::string& subkey,
                                                       const std::string& name) {
    Key key;
    if (!OpenA(root, subkey, KEY_READ, key)) return std::nullopt;
    return ReadBounded([&](BYTE* data, DWORD* size) {
        return RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, data, size);
    });
}

bool RegistryKeyStore::WriteValue(RootKey root, const std::string& subkey, const std::string& name,
                                  const std::string& data) {
    if (data.size() > kMaxValueBytes) return false;
    Key key;
    if (!OpenA(root, subkey, KEY_WRITE, key)) return false;
    return RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::optional<std::string> RegistryKeyStore::ReadValueUtf8(RootKey root, const std::string& subkey,
                                                           const std::string& name) {
    HKEY r = Root(root);
    Key key;
    if (!r || RegOpenKeyExW(r, Wide(subkey).c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring wname = Wide(name);
    DWORD type = 0;
    auto bytes = ReadBounded([&](BYTE* data, DWORD* size) {
        return RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, data, size);
    });
    if (!bytes) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;  // not text
    std::u16string text(bytes->size() / 2, u'\0');
    bytes->copy(reinterpret_cast<char*>(text.data()), text.size() * 2);
    return Utf8Encode(std::u16string_view(text).substr(0, text.find(u'\0')));
}

bool RegistryKeyStore::WriteValueUtf8(RootKey root, const std::string& subkey,
                                      const std::string& name, const std::string& utf8) {
    HKEY r = Root(root);
    Key key;
    if (!r || RegOpenKeyExW(r, Wide(subkey).c_str(), 0, KEY_WRITE, key.out()) != ERROR_SUCCESS)
        return false;
    std::u16string text = Utf8Decode(utf8);
    text.resize(text.find(u'\0') == std::u16string::npos ? text.size() : text.find(u'\0'));
    const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    if (bytes > kMaxValueBytes) return false;
    return RegSetValueExW(key.get(), Wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace velmora::platform::win32
