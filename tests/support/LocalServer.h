#pragma once

// A cpp-httplib server on a free loopback port, run on a thread for one test.

#include <httplib.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace velmora::testing {

class LocalServer {
  public:
    explicit LocalServer(const std::function<void(httplib::Server&)>& routes) {
        routes(server_);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ~LocalServer() {
        server_.stop();
        thread_.join();
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int Port() const { return port_; }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace velmora::testing
