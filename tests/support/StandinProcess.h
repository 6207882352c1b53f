#pragma once

// Starts engine-standin on a free loopback port for one test and ends it afterwards; reads
// back what it recorded and sets its fault rules.

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"
#include "support/ChildServer.h"

namespace velmora::testing {

class StandinProcess {
  public:
    explicit StandinProcess(std::vector<std::string> args = {})
        : server_(WithProgram(std::move(args))) {
        const std::string& line = server_.FirstLine();
        if (line.rfind("listening on ", 0) != 0)
            throw std::runtime_error("engine-standin did not start: " + line);
        port_ = std::stoi(line.substr(13));
    }
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
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), {ENGINE_STANDIN_PATH, "--port", "0"});
        return args;
    }

    ChildServer server_;
    int port_ = 0;
    platform::fake::FakeClock clock_;
    platform::fake::ActionLog log_;
    platform::fake::FakeEventLoop loop_{clock_, log_};
    platform::posix::CurlHttp http_{loop_};
};

}  // namespace velmora::testing
