#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IHttp.h"

namespace velmora::platform {

// Scheme, host and port of an http or https URL, lower-cased, the port filled in.
struct UrlOrigin {
    std::string scheme;
    std::string host;
    int port = 0;
    bool operator==(const UrlOrigin&) const = default;
    std::string Text() const;  // "scheme://host:port", never a path, query or user part
};

// ASCII letters compared without case, as methods, header names and schemes are.
bool IEquals(std::string_view a, std::string_view b);

// A header line's value without the spaces, tabs and line ends around it.
std::string_view TrimHeaderSpace(std::string_view s);

// Whether the URL's scheme is http or https.
bool IsHttpUrl(std::string_view url);

// Nothing for a URL that is not http or https or has no host.
std::optional<UrlOrigin> OriginOf(std::string_view url);

// A Location value made absolute against the URL that answered with it.
std::string ResolveLocation(const std::string& base, const std::string& location);

// 301, 302, 303, 307 and 308: the answers whose Location is followed.
bool IsRedirectStatus(long status);

// The request to send after `current` was answered with `status` and the absolute `target`,
// `hop` redirects having been followed before. Throws HttpError when the redirect is refused:
// a target that is not http or https, more than maxRedirects, a request that carries a
// credential going to another origin, or any request going from https to http. 303, and
// 301/302 after a POST, continue as a GET without the body. Credentials the caller did not
// flag (Authorization, cookies) are dropped when the origin changes.
HttpRequest FollowRedirect(const HttpRequest& current, long status, const std::string& target,
                           int hop, int maxRedirects);

// One request on its way through its redirects, for a transport that follows them itself: the
// request of the hop to send now, and the checks each hop meets before it goes.
class RedirectWalk {
  public:
    using Clock = std::chrono::steady_clock;
    RedirectWalk(HttpRequest first, Clock::time_point deadline, int maxRedirects)
        : request_(std::move(first)), deadline_(deadline), maxRedirects_(maxRedirects) {}
    // Stays the same object from hop to hop; its fields change when a redirect is followed.
    const HttpRequest& Request() const { return request_; }
    // Before a hop: throws HttpError for a URL that is not http or https and once the deadline
    // has passed; otherwise the milliseconds left.
    long long Remaining() const;
    // After an answer: false when it is the final one; true when it redirects to the absolute
    // `target`, the next hop's request then set up (throws as FollowRedirect refuses).
    bool Follow(long status, const std::optional<std::string>& target);

  private:
    HttpRequest request_;
    Clock::time_point deadline_;
    int maxRedirects_;
    int hop_ = 0;
};

}  // namespace velmora::platform
