#include "update/Sha256.h"

namespace velmora::update {

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

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
