#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildServer.h"

// The vendor server stand-in, started on a free loopback port for one test and stopped after.
class VendorServer {
  public:
    explicit VendorServer(std::vector<std::string> args) : server_(WithProgram(std::move(args))) {
        const std::string& line = server_.FirstLine();
        auto colon = line.rfind(':');
        if (line.find("listening") == std::string::npos || colon == std::string::npos)
            throw std::runtime_error("vendor-server did not start: " + line);
        port_ = std::stoi(line.substr(colon + 1));
    }
    VendorServer(const VendorServer&) = delete;
    VendorServer& operator=(const VendorServer&) = delete;

    void Stop() { server_.Stop(); }
    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

    // The request lines the server has recorded ("GET /version.php?id=...").
    std::vector<std::string> Requests() const {
        std::string body = Get("/_requests");
        std::vector<std::string> lines;
        std::size_t pos = 0;
        while (pos < body.size()) {
            std::size_t end = body.find('\n', pos);
            if (end == std::string::npos) end = body.size();
            if (end > pos) lines.push_back(body.substr(pos, end - pos));
            pos = end + 1;
        }
        return lines;
    }

    // A plain HTTP/1.0 GET; the body, or empty on failure.
    std::string Get(const std::string& target) const {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval bound{10, 0};  // a stuck server fails the test instead of hanging it
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        std::string resp;
        if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            std::string req = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
            (void)!write(s, req.data(), req.size());
            char buf[4096];
            ssize_t n;
            while ((n = read(s, buf, sizeof buf)) > 0) resp.append(buf, static_cast<size_t>(n));
        }
        close(s);
        auto split = resp.find("\r\n\r\n");
        return split == std::string::npos ? std::string() : resp.substr(split + 4);
    }

  private:
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        const char* build = std::getenv("VELMORA_BUILD_DIR");
        args.insert(args.begin(),
                    {std::string(build ? build : ".") + "/tools/vendor-server/vendor-server",
                     "--port", "0"});
        return args;
    }

    velmora::testing::ChildServer server_;
    int port_ = 0;
};
