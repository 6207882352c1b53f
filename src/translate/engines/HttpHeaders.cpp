#include "translate/engines/HttpHeaders.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmora::translate::engines {

namespace {

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::optional<std::string> FindHeader(const HttpHeaders& headers, std::string_view name) {
    for (const auto& [n, v] : headers) {
        if (IEquals(n, name)) return v;
    }
    return std::nullopt;
}

std::optional<int> ParseRetryAfter(const HttpHeaders& headers) {
    auto value = FindHeader(headers, "Retry-After");
    if (!value) return std::nullopt;
    std::string_view v = *value;
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    if (v.empty() || v.size() > 12) return std::nullopt;
    long long seconds = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
    if (ec != std::errc() || end != v.data() + v.size() || seconds < 0) return std::nullopt;
    return static_cast<int>(std::min<long long>(seconds, 24 * 3600));
}

}  // namespace velmora::translate::engines
