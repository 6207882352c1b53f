#include "translate/engines/UrlParts.h"

namespace velmora::translate::engines {

std::string PercentEncode(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
            b == '-' || b == '.' || b == '_' || b == '~') {
            out += static_cast<char>(b);
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

std::string WithQuery(const std::string& url, const std::string& query) {
    if (query.empty()) return url;
    const char sep = url.find('?') == std::string::npos ? '?' : '&';
    return url + sep + query;
}

std::string BaseOf(const std::string& url, std::string_view suffix) {
    std::string base = url.substr(0, url.find('?'));
    if (!suffix.empty() && base.size() >= suffix.size() &&
        base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0)
        base.resize(base.size() - suffix.size());
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

}  // namespace velmora::translate::engines
