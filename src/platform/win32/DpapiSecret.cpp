#include "platform/win32/DpapiSecret.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <array>
#include <cstdint>
#include <vector>

namespace velmora::platform::win32 {

namespace {

// Mixed into every blob, so one that another program of the same user protected for itself
// does not open as a key here.
constexpr std::string_view kEntropy = "velmora engine API key";
constexpr wchar_t kDescription[] = L"velmora API key";
// Keys are short; anything far longer is refused before the system sees it.
constexpr std::size_t kMaxSecretBytes = 4096;
constexpr std::size_t kMaxStoredChars = 16 * 1024;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A result the system allocated, wiped (it may be a key) and freed on every way out.
class SystemBlob {
  public:
    SystemBlob() = default;
    ~SystemBlob() {
        if (blob_.pbData == nullptr) return;
        SecureZeroMemory(blob_.pbData, blob_.cbData);
        LocalFree(blob_.pbData);
    }
    SystemBlob(const SystemBlob&) = delete;
    SystemBlob& operator=(const SystemBlob&) = delete;
    DATA_BLOB* out() { return &blob_; }
    std::string_view bytes() const {
        return {reinterpret_cast<const char*>(blob_.pbData), blob_.cbData};
    }

  private:
    DATA_BLOB blob_{};
};

DATA_BLOB In(std::string_view bytes) {
    return {static_cast<DWORD>(bytes.size()),
            reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

std::string ErrorText(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

std::string Base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return out;
}

// Strict: whole groups of four, padding only at the end.
std::optional<std::string> FromBase64(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    std::array<int, 256> value{};
    value.fill(-1);
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = i;
    std::size_t padding = 0;
    while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const bool pad = i + k >= text.size() - padding;
            const int d = pad ? 0 : value[static_cast<unsigned char>(text[i + k])];
            if (d < 0) return std::nullopt;
            v = (v << 6) | static_cast<std::uint32_t>(d);
        }
        const std::size_t n = i + 4 == text.size() ? 3 - padding : 3;
        for (std::size_t k = 0; k < n; ++k) out += static_cast<char>((v >> (16 - 8 * k)) & 0xff);
    }
    return out;
}

}  // namespace

std::optional<std::string> ProtectSecret(const std::string& secret, std::string& why) {
    if (secret.size() > kMaxSecretBytes) {
        why = "is too long to encrypt";
        return std::nullopt;
    }
    DATA_BLOB plain = In(secret);
    DATA_BLOB entropy = In(kEntropy);
    SystemBlob sealed;
    if (!CryptProtectData(&plain, kDescription, &entropy, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, sealed.out())) {
        why = ErrorText("the system did not encrypt it");
        return std::nullopt;
    }
    return std::string(kDpapiMarker) + Base64(sealed.bytes());
}

std::optional<std::string> UnprotectSecret(const std::string& stored, bool& wasProtected,
                                           std::string& why) {
    wasProtected = stored.starts_with(kDpapiMarker);
    if (!wasProtected) return stored;
    if (stored.size() > kMaxStoredChars) {
        why = "is too long to be an encrypted key";
        return std::nullopt;
    }
    const auto blob = FromBase64(std::string_view(stored).substr(kDpapiMarker.size()));
    if (!blob) {
        why = "is not valid base64 after \"dpapi:\"";
        return std::nullopt;
    }
    DATA_BLOB sealed = In(*blob);
    DATA_BLOB entropy = In(kEntropy);
    SystemBlob plain;
    if (!CryptUnprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            plain.out())) {
        why = ErrorText("does not decrypt for this user");
        return std::nullopt;
    }
    return std::string(plain.bytes());
}

}  // namespace velmora::platform::win32
