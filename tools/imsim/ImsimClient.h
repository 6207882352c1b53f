#pragma once

// Starts imsim and talks to its control socket, for tests and demos. POSIX only, no Qt.

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ControlProtocol.h"

namespace imsim {

struct ControlRect {
    int x = 0, y = 0, width = 0, height = 0;
    long window = 0;  // the control's own X window
};

struct ImsimGeometry {
    long window = 0;   // the chat window
    int x = 0, y = 0;  // its origin on the screen, as the chat window believes it
    ControlRect input, history, send;
};

struct SentEntry {
    long long atMs = 0;
    std::string text;
};

class ImsimClient {
  public:
    explicit ImsimClient(std::string socketPath) : path_(std::move(socketPath)) {}

    // One request, one answer; nullopt when the program does not answer in time or says err.
    std::optional<std::string> Request(const std::string& line, int timeoutMs = 5000) const {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return std::nullopt;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof(addr.sun_path) - 1);
        std::optional<std::string> result;
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            std::string out = line + "\n";
            // A program gone meanwhile fails the request; without MSG_NOSIGNAL its closed
            // socket would kill the caller with SIGPIPE and no word (seen once in CI).
            if (send(fd, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size()))
                result = ReadReply(fd, timeoutMs);
        }
        close(fd);
        return result;
    }

    bool Post(const std::string& text) const { return Request("post " + Escape(text)).has_value(); }
    bool SetInput(const std::string& text) const {
        return Request("set-input " + Escape(text)).has_value();
    }
    std::string History() const { return Request("history").value_or(""); }
    std::string Input() const { return Request("input").value_or(""); }
    std::vector<SentEntry> Sent() const {
        std::vector<SentEntry> out;
        std::istringstream in(Request("sent").value_or(""));
        std::string line;
        while (std::getline(in, line)) {
            auto tab = line.find('\t');
            if (tab == std::string::npos) continue;
            out.push_back(
                {std::atoll(line.substr(0, tab).c_str()), Unescape(line.substr(tab + 1))});
        }
        return out;
    }
    std::optional<ImsimGeometry> Geometry() const {
        auto text = Request("geometry");
        if (!text) return std::nullopt;
        ImsimGeometry g;
        std::istringstream in(*text);
        std::string name;
        while (in >> name) {
            if (name == "window") {
                in >> g.window >> g.x >> g.y;
                continue;
            }
            ControlRect r;
            in >> r.x >> r.y >> r.width >> r.height >> r.window;
            if (name == "input") g.input = r;
            if (name == "history") g.history = r;
            if (name == "send") g.send = r;
        }
        return g;
    }
    // Whether the window has the keyboard focus (so it is on the screen).
    bool Active() const { return Request("active").value_or("") == "1"; }
    bool Quit() const { return Request("quit").has_value(); }

  private:
    static std::optional<std::string> ReadReply(int fd, int timeoutMs) {
        std::string data;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto readMore = [&]() -> bool {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) return false;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
            char buf[65536];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) return false;
            data.append(buf, static_cast<size_t>(n));
            return true;
        };
        size_t eol;
        while ((eol = data.find('\n')) == std::string::npos)
            if (!readMore()) return std::nullopt;
        std::string head = data.substr(0, eol);
        if (head.rfind("ok ", 0) != 0) return std::nullopt;
        size_t n = std::strtoul(head.c_str() + 3, nullptr, 10);
        while (data.size() - eol - 1 < n)
            if (!readMore()) return std::nullopt;
        return data.substr(eol + 1, n);
    }
    std::string path_;
};

// One running imsim; ended (and reaped) with the object.
class ImsimProcess {
  public:
    // binary: the imsim executable; args: its options besides --control.
    ImsimProcess(const std::string& binary, const std::string& socketPath,
                 std::vector<std::string> args)
        : client_(socketPath) {
        unlink(socketPath.c_str());
        args.insert(args.begin(), {binary, "--control", socketPath});
        // Built before the fork: a threaded parent's child may only exec, not allocate.
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~ImsimProcess() {
        if (pid_ <= 0) return;
        client_.Request("quit", 1000);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    ImsimProcess(const ImsimProcess&) = delete;
    ImsimProcess& operator=(const ImsimProcess&) = delete;

    // Waits until the window is up and answers on its socket.
    bool WaitReady(int timeoutMs = 10000) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (pid_ <= 0 || waitpid(pid_, nullptr, WNOHANG) == pid_) return false;
            auto g = client_.Geometry();
            if (g && g->window != 0 && g->input.width > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    const ImsimClient& client() const { return client_; }
    pid_t pid() const { return pid_; }

  private:
    ImsimClient client_;
    pid_t pid_ = -1;
};

}  // namespace imsim
