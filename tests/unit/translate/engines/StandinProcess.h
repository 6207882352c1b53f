#pragma once

// Starts engine-standin on a free loopback port for one test and ends it afterwards; reads
// back what it recorded and sets its fault rules.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"

namespace velmora::testing {

class StandinProcess {
  public:
    explicit StandinProcess(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {ENGINE_STANDIN_PATH, "--port", "0"});
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
        if (line.rfind("listening on ", 0) != 0) {
            Stop();
            throw std::runtime_error("engine-standin did not start: " + line);
        }
        port_ = std::stoi(line.substr(13));
    }
    ~StandinProcess() { Stop(); }
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Every API request the stand-in received, oldest first; the record is emptied.
    nlohmann::json TakeRequests() {
        return nlohmann::json::parse(Call("GET", "/_requests?clear=1", ""));
    }

    // Adds a fault rule (see engine-standin --help).
    void Rule(const nlohmann::json& rule) { Call("POST", "/_control", rule.dump()); }

  private:
    std::string Call(const std::string& method, const std::string& path, const std::string& body) {
        platform::HttpRequest req;
        req.method = method;
        req.url = Url(path);
        req.body = body;
        auto res = http_.Send(req);
        if (res.status != 200)
            throw std::runtime_error("stand-in refused " + path + ": " + res.body);
        return res.body;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    int port_ = 0;
    platform::fake::FakeClock clock_;
    platform::fake::ActionLog log_;
    platform::fake::FakeEventLoop loop_{clock_, log_};
    platform::posix::CurlHttp http_{loop_};
};

}  // namespace velmora::testing
