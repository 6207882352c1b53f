#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmora::platform {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    // Sent in this order, each once; a backend adds only what HTTP itself needs (Host, ...).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The request holds a secret (an API key in a header or the body): a redirect to another
    // origin is refused instead of followed, so the secret reaches no one else.
    bool carriesCredential = false;
};

struct HttpResponse {
    using Headers = std::vector<std::pair<std::string, std::string>>;
    // Not an aggregate, so {status, body} stays warning-free now that headers follow.
    HttpResponse() = default;
    HttpResponse(long s, std::string b, Headers h = {})
        : status(s), body(std::move(b)), headers(std::move(h)) {}

    long status = 0;
    std::string body;  // raw bytes
    // The final answer's headers in their order, names as received; values without the
    // surrounding blanks.
    Headers headers;
};

// The bounds every HTTP backend keeps to, so no request hangs the program or fills its memory.
struct HttpLimits {
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 20000;  // whole exchange, redirects included
    // Abort when fewer than lowSpeedBytes per second arrive for lowSpeedSeconds.
    long lowSpeedBytes = 1;
    long lowSpeedSeconds = 10;
    std::size_t maxBodyBytes = 8u << 20;
    int maxRedirects = 5;  // each under the rules of FollowRedirect (HttpRedirect.h)
    // Longest gap between two turns of the event loop while waiting on the network.
    int loopStepMs = 10;

    // For update files: large, and slow links must not end them.
    static HttpLimits ForDownloads() {
        HttpLimits l;
        l.totalTimeoutMs = 300'000;
        l.lowSpeedSeconds = 30;
        l.maxBodyBytes = 256u << 20;
        return l;
    }
};

// A transport failure: refused, unreachable, timed out, too large, bad redirect.
class HttpError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Synchronous HTTP for the caller. Implementations keep the event loop alive while waiting.
class IHttp {
  public:
    virtual ~IHttp() = default;
    virtual HttpResponse Send(const HttpRequest& request) = 0;  // throws HttpError
};

}  // namespace velmora::platform
