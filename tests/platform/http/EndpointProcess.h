#pragma once

// Starts the translation endpoint program on a free loopback port for one test and ends it
// afterwards; reads back what it recorded.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"

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
    explicit EndpointProcess(std::vector<std::string> args) {
        args.insert(args.begin(), {TRANSLATE_ENDPOINT_PATH, "--port", "0"});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) < 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0 || read(out[0], &c, 1) != 1) break;
            line += c;
        }
        close(out[0]);
        auto colon = line.rfind(':');
        auto slash = line.find('/', colon);
        if (colon == std::string::npos || slash == std::string::npos)
            throw std::runtime_error("translate-endpoint did not start: " + line);
        port_ = std::stoi(line.substr(colon + 1, slash - colon - 1));
    }
    ~EndpointProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
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
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace velmora::testing
