#pragma once

// wl-copy and wl-paste, the clipboard's other programs, against a headless sway.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "HeadlessSway.h"
#include "support/PollUntil.h"
#include "support/TempDir.h"

extern char** environ;

struct ToolRun {
    int status = -1;  // the exit code; -1 when it did not end in time
    std::string out;
};

// Starts args[0] (found on PATH) on sway's display, standard input from stdinPath when given,
// standard output into stdoutFd when given.
inline pid_t StartTool(const HeadlessSway& sway, const TempDir& runtime,
                       const std::vector<std::string>& args, const std::string& stdinPath = {},
                       int stdoutFd = -1) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "WAYLAND_DISPLAY" && name != "XDG_RUNTIME_DIR" && name != "DISPLAY")
            env.push_back(entry);
    }
    env.push_back("WAYLAND_DISPLAY=" + sway.WaylandDisplay());
    env.push_back("XDG_RUNTIME_DIR=" + runtime.path().string());
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, 0, stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY, 0);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Runs a tool to its end (killed after timeoutMs) and keeps what it printed.
inline ToolRun RunTool(const HeadlessSway& sway, const TempDir& runtime,
                       const std::vector<std::string>& args, int timeoutMs = 10000) {
    ToolRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return run;
    const pid_t pid = StartTool(sway, runtime, args, {}, fds[1]);
    close(fds[1]);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        const ssize_t n = read(fds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        run.out.append(chunk, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (pid <= 0) return run;
    int status = 0;
    if (PollUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 5000, 5)) {
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    } else {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return run;
}

// wl-copy in the foreground, holding the selection until another takes it or the object ends.
class WlCopy {
  public:
    WlCopy(const HeadlessSway& sway, const TempDir& runtime, const std::string& type,
           const std::string& bytes) {
        const auto file = runtime.path() / ("copy-" + std::to_string(++count_));
        WriteFile(file, bytes);
        pid_ = StartTool(sway, runtime, {"wl-copy", "--foreground", "--type", type}, file.string());
    }
    ~WlCopy() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (!PollUntil([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 3000, 5)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    WlCopy(const WlCopy&) = delete;
    WlCopy& operator=(const WlCopy&) = delete;

  private:
    pid_t pid_ = -1;
    static inline int count_ = 0;
};
