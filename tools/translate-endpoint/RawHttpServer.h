#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::tools {

// A request as it arrived: headers in arrival order with their names as sent, so a test can
// check order and duplicates (a header map would sort and merge them).
struct RawRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int connection = 0;  // 1 for the first accepted connection, and so on
    int sequence = 0;    // 1 for the first request the server received

    std::string Path() const { return target.substr(0, target.find('?')); }
    std::string Query() const;
    // First header of that name (case-insensitive), empty when absent.
    std::string Header(std::string_view name) const;
};

// Writes the answer on the request's socket. A handler may write a whole response at once or
// drip it; after the handler the connection is kept open for the next request unless it asked
// to close or a write failed.
class ResponseWriter {
  public:
    explicit ResponseWriter(int fd) : fd_(fd) {}
    // False once the peer has gone.
    bool Write(std::string_view bytes);
    void Respond(int status, std::string_view contentType, std::string_view body);
    // Blocks until the peer closes the connection (or maxMs passed), reading and dropping data.
    void WaitForPeerClose(int maxMs);
    void CloseAfter() { close_ = true; }
    bool closing() const { return close_ || failed_; }

  private:
    int fd_;
    bool close_ = false;
    bool failed_ = false;
};

const char* StatusText(int status);

// HTTP/1.1 on 127.0.0.1 with keep-alive, one thread per connection. Request bodies need a
// Content-Length (chunked requests are answered 411); sizes are bounded.
class RawHttpServer {
  public:
    using Handler = std::function<void(const RawRequest&, ResponseWriter&)>;

    explicit RawHttpServer(Handler handler) : handler_(std::move(handler)) {}
    // Binds 127.0.0.1:port (0 picks a free port); returns the bound port. Throws on failure.
    int Listen(int port);
    // Accepts connections until the process ends.
    [[noreturn]] void Run();

  private:
    void Serve(int fd, int connection);
    Handler handler_;
    int listenFd_ = -1;
    int connections_ = 0;
};

}  // namespace velmora::tools
