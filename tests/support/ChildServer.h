#pragma once

// A stand-in server program started for one test: its first line on standard output (which
// names its port) is read with a bound, and the process is ended with the test.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::testing {

class ChildServer {
  public:
    explicit ChildServer(std::vector<std::string> args) {
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
        char c;
        while (firstLine_.find('\n') == std::string::npos) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0 || read(out[0], &c, 1) != 1) break;
            firstLine_ += c;
        }
        close(out[0]);
    }
    ~ChildServer() { Stop(); }
    ChildServer(const ChildServer&) = delete;
    ChildServer& operator=(const ChildServer&) = delete;

    const std::string& FirstLine() const { return firstLine_; }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    std::string firstLine_;
};

}  // namespace velmora::testing
