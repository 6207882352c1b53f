#pragma once

// Starts the translation endpoint program on a free loopback port for one test and ends it
// afterwards; reads back what it recorded.

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"
#include "support/ChildServer.h"

namespace velmora::testing {

struct RecordedRequest {
    int sequence = 0;
    int connection = 0;
    std::string method, target;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

class EndpointProcess {
  public:
    explicit EndpointProcess(std::vector<std::string> args)
        : server_(WithProgram(std::move(args))) {
        const std::string& line = server_.FirstLine();
        auto colon = line.rfind(':');
        auto slash = line.find('/', colon);
        if (colon == std::string::npos || slash == std::string::npos)
            throw std::runtime_error("translate-endpoint did not start: " + line);
        port_ = std::stoi(line.substr(colon + 1, slash - colon - 1));
    }
    EndpointProcess(const EndpointProcess&) = delete;
    EndpointProcess& operator=(const EndpointProcess&) = delete;

    int port() const { return port_; }
    std::string Url(const std::string& path = "/translate_t") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // What the endpoint recorded, read over a connection of its own.
    std::vector<RecordedRequest> Requests() const {
        platform::fake::FakeClock clock;
        platform::fake::ActionLog log;
        platform::fake::FakeEventLoop loop(clock, log);
        loop.logWaits = false;
        platform::posix::CurlHttp http(loop);
        platform::HttpRequest req;
        req.url = Url("/_requests");
        return Parse(http.Send(req).body);
    }

    static std::vector<RecordedRequest> Parse(const std::string& text) {
        std::vector<RecordedRequest> out;
        std::size_t pos = 0;
        auto line = [&]() {
            auto e = text.find('\n', pos);
            if (e == std::string::npos) throw std::runtime_error("truncated record");
            std::string l = text.substr(pos, e - pos);
            pos = e + 1;
            return l;
        };
        while (pos < text.size()) {
            RecordedRequest r;
            std::string head = line();
            char method[32], target[2048];
            if (std::sscanf(head.c_str(), "request %d connection %d %31s %2047s", &r.sequence,
                            &r.connection, method, target) != 4)
                throw std::runtime_error("bad record: " + head);
            r.method = method;
            r.target = target;
            std::string l = line();
            for (; l.rfind("header ", 0) == 0; l = line()) {
                auto colon = l.find(": ");
                if (colon == std::string::npos) throw std::runtime_error("bad header: " + l);
                r.headers.emplace_back(l.substr(7, colon - 7), l.substr(colon + 2));
            }
            if (l.rfind("body ", 0) != 0) throw std::runtime_error("bad record: " + l);
            const std::size_t n = std::stoul(l.substr(5));
            if (pos + n > text.size()) throw std::runtime_error("truncated body");
            r.body = text.substr(pos, n);
            pos += n + 1;  // the body's own line end
            if (line() != "end") throw std::runtime_error("record without end");
            out.push_back(std::move(r));
        }
        return out;
    }

  private:
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), {TRANSLATE_ENDPOINT_PATH, "--port", "0"});
        return args;
    }
    ChildServer server_;
    int port_ = 0;
};

}  // namespace velmora::testing
