#pragma once

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

}  // namespace velmora::platform
