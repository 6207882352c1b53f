#include "platform/posix/CurlHttp.h"

#include <atomic>

#include "platform/HttpRedirect.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ShareDeleter {
    void operator()(CURLSH* s) const { curl_share_cleanup(s); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

struct Transfer {
    std::string body;
    std::size_t cap = 0;
    bool overflow = false;
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t headerBytes = 0;
    bool headerOverflow = false;
};

// Header bytes kept per answer; a server sending more is cut off like an oversized body.
constexpr std::size_t kMaxHeaderBytes = 256u << 10;

// Called once per header line, the status line and the blank line included. A status line
// starts a new answer (after a 1xx), so only the last answer's headers remain.
size_t WriteHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->headerBytes += n;
    if (t->headerBytes > kMaxHeaderBytes) {
        t->headerOverflow = true;
        return 0;
    }
    const std::string_view line(data, n);
    if (line.rfind("HTTP/", 0) == 0) {
        t->headers.clear();
        return n;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return n;
    const std::string_view name = TrimHeaderSpace(line.substr(0, colon));
    if (name.empty()) return n;
    t->headers.emplace_back(std::string(name),
                            std::string(TrimHeaderSpace(line.substr(colon + 1))));
    return n;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->body.size() + n > t->cap) {
        t->overflow = true;
        return 0;  // makes curl abort the transfer at once
    }
    t->body.append(data, n);
    return n;
}

}  // namespace

struct CurlHttp::Impl {
    std::unique_ptr<CURLSH, ShareDeleter> share;
    std::mutex locks[CURL_LOCK_DATA_LAST];
    // Handles kept between requests; a request made while they are in use (nested in another's
    // wait, or on another thread) makes its own.
    EasyPtr easy;
    MultiPtr multi;
    std::atomic<bool> cachedInUse = false;

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<Impl*>(user)->locks[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* user) {
        static_cast<Impl*>(user)->locks[data].unlock();
    }
};

CurlHttp::CurlHttp(IEventLoop& loop) : CurlHttp(loop, Limits{}) {}

CurlHttp::CurlHttp(IEventLoop& loop, Limits limits)
    : loop_(loop), limits_(limits), impl_(std::make_unique<Impl>()) {
    GlobalInit();
    impl_->share.reset(curl_share_init());
    if (!impl_->share) throw HttpError("cannot create the HTTP connection cache");
    CURLSH* sh = impl_->share.get();
    curl_share_setopt(sh, CURLSHOPT_LOCKFUNC, &Impl::Lock);
    curl_share_setopt(sh, CURLSHOPT_UNLOCKFUNC, &Impl::Unlock);
    curl_share_setopt(sh, CURLSHOPT_USERDATA, impl_.get());
    curl_share_setopt(sh, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(sh, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
}

CurlHttp::~CurlHttp() {
    // Easy handles go before the share they use.
    impl_->multi.reset();
    impl_->easy.reset();
}

HttpResponse CurlHttp::Send(const HttpRequest& request) {
    const bool cached = !impl_->cachedInUse.exchange(true);
    struct Release {
        std::atomic<bool>* flag;
        ~Release() {
            if (flag) flag->store(false);
        }
    } release{cached ? &impl_->cachedInUse : nullptr};

    EasyPtr ownEasy;
    MultiPtr ownMulti;
    CURL* easy;
    CURLM* multi;
    if (cached) {
        if (!impl_->easy) impl_->easy.reset(curl_easy_init());
        if (!impl_->multi) impl_->multi.reset(curl_multi_init());
        easy = impl_->easy.get();
        multi = impl_->multi.get();
        if (easy) curl_easy_reset(easy);
    } else {
        ownEasy.reset(curl_easy_init());
        ownMulti.reset(curl_multi_init());
        easy = ownEasy.get();
        multi = ownMulti.get();
    }
    if (!easy || !multi) throw HttpError("cannot create an HTTP request");

    RedirectWalk walk(request, Clock::now() + std::chrono::milliseconds(limits_.totalTimeoutMs),
                      limits_.maxRedirects);
    const HttpRequest& hop = walk.Request();

    for (;;) {
        const auto remaining = walk.Remaining();

        curl_easy_reset(easy);
        Transfer transfer;
        transfer.cap = limits_.maxBodyBytes;
        char errbuf[CURL_ERROR_SIZE] = {};

        curl_easy_setopt(easy, CURLOPT_URL, hop.url.c_str());
        curl_easy_setopt(easy, CURLOPT_SHARE, impl_->share.get());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errbuf);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        // Redirects are followed below, so each hop's scheme and headers are ours to check.
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         std::min<long>(limits_.connectTimeoutMs, remaining));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining));
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytes);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits_.lowSpeedSeconds);
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(limits_.maxBodyBytes));
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &WriteHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);

        if (IEquals(hop.method, "GET")) {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (IEquals(hop.method, "POST")) {
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(hop.body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, hop.body.data());
        } else if (IEquals(hop.method, "HEAD")) {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
            if (!hop.body.empty()) {
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(hop.body.size()));
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, hop.body.data());
            }
        }

        // The caller's headers in their order. curl adds Host itself; its own Accept and
        // "Expect: 100-continue" (which costs a round trip on larger bodies) are switched off.
        curl_slist* raw = nullptr;
        bool hasAccept = false;
        for (const auto& [name, value] : hop.headers) {
            if (IEquals(name, "Accept")) hasAccept = true;
            std::string line = value.empty() ? name + ";" : name + ": " + value;
            raw = curl_slist_append(raw, line.c_str());
        }
        if (!hasAccept) raw = curl_slist_append(raw, "Accept:");
        raw = curl_slist_append(raw, "Expect:");
        SlistPtr list(raw);
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list.get());

        if (curl_multi_add_handle(multi, easy) != CURLM_OK)
            throw HttpError("cannot start an HTTP request");
        struct Detach {
            CURLM* m;
            CURL* e;
            ~Detach() { curl_multi_remove_handle(m, e); }
        } detach{multi, easy};

        // Serve the event loop between short waits on the sockets.
        auto lastYield = Clock::now();
        int running = 1;
        while (true) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                throw HttpError("HTTP transfer failed");
            if (!running) break;
            curl_multi_poll(multi, nullptr, 0, limits_.loopStepMs, nullptr);
            if (Clock::now() - lastYield >= std::chrono::milliseconds(limits_.loopStepMs)) {
                loop_.Yield();
                lastYield = Clock::now();
            }
            // Abandoned: the handle is detached and the connection closed on the way out.
            if (loop_.CancelRequested()) throw Cancelled();
        }
        CURLcode result = CURLE_OK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) result = msg->data.result;
        }
        if (transfer.headerOverflow) throw HttpError("HTTP answer headers too large");
        if (transfer.overflow || result == CURLE_FILESIZE_EXCEEDED)
            throw HttpError("HTTP answer larger than " + std::to_string(limits_.maxBodyBytes) +
                            " bytes");
        if (result != CURLE_OK) {
            std::string what = errbuf[0] ? errbuf : curl_easy_strerror(result);
            throw HttpError("HTTP request to " + hop.url + " failed: " + what);
        }

        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr;
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
        if (!walk.Follow(status, location ? std::optional<std::string>(location) : std::nullopt))
            return HttpResponse{status, std::move(transfer.body), std::move(transfer.headers)};
    }
}

}  // namespace velmora::platform::posix
