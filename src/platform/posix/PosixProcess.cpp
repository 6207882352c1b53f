#include "platform/posix/PosixProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace velmora::platform::posix {

namespace fs = std::filesystem;

namespace {

// Only async-signal-safe calls from here on: the parent may have other threads.
[[noreturn]] void RunScript(const char* script, const char* pid, int errorFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) signal(sig, SIG_DFL);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        if (devnull > 2) close(devnull);
    }
    // Everything but stdio and the error pipe (which closes itself on exec).
    if (errorFd > 3) close_range(3, errorFd - 1, 0);
    close_range(errorFd + 1, ~0u, 0);
    const char* argv[] = {"sh", script, pid, nullptr};
    execv("/bin/sh", const_cast<char* const*>(argv));
    int err = errno;
    (void)!write(errorFd, &err, sizeof err);
    _exit(127);
}

}  // namespace

fs::path PosixProcess::Executable() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) exe = fs::current_path(ec) / "velmora";
    return exe;
}

bool PosixProcess::StartDetachedScript(const fs::path& script) {
    std::error_code ec;
    if (!fs::is_regular_file(script, ec)) return false;
    const std::string scriptArg = script.string();
    const std::string pidArg = std::to_string(getpid());
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    if (pipeFds[1] < 3) {
        // Standard descriptors are replaced in the child; keep the error pipe clear of them.
        int moved = fcntl(pipeFds[1], F_DUPFD_CLOEXEC, 3);
        close(pipeFds[1]);
        if (moved < 0) {
            close(pipeFds[0]);
            return false;
        }
        pipeFds[1] = moved;
    }

    pid_t child = fork();
    if (child < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        close(pipeFds[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) RunScript(scriptArg.c_str(), pidArg.c_str(), pipeFds[1]);
        if (grandchild < 0) {
            int err = errno;
            (void)!write(pipeFds[1], &err, sizeof err);
        }
        _exit(0);
    }
    close(pipeFds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // End of file without data: the shell was executed.
    int err = 0;
    ssize_t n;
    while ((n = read(pipeFds[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    close(pipeFds[0]);
    return n == 0;
}

void PosixProcess::ExitNow(int code) {
    FlushStreams();
    std::_Exit(code);
}

}  // namespace velmora::platform::posix
