#include "update/Sha256.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace velmora::update {

namespace {
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

Sha256Digest Sha256(std::string_view bytes) {
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
    Sha256Digest out{};
    unsigned int len = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), out.data(), &len) != 1 || len != out.size()) {
        throw std::runtime_error("SHA-256 unavailable");
    }
    return out;
}

std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex) {
    if (hex.size() != 64) return std::nullopt;
    Sha256Digest d{};
    for (std::size_t i = 0; i < d.size(); ++i) {
        int hi = HexValue(hex[2 * i]);
        int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        d[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return d;
}

std::string ToHex(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(64);
    for (auto b : digest) {
        s.push_back(kDigits[b >> 4]);
        s.push_back(kDigits[b & 15]);
    }
    return s;
}

}  // namespace velmora::update
