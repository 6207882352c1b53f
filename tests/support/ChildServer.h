#pragma once

// A stand-in server program started for one test: its first line on standard output (which
// names its port) is read with a bound, and the process is ended with the test.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/Spawn.h"

namespace velmora::testing {

class ChildServer {
  public:
    explicit ChildServer(const std::vector<std::string>& args) {
        int out[2];
        // Close-on-exec: no other child started meanwhile keeps the write end open.
        if (pipe2(out, O_CLOEXEC) < 0) throw std::runtime_error("pipe");
        pid_ = Spawn(args, {}, out[1]);
        if (pid_ < 0) {
            close(out[0]);
            close(out[1]);
            throw std::runtime_error("cannot start " + args.at(0));
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
