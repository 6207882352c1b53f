#pragma once

// Shared by the fuzz targets: a property check that survives NDEBUG and small input helpers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Aborts with the broken property, so the fuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                                       \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "property broken at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace velmora::fuzz {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Pairs of bytes as UTF-16 code units (little endian); an odd last byte is dropped.
inline std::u16string Units(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return out;
}

inline bool HasUnpairedSurrogate(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] >= 0xE000) return true;
            ++i;
        } else if (c >= 0xDC00 && c < 0xE000) {
            return true;
        }
    }
    return false;
}

// The parts of text between separators (a separator at the end gives an empty last part).
template <typename Char>
std::vector<std::basic_string<Char>> SplitAt(std::basic_string_view<Char> text,
                                             std::basic_string_view<Char> separator) {
    std::vector<std::basic_string<Char>> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != text.npos;
         start = at + separator.size())
        parts.emplace_back(text.substr(start, at - start));
    parts.emplace_back(text.substr(start));
    return parts;
}

}  // namespace velmora::fuzz
