#pragma once

#include <cstddef>
#include <memory>

#include "platform/IEventLoop.h"
#include "platform/IHttp.h"

namespace velmora::platform::posix {

// IHttp over libcurl. Sequential requests share one connection cache (and DNS cache), so a
// run of translation pieces travels over one TCP connection. While a request is under way the
// event loop keeps being served in small steps, so the window never freezes; a request made
// from inside such a step (a nested handler) runs on its own handles and leaves the outer one
// undisturbed. Every request is bounded in time and size; any transport failure throws
// HttpError.
class CurlHttp : public IHttp {
  public:
    using Limits = HttpLimits;

    explicit CurlHttp(IEventLoop& loop);
    CurlHttp(IEventLoop& loop, Limits limits);
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    HttpResponse Send(const HttpRequest& request) override;

    const Limits& limits() const { return limits_; }

  private:
    struct Impl;
    IEventLoop& loop_;
    Limits limits_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora::platform::posix
