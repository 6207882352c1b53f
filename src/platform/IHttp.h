#pragma once

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
};

struct HttpResponse {
    long status = 0;
    std::string body;  // raw bytes
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
