#pragma once

// A headless sway of the test's own, on a private runtime folder, ended with the test.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

class HeadlessSway {
  public:
    // Sway refuses to start as root (it could not give root up for good), and CI runs as root:
    // there it runs as nobody, Debian's fixed uid and gid 65534, in a folder given to nobody.
    static constexpr uid_t kNobody = 65534;

    HeadlessSway() {
        const auto& dir = dir_.path();
        config_ = (dir / "config").string();
        WriteFile(config_,
                  "output HEADLESS-1 resolution 1280x800 position 0 0\n"
                  "xwayland disable\n");
        swaySock_ = (dir / "ipc.sock").string();
        chmod(dir.c_str(), 0700);
        std::vector<std::string> args;
        if (geteuid() == 0) {
            if (chown(dir.c_str(), kNobody, kNobody) != 0 ||
                chown(config_.c_str(), kNobody, kNobody) != 0)
                return;
            args = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        }
        args.insert(args.end(), {"/usr/bin/sway", "-c", config_});
        log_ = (dir / "sway.log").string();
        const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = velmora::testing::Spawn(args,
                                       {{"XDG_RUNTIME_DIR", dir.string()},
                                        {"HOME", dir.string()},
                                        {"SWAYSOCK", swaySock_},
                                        {"WLR_BACKENDS", "headless"},
                                        {"WLR_RENDERER", "pixman"},
                                        {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                        {"WAYLAND_DISPLAY", ""},
                                        {"DISPLAY", ""}},
                                       logFd, logFd);
        if (logFd >= 0) close(logFd);
    }
    ~HeadlessSway() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (!PollUntil([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5000, 20)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // Waits (bounded) for both of sway's sockets; false when sway died or never made them.
    bool WaitReady(int timeoutMs = 15000) {
        return pid_ > 0 &&
               PollUntil(
                   [this] {
                       if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                           pid_ = -1;
                           return true;
                       }
                       waylandDisplay_ = FindWaylandSocket();
                       return !waylandDisplay_.empty() && std::filesystem::exists(swaySock_);
                   },
                   timeoutMs, 20) &&
               pid_ > 0;
    }
    const std::string& SwaySock() const { return swaySock_; }
    // An absolute path: clients need no runtime folder of sway's to reach it.
    const std::string& WaylandDisplay() const { return waylandDisplay_; }
    std::string Log() const { return ReadFile(log_); }

  private:
    std::string FindWaylandSocket() const {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path(), ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("wayland-", 0) == 0 && e.is_socket()) return e.path().string();
        }
        return {};
    }
    TempDir dir_;
    std::string config_, swaySock_, log_, waylandDisplay_;
    pid_t pid_ = -1;
};
