#pragma once

#include <cstddef>
#include <memory>

#include "platform/IEventLoop.h"
#include "platform/IHttp.h"

namespace velmora::platform::win32 {

// IHttp over WinHTTP. One session serves every request, so sequential requests to one server
// reuse its connection. Each exchange runs on a worker thread while the calling thread keeps
// the event loop turning in short steps; a request made from inside such a step simply runs
// beside the outer one. Redirects are followed here (at most maxRedirects, http and https only),
// no proxy is looked up, and every request is bounded in time and size: a transport failure
// throws HttpError.
class WinHttp : public IHttp {
  public:
    using Limits = HttpLimits;

    explicit WinHttp(IEventLoop& loop);
    WinHttp(IEventLoop& loop, Limits limits);
    ~WinHttp() override;
    WinHttp(const WinHttp&) = delete;
    WinHttp& operator=(const WinHttp&) = delete;

    HttpResponse Send(const HttpRequest& request) override;

    const Limits& limits() const { return limits_; }

  private:
    IEventLoop& loop_;
    Limits limits_;
    // The WinHTTP session, shared with workers that may outlive a cancelled Send.
    std::shared_ptr<void> session_;
};

}  // namespace velmora::platform::win32
