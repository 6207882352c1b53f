#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::update {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 of raw bytes (OpenSSL on Linux, CNG on Windows).
Sha256Digest Sha256(std::string_view bytes);

// 64 hexadecimal digits, either case, nothing else; nullopt otherwise.
std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex);

std::string ToHex(const Sha256Digest& digest);  // lower case

}  // namespace velmora::update
