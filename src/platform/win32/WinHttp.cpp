#include "platform/win32/WinHttp.h"

#include "platform/HttpRedirect.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::platform::win32 {

namespace {

using Clock = std::chrono::steady_clock;
using Headers = HttpResponse::Headers;

std::wstring FromUtf8(std::string_view s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

// Header text travels as bytes: each byte becomes one unit below 256 and back, which is how
// WinHTTP puts such units on the wire.
std::wstring Widen(std::string_view s) {
    std::wstring out;
    out.reserve(s.size());
    for (char c : s) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string Narrow(std::wstring_view s) {
    std::string out;
    out.reserve(s.size());
    for (wchar_t c : s) out.push_back(c < 256 ? static_cast<char>(c) : '?');
    return out;
}

// WinHTTP's raw header block: the status line, then one header per line.
Headers ParseHeaders(std::string_view raw) {
    Headers headers;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        auto end = raw.find('\n', pos);
        if (end == std::string_view::npos) end = raw.size();
        const std::string_view line = raw.substr(pos, end - pos);
        pos = end + 1;
        if (line.rfind("HTTP/", 0) == 0) {
            headers.clear();
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = TrimHeaderSpace(line.substr(0, colon));
        if (name.empty()) continue;
        headers.emplace_back(std::string(name),
                             std::string(TrimHeaderSpace(line.substr(colon + 1))));
    }
    return headers;
}

std::optional<std::string> Find(const Headers& headers, std::string_view name) {
    for (const auto& [n, v] : headers)
        if (IEquals(n, name)) return v;
    return std::nullopt;
}

std::string Describe(DWORD error, const std::string& url) {
    switch (error) {
        // Wine passes some socket errors through as they are.
        case ERROR_WINHTTP_TIMEOUT:
        case ERROR_TIMEOUT:
        case 10060:  // WSAETIMEDOUT
            return "HTTP request to " + url + " timed out";
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case 10061:  // WSAECONNREFUSED
            return "could not connect to " + url;
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case 10054:  // WSAECONNRESET
            return "connection to " + url + " was reset";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "host of " + url + " not found";
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
            return "invalid HTTP answer from " + url;
        case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
        case ERROR_WINHTTP_HEADER_COUNT_EXCEEDED:
            return "HTTP answer headers too large";
        case ERROR_WINHTTP_SECURE_FAILURE:
            return "secure connection to " + url + " failed";
        case ERROR_WINHTTP_INVALID_URL:
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
            return "invalid URL: " + url;
        default:
            return "HTTP request to " + url + " failed (error " + std::to_string(error) + ")";
    }
}

// One Send's state, shared by the caller's thread and the worker (which may outlive a Send
// that gave up on it).
struct Job {
    std::shared_ptr<void> session;
    WinHttp::Limits limits;
    HttpRequest request;
    Clock::time_point deadline;
    DWORD waiterThread = 0;

    std::mutex m;
    HINTERNET current = nullptr;  // the request under way, closed to cancel it
    bool cancelled = false;
    std::string cancelReason;

    std::atomic<bool> done{false};
    std::atomic<std::uint64_t> progress{0};  // bytes moved so far, for the low-speed check
    HttpResponse response;
    std::optional<std::string> error;
};

void Cancel(Job& job, std::string reason) {
    std::lock_guard lock(job.m);
    if (job.cancelled) return;
    job.cancelled = true;
    job.cancelReason = std::move(reason);
    if (job.current) {
        WinHttpCloseHandle(job.current);
        job.current = nullptr;
    }
}

struct HandleCloser {
    void operator()(void* h) const {
        if (h) WinHttpCloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The request handle, registered so that Cancel can close it; closed here unless it was.
class CurrentRequest {
  public:
    CurrentRequest(Job& job, HINTERNET h) : job_(job), h_(h) {
        std::lock_guard lock(job_.m);
        if (job_.cancelled) {
            WinHttpCloseHandle(h_);
            h_ = nullptr;
            return;
        }
        job_.current = h_;
    }
    ~CurrentRequest() {
        std::lock_guard lock(job_.m);
        if (h_ && job_.current == h_) {
            WinHttpCloseHandle(h_);
            job_.current = nullptr;
        }
    }
    CurrentRequest(const CurrentRequest&) = delete;
    CurrentRequest& operator=(const CurrentRequest&) = delete;
    HINTERNET get() const { return h_; }

  private:
    Job& job_;
    HINTERNET h_;
};

[[noreturn]] void Fail(Job& job, const std::string& text) {
    std::lock_guard lock(job.m);
    throw HttpError(job.cancelled ? job.cancelReason : text);
}

void CheckCancelled(Job& job) {
    std::lock_guard lock(job.m);
    if (job.cancelled) throw HttpError(job.cancelReason);
}

std::optional<std::wstring> QueryString(HINTERNET req, DWORD what) {
    DWORD size = 0;
    WinHttpQueryHeaders(req, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::nullopt;
    std::wstring out(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(req, what, WINHTTP_HEADER_NAME_BY_INDEX, out.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    out.resize(size / sizeof(wchar_t));
    return out;
}

HttpResponse Run(Job& job) {
    const auto& limits = job.limits;
    RedirectWalk walk(job.request, job.deadline, limits.maxRedirects);
    // The fields of the hop being sent; a followed redirect changes them.
    const std::string& method = walk.Request().method;
    const std::string& url = walk.Request().url;
    const std::string& body = walk.Request().body;
    const auto& headers = walk.Request().headers;

    for (;;) {
        const auto remaining = walk.Remaining();
        CheckCancelled(job);

        const std::wstring wurl = FromUtf8(url);
        URL_COMPONENTS uc{};
        uc.dwStructSize = sizeof uc;
        uc.dwSchemeLength = static_cast<DWORD>(-1);
        uc.dwHostNameLength = static_cast<DWORD>(-1);
        uc.dwUrlPathLength = static_cast<DWORD>(-1);
        uc.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(wurl.c_str(), static_cast<DWORD>(wurl.size()), 0, &uc) ||
            uc.dwHostNameLength == 0)
            throw HttpError("invalid URL: " + url);
        const std::wstring host(uc.lpszHostName, uc.dwHostNameLength);
        std::wstring path(uc.lpszUrlPath, uc.dwUrlPathLength);
        if (uc.lpszExtraInfo) path.append(uc.lpszExtraInfo, uc.dwExtraInfoLength);
        if (path.empty()) path = L"/";

        Handle connect(WinHttpConnect(job.session.get(), host.c_str(), uc.nPort, 0));
        if (!connect) Fail(job, Describe(GetLastError(), url));
        const std::wstring wmethod = Widen(method);
        CurrentRequest req(
            job, WinHttpOpenRequest(connect.get(), wmethod.c_str(), path.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                    uc.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
        if (!req.get()) Fail(job, Describe(GetLastError(), url));

        // Redirects are followed below, so each hop's scheme and headers are ours to check.
        DWORD disable =
            WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
        WinHttpSetOption(req.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
        const int rem = static_cast<int>(std::min<long long>(remaining, INT_MAX));
        const int stall =
            static_cast<int>(std::min<long long>(limits.lowSpeedSeconds * 1000LL, rem));
        WinHttpSetTimeouts(req.get(), rem,
                           static_cast<int>(std::min<long>(limits.connectTimeoutMs, rem)), rem,
                           stall);
        // Waiting for the answer's headers has a timeout of its own (Wine ignores the above).
        DWORD answerWait = static_cast<DWORD>(stall);
        WinHttpSetOption(req.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answerWait,
                         sizeof answerWait);

        // The caller's headers in their order; WinHTTP adds Host, Content-Length and the like.
        std::wstring lines;
        for (const auto& [name, value] : headers)
            lines += Widen(name) + L": " + Widen(value) + L"\r\n";
        if (!WinHttpSendRequest(
                req.get(), lines.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : lines.c_str(),
                lines.empty() ? 0 : static_cast<DWORD>(-1),
                body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0))
            Fail(job, Describe(GetLastError(), url));
        job.progress += body.size();
        if (!WinHttpReceiveResponse(req.get(), nullptr)) Fail(job, Describe(GetLastError(), url));
        CheckCancelled(job);

        DWORD status = 0;
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                 WINHTTP_NO_HEADER_INDEX))
            Fail(job, "invalid HTTP answer from " + url);
        const auto raw = QueryString(req.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF);
        Headers answer = raw ? ParseHeaders(Narrow(*raw)) : Headers{};
        job.progress += raw ? raw->size() : 1;

        const auto location = Find(answer, "Location");
        const bool hasTarget = location && !location->empty();
        if (walk.Follow(status,
                        hasTarget ? std::optional(ResolveLocation(url, *location)) : std::nullopt))
            continue;

        const std::string tooLarge =
            "HTTP answer larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
        if (const auto length = Find(answer, "Content-Length")) {
            try {
                if (std::stoull(*length) > limits.maxBodyBytes) throw HttpError(tooLarge);
            } catch (const std::logic_error&) {
            }
        }
        std::string received;
        std::vector<char> buffer(64u << 10);
        while (true) {
            DWORD n = 0;
            if (!WinHttpReadData(req.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n))
                Fail(job, Describe(GetLastError(), url));
            if (n == 0) break;
            if (received.size() + n > limits.maxBodyBytes) throw HttpError(tooLarge);
            received.append(buffer.data(), n);
            job.progress += n;
            CheckCancelled(job);
        }
        return HttpResponse{static_cast<long>(status), std::move(received), std::move(answer)};
    }
}

// Gives the worker up when Send leaves early (an exception from the event loop).
struct WorkerGuard {
    std::shared_ptr<Job> job;
    std::thread thread;
    ~WorkerGuard() {
        if (!thread.joinable()) return;
        Cancel(*job, "HTTP request abandoned");
        thread.detach();
    }
};

}  // namespace

WinHttp::WinHttp(IEventLoop& loop) : WinHttp(loop, Limits{}) {}

WinHttp::WinHttp(IEventLoop& loop, Limits limits) : loop_(loop), limits_(limits) {
    // No proxy look-up: automatic discovery would delay every first request, loopback included.
    HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) throw HttpError("cannot open an HTTP session");
    session_.reset(session, HandleCloser{});
    // Older systems offer only TLS 1.0 unless asked.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                      WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
}

WinHttp::~WinHttp() = default;

HttpResponse WinHttp::Send(const HttpRequest& request) {
    auto job = std::make_shared<Job>();
    job->session = session_;
    job->limits = limits_;
    job->request = request;
    job->deadline = Clock::now() + std::chrono::milliseconds(limits_.totalTimeoutMs);
    job->waiterThread = GetCurrentThreadId();

    WorkerGuard guard{job, std::thread([job] {
                          try {
                              job->response = Run(*job);
                          } catch (const HttpError& e) {
                              job->error = e.what();
                          } catch (const std::exception& e) {
                              job->error = std::string("HTTP request failed: ") + e.what();
                          }
                          job->done = true;
                          // Ends a message wait on the caller's thread early.
                          PostThreadMessageW(job->waiterThread, WM_NULL, 0, 0);
                      })};

    // Progress samples of the last lowSpeedSeconds, for the low-speed check.
    const auto window = std::chrono::seconds(limits_.lowSpeedSeconds);
    const std::uint64_t minBytes =
        static_cast<std::uint64_t>(std::max(0L, limits_.lowSpeedBytes)) *
        static_cast<std::uint64_t>(std::max(0L, limits_.lowSpeedSeconds));
    std::deque<std::pair<Clock::time_point, std::uint64_t>> samples;
    std::optional<Clock::time_point> cancelledAt;
    const auto isDone = [&] { return job->done.load(); };
    while (!isDone()) {
        loop_.WaitUntil(isDone, limits_.loopStepMs);
        if (isDone()) break;
        if (loop_.CancelRequested()) {
            // The worker is given up as on any early leave; its handles are closed.
            Cancel(*job, "cancelled by the user");
            throw Cancelled();
        }
        const auto now = Clock::now();
        if (cancelledAt) {
            // A blocked call that does not notice the closed handle ends by its own timeout;
            // the caller is not kept waiting for it.
            if (now - *cancelledAt > std::chrono::seconds(2)) {
                std::lock_guard lock(job->m);
                throw HttpError(job->cancelReason);
            }
            continue;
        }
        if (now >= job->deadline) {
            Cancel(*job, "HTTP request to " + request.url + " timed out");
            cancelledAt = now;
            continue;
        }
        if (limits_.lowSpeedSeconds > 0) {
            samples.emplace_back(now, job->progress.load());
            while (samples.size() > 1 && samples[1].first <= now - window) samples.pop_front();
            if (samples.front().first <= now - window &&
                samples.back().second - samples.front().second < minBytes) {
                Cancel(*job, "HTTP transfer from " + request.url + " too slow");
                cancelledAt = now;
            }
        }
    }
    guard.thread.join();
    if (job->error) throw HttpError(*job->error);
    return std::move(job->response);
}

}  // namespace velmora::platform::win32
