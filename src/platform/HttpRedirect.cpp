#include "platform/HttpRedirect.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace velmora::platform {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::optional<std::string_view> SchemeOf(std::string_view url) {
    const auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const auto scheme = url.substr(0, colon);
    if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return std::nullopt;
    for (char c : scheme)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return std::nullopt;
    return scheme;
}

// A path with its "." and ".." segments applied, as a browser sends it.
std::string RemoveDotSegments(const std::string& pathAndQuery) {
    const auto q = pathAndQuery.find_first_of("?#");
    const std::string path = pathAndQuery.substr(0, q);
    const std::string rest = q == std::string::npos ? "" : pathAndQuery.substr(q);
    std::vector<std::string> out;
    std::size_t pos = 1;  // past the leading '/'
    bool trailingSlash = false;
    while (pos <= path.size()) {
        auto end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        const std::string seg = path.substr(pos, end - pos);
        trailingSlash = seg == "." || seg == "..";
        if (seg == "..") {
            if (!out.empty()) out.pop_back();
        } else if (seg != ".") {
            out.push_back(seg);
        }
        pos = end + 1;
    }
    std::string result;
    for (const auto& seg : out) result += "/" + seg;
    if (result.empty() || trailingSlash) result += "/";
    return result + rest;
}

// Headers that carry credentials by their nature, dropped whenever the origin changes.
bool IsCredentialHeader(std::string_view name) {
    return IEquals(name, "Authorization") || IEquals(name, "Proxy-Authorization") ||
           IEquals(name, "Cookie");
}

}  // namespace

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsHttpUrl(std::string_view url) {
    const auto scheme = SchemeOf(url);
    return scheme && (IEquals(*scheme, "http") || IEquals(*scheme, "https"));
}

std::string UrlOrigin::Text() const {
    return scheme + "://" + host + ":" + std::to_string(port);
}

std::optional<UrlOrigin> OriginOf(std::string_view url) {
    const auto scheme = SchemeOf(url);
    if (!scheme) return std::nullopt;
    UrlOrigin origin;
    origin.scheme = Lower(*scheme);
    if (origin.scheme != "http" && origin.scheme != "https") return std::nullopt;
    std::string_view rest = url.substr(scheme->size() + 1);
    if (rest.substr(0, 2) != "//") return std::nullopt;
    rest.remove_prefix(2);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(0, close + 1);
        const auto after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            port = after.substr(1);
        }
    } else {
        const auto colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    }
    if (host.empty()) return std::nullopt;
    origin.host = Lower(host);
    if (port.empty()) {
        origin.port = origin.scheme == "https" ? 443 : 80;
    } else {
        if (port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        origin.port = std::stoi(std::string(port));
        if (origin.port < 1 || origin.port > 65535) return std::nullopt;
    }
    return origin;
}

std::string ResolveLocation(const std::string& base, const std::string& location) {
    if (SchemeOf(location)) return location;
    const auto schemeEnd = base.find("://");
    if (schemeEnd == std::string::npos) return location;
    if (location.rfind("//", 0) == 0) return base.substr(0, schemeEnd + 1) + location;
    const auto pathStart = base.find_first_of("/?#", schemeEnd + 3);
    const std::string origin = base.substr(0, pathStart);
    std::string path = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    if (path.empty() || path[0] != '/') path = "/" + path;
    if (location.empty()) return origin + path;
    if (location[0] == '/') return origin + RemoveDotSegments(location);
    if (location[0] == '?') return origin + path + location;
    return origin + RemoveDotSegments(path.substr(0, path.rfind('/') + 1) + location);
}

bool IsRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HttpRequest FollowRedirect(const HttpRequest& current, long status, const std::string& target,
                           int hop, int maxRedirects) {
    const auto to = OriginOf(target);
    if (!to)
        throw HttpError("refused a redirect to a URL that is not http or https: " +
                        target.substr(0, target.find_first_of("?#")));
    if (hop >= maxRedirects) throw HttpError("too many HTTP redirects");
    const auto from = OriginOf(current.url);
    const std::string named = "HTTP " + std::to_string(status) + " to " + to->Text();
    if (current.carriesCredential && (!from || !(*from == *to)))
        throw HttpError("refused a redirect (" + named +
                        ") to another server for a request that carries a key");
    if (from && from->scheme == "https" && to->scheme == "http")
        throw HttpError("refused a redirect (" + named + ") from https to plain http");

    HttpRequest next = current;
    next.url = target;
    if (!from || !(*from == *to))
        std::erase_if(next.headers, [](const auto& h) { return IsCredentialHeader(h.first); });
    // As browsers do: 303, and 301/302 after a POST, continue as a GET without the body.
    if (status == 303 || ((status == 301 || status == 302) && IEquals(current.method, "POST"))) {
        next.method = "GET";
        next.body.clear();
        std::erase_if(next.headers, [](const auto& h) {
            return IEquals(h.first, "Content-Length") || IEquals(h.first, "Content-Type");
        });
    }
    return next;
}

std::string_view TrimHeaderSpace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

long long RedirectWalk::Remaining() const {
    const std::string& url = request_.url;
    if (!IsHttpUrl(url)) throw HttpError("refused a URL that is not http or https: " + url);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) throw HttpError("HTTP request to " + url + " timed out");
    return left;
}

bool RedirectWalk::Follow(long status, const std::optional<std::string>& target) {
    if (!IsRedirectStatus(status) || !target || target->empty()) return false;
    request_ = FollowRedirect(request_, status, *target, hop_, maxRedirects_);
    ++hop_;
    return true;
}

}  // namespace velmora::platform
