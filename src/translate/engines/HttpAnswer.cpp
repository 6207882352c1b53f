#include "translate/engines/HttpAnswer.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/IEventLoop.h"

namespace velmora::translate::engines {

namespace {

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    for (std::size_t pos = s.find(from); pos != std::string::npos;
         pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

std::string WithDetail(std::string text, const std::string& serverMessage) {
    if (!serverMessage.empty()) text += ": " + serverMessage;
    return text;
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

std::string Redact(std::string text, std::string_view key) {
    if (key.empty()) return text;
    ReplaceAll(text, key, "***");
    const std::string encoded = PercentEncode(key);
    if (encoded != key) ReplaceAll(text, encoded, "***");
    return text;
}

std::string ServerText(std::string_view text, std::string_view key, std::size_t maxChars) {
    const std::string redacted = Redact(std::string(text), key);
    std::string out;
    bool gap = false;
    for (unsigned char c : redacted) {
        if (c >= 0x20 && c < 0x7F) {
            if (gap && !out.empty()) out += ' ';
            gap = false;
            out += static_cast<char>(c);
        } else {
            gap = true;
        }
        if (out.size() >= maxChars) break;
    }
    if (out.size() > maxChars) out.resize(maxChars);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

PieceResult FailureForStatus(const platform::HttpResponse& res, const std::string& serverMessage) {
    const std::string status = "(HTTP " + std::to_string(res.status) + ")";
    const long s = res.status;
    if (s == 429)
        return PieceResult::Fail(FailureKind::RateLimited,
                                 WithDetail("too many requests " + status, serverMessage),
                                 ParseRetryAfter(res.headers));
    if (s == 456)
        return PieceResult::Fail(FailureKind::QuotaExceeded,
                                 WithDetail("quota used up " + status, serverMessage),
                                 ParseRetryAfter(res.headers));
    if (s >= 500 && s <= 599)
        return PieceResult::Fail(FailureKind::ServerError,
                                 WithDetail("server error " + status, serverMessage));
    if (s == 401 || s == 403)
        return PieceResult::Fail(FailureKind::BadKey,
                                 WithDetail("key refused " + status, serverMessage));
    if (s >= 400 && s <= 499)
        return PieceResult::Fail(FailureKind::BadRequest,
                                 WithDetail("request refused " + status, serverMessage));
    return PieceResult::Fail(FailureKind::NoTranslation,
                             WithDetail("unexpected answer " + status, serverMessage));
}

PieceResult Exchange(platform::IHttp& http, const platform::HttpRequest& request,
                     const std::function<PieceResult(const platform::HttpResponse&)>& parse,
                     std::string_view key) {
    PieceResult result;
    try {
        if (key.empty()) {
            result = parse(http.Send(request));
        } else {
            platform::HttpRequest keyed = request;
            keyed.carriesCredential = true;
            result = parse(http.Send(keyed));
        }
    } catch (const platform::Cancelled&) {
        throw;  // no failure of the engine: the whole text is abandoned
    } catch (const platform::HttpError& e) {
        return PieceResult::Fail(FailureKind::Transport,
                                 "transport failure: " + ServerText(e.what(), key, 160));
    } catch (const std::exception& e) {
        return PieceResult::Fail(FailureKind::Transport,
                                 "transport failure: " + ServerText(e.what(), key, 160));
    } catch (...) {
        return PieceResult::Fail(FailureKind::Transport, "transport failure");
    }
    // Parsers already keep the key out; this is the last guard before the user sees it.
    if (!result.text) result.failure.detail = Redact(std::move(result.failure.detail), key);
    return result;
}

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
