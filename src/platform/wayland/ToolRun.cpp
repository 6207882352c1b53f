#include "platform/wayland/ToolRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace velmora::platform::wayland {

namespace {

// A file descriptor closed with the object.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

// The input as a file of its own: the tool reads it at its own pace, and a tool that does not
// start leaves no writer blocked on a pipe.
int InputFile(const std::string& input) {
    const int fd = memfd_create("velmora-tool-input", MFD_CLOEXEC);
    if (fd < 0) return -1;
    std::size_t done = 0;
    while (done < input.size()) {
        const ssize_t n = write(fd, input.data() + done, input.size() - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

ToolResult RunTool(IEventLoop& loop, const ToolRequest& request) {
    ToolResult result;
    if (request.args.empty()) return result;
    Fd in(InputFile(request.input));
    int pipeFds[2] = {-1, -1};
    if (in.get() < 0 || (request.readOutput && pipe2(pipeFds, O_CLOEXEC) != 0)) return result;
    Fd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
    // Only our end waits for nothing: the tool's end blocks, as a tool expects of its output
    // (a full pipe would otherwise end its writing early).
    if (readEnd.get() >= 0 && fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0) return result;

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& kv : request.env) replaced = replaced || kv.first == name;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : request.env) env.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (const auto& a : request.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.get(), 0);
    if (request.readOutput)
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Reset();
    if (rc != 0) return result;

    int status = 0;
    bool ended = false, eof = !request.readOutput;
    auto drain = [&] {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(readEnd.get(), buffer, sizeof buffer);
            if (n == 0) eof = true;
            if (n <= 0) return;
            if (result.out.size() + static_cast<std::size_t>(n) > request.maxOutput) {
                eof = true;  // too much: what came is not used
                result.out.clear();
                return;
            }
            result.out.append(buffer, static_cast<std::size_t>(n));
        }
    };
    loop.WaitUntil(
        [&] {
            if (!eof) drain();
            if (!ended) ended = waitpid(pid, &status, WNOHANG) == pid;
            return ended && eof;
        },
        request.timeoutMs);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return {};
    }
    if (!eof) return {};
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace velmora::platform::wayland
