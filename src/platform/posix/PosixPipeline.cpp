#include "platform/posix/PosixPipeline.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

namespace velmora::platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

// Between two slices the event loop gets to dispatch.
constexpr int kSliceMs = 10;
// Output kept while a write is still going on, whatever the reader later allows.
constexpr std::size_t kMaxPending = 64u << 20;
constexpr std::size_t kChunk = 64u << 10;

Clock::time_point DeadlineIn(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

int MsUntil(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    // Round up, so a wait never ends a fraction of a millisecond early and spins.
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

// Blocks SIGPIPE for this thread while writing, and swallows one raised by our own write:
// a program that ended must not end us.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &old_);
    }
    ~SigpipeBlock() {
        if (!wasPending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec zero{};
                while (sigtimedwait(&pipeOnly_, nullptr, &zero) < 0 && errno == EINTR) {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t pipeOnly_;
    sigset_t old_;
    bool wasPending_ = false;
};

// A pipe whose ends close on exec and never take the standard descriptors' numbers (the
// children's 0, 1 and 2 are set from them).
bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    for (int& fd : fds) {
        if (fd < 3) {
            int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
            close(fd);
            fd = moved;
        }
    }
    readEnd = UniqueFd(fds[0]);
    writeEnd = UniqueFd(fds[1]);
    return readEnd && writeEnd;
}

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

struct SpawnFileActions {
    posix_spawn_file_actions_t a;
    SpawnFileActions() { posix_spawn_file_actions_init(&a); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&a); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
};

struct SpawnAttr {
    posix_spawnattr_t a;
    SpawnAttr() { posix_spawnattr_init(&a); }
    ~SpawnAttr() { posix_spawnattr_destroy(&a); }
    SpawnAttr(const SpawnAttr&) = delete;
    SpawnAttr& operator=(const SpawnAttr&) = delete;
};

// Starts argv with stdin and stdout on the given descriptors and stderr on /dev/null, in
// process group `group` (0: a new group led by the child). Returns 0 or an errno value.
int Spawn(const Argv& argv, int in, int out, pid_t group, pid_t& pid) {
    SpawnFileActions fa;
    posix_spawn_file_actions_adddup2(&fa.a, in, 0);
    posix_spawn_file_actions_adddup2(&fa.a, out, 1);
    posix_spawn_file_actions_addopen(&fa.a, 2, "/dev/null", O_WRONLY, 0);
    // Descriptors other code of this process opened without O_CLOEXEC stay with us.
    posix_spawn_file_actions_addclosefrom_np(&fa.a, 3);

    SpawnAttr at;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    // Ignored signals survive exec; the children get the usual dispositions back.
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, sig);
    posix_spawnattr_setflags(
        &at.a, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&at.a, group);
    posix_spawnattr_setsigmask(&at.a, &none);
    posix_spawnattr_setsigdefault(&at.a, &defaults);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return posix_spawnp(&pid, args[0], &fa.a, &at.a, args.data(), environ);
}

int ExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

bool PosixPipeline::Start(const std::vector<Argv>& commands, std::string& error) {
    Kill();
    if (commands.empty()) {
        error = "no program to start";
        return false;
    }
    for (const auto& argv : commands) {
        if (argv.empty() || argv[0].empty()) {
            error = "a command without a program name";
            return false;
        }
    }
    UniqueFd childIn;
    if (!MakePipe(childIn, in_)) {
        error = std::string("pipe: ") + std::strerror(errno);
        Kill();
        return false;
    }
    for (const auto& argv : commands) {
        UniqueFd nextIn, childOut;
        if (!MakePipe(nextIn, childOut)) {
            error = std::string("pipe: ") + std::strerror(errno);
            Kill();
            return false;
        }
        pid_t pid = -1;
        int rc = Spawn(argv, childIn.Get(), childOut.Get(), group_, pid);
        if (rc != 0) {
            error = "cannot start " + argv[0] + ": " + std::strerror(rc);
            Kill();
            return false;
        }
        if (group_ == 0) group_ = pid;
        children_.push_back({pid});
        // The child has its copies; ours of its ends close here.
        childIn = std::move(nextIn);
    }
    out_ = std::move(childIn);
    if (!SetNonBlocking(in_.Get()) || !SetNonBlocking(out_.Get())) {
        error = std::string("fcntl: ") + std::strerror(errno);
        Kill();
        return false;
    }
    return true;
}

int PosixPipeline::PollUntil(pollfd* fds, int count, Deadline deadline) {
    for (;;) {
        int left = MsUntil(deadline);
        int slice = loop_ ? std::min(left, kSliceMs) : left;
        int r = poll(fds, static_cast<nfds_t>(count), slice);
        if (r < 0 && errno == EINTR) continue;
        if (r != 0 || left == 0) return r;
        if (loop_) loop_->Yield();
    }
}

PipeStatus PosixPipeline::Drain(std::size_t maxBytes) {
    char buf[kChunk];
    for (;;) {
        ssize_t n = read(out_.Get(), buf, sizeof buf);
        if (n > 0) {
            pending_.append(buf, static_cast<std::size_t>(n));
            if (pending_.size() > maxBytes) return PipeStatus::TooLarge;
            continue;
        }
        if (n == 0) {
            outEnded_ = true;
            return PipeStatus::Closed;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return PipeStatus::Ok;
        outEnded_ = true;
        return PipeStatus::Closed;
    }
}

PipeStatus PosixPipeline::Write(std::string_view bytes, int timeoutMs) {
    if (!in_) return children_.empty() ? PipeStatus::NotRunning : PipeStatus::Closed;
    const Deadline deadline = DeadlineIn(timeoutMs);
    SigpipeBlock noSigpipe;
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::array<pollfd, 2> fds{{{in_.Get(), POLLOUT, 0}, {out_.Get(), POLLIN, 0}}};
        int count = outEnded_ ? 1 : 2;
        int r = PollUntil(fds.data(), count, deadline);
        if (r < 0) return PipeStatus::Closed;
        if (r == 0) return PipeStatus::TimedOut;
        if (count == 2 && fds[1].revents != 0) {
            PipeStatus s = Drain(kMaxPending);
            if (s == PipeStatus::TooLarge) return s;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) return PipeStatus::Closed;
        if (fds[0].revents & POLLOUT) {
            std::size_t n = std::min(bytes.size() - done, kChunk);
            ssize_t w = write(in_.Get(), bytes.data() + done, n);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
            } else if (w < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                return PipeStatus::Closed;
            }
        }
    }
    return PipeStatus::Ok;
}

PipeRead PosixPipeline::ReadUntil(char delimiter, int timeoutMs, std::size_t maxBytes) {
    if (!out_) return {children_.empty() ? PipeStatus::NotRunning : PipeStatus::Closed, {}};
    const Deadline deadline = DeadlineIn(timeoutMs);
    std::size_t scanned = 0;
    for (;;) {
        std::size_t at = pending_.find(delimiter, scanned);
        if (at != std::string::npos) {
            if (at > maxBytes) return {PipeStatus::TooLarge, {}};
            PipeRead r{PipeStatus::Ok, pending_.substr(0, at)};
            pending_.erase(0, at + 1);
            return r;
        }
        scanned = pending_.size();
        if (scanned > maxBytes) return {PipeStatus::TooLarge, {}};
        if (outEnded_) return {PipeStatus::Closed, {}};
        pollfd fd{out_.Get(), POLLIN, 0};
        int r = PollUntil(&fd, 1, deadline);
        if (r < 0) return {PipeStatus::Closed, {}};
        if (r == 0) return {PipeStatus::TimedOut, {}};
        // A chunk past the bound at most; the checks above decide what it means.
        Drain(std::min(maxBytes, kMaxPending) + kChunk);
    }
}

PipeRead PosixPipeline::ReadToEnd(int timeoutMs, std::size_t maxBytes) {
    if (!out_) return {PipeStatus::NotRunning, {}};
    const Deadline deadline = DeadlineIn(timeoutMs);
    while (!outEnded_) {
        if (pending_.size() > maxBytes) return {PipeStatus::TooLarge, {}};
        pollfd fd{out_.Get(), POLLIN, 0};
        int r = PollUntil(&fd, 1, deadline);
        if (r < 0) break;
        if (r == 0) return {PipeStatus::TimedOut, {}};
        if (Drain(maxBytes) == PipeStatus::TooLarge) return {PipeStatus::TooLarge, {}};
    }
    if (pending_.size() > maxBytes) return {PipeStatus::TooLarge, {}};
    return {PipeStatus::Ok, std::exchange(pending_, {})};
}

bool PosixPipeline::Reap(Child& c, bool block) {
    if (c.reaped) return true;
    for (;;) {
        pid_t r = waitpid(c.pid, &c.status, block ? 0 : WNOHANG);
        if (r == c.pid || (r < 0 && errno == ECHILD)) {
            c.reaped = true;
            return true;
        }
        if (r < 0 && errno == EINTR) continue;
        return false;
    }
}

std::optional<int> PosixPipeline::WaitExit(int timeoutMs) {
    if (children_.empty()) return std::nullopt;
    const Deadline deadline = DeadlineIn(timeoutMs);
    for (;;) {
        bool all = true;
        for (auto& c : children_) all = Reap(c, false) && all;
        if (all) return ExitCode(children_.back().status);
        int left = MsUntil(deadline);
        if (left == 0) return std::nullopt;
        // Output has ended, so the exit is a matter of moments: short naps.
        poll(nullptr, 0, std::min(left, 2));
        if (loop_) loop_->Yield();
    }
}

bool PosixPipeline::Alive() {
    if (children_.empty() || !in_ || !out_ || outEnded_) return false;
    bool alive = true;
    for (auto& c : children_) {
        if (Reap(c, false)) alive = false;
    }
    return alive;
}

void PosixPipeline::Kill() {
    in_.Reset();
    out_.Reset();
    // An unreaped child (even a zombie) keeps the group id from being reused, so the group
    // signal cannot reach a stranger.
    bool anyLeft =
        std::any_of(children_.begin(), children_.end(), [](const Child& c) { return !c.reaped; });
    if (anyLeft && group_ > 0) killpg(group_, SIGKILL);
    for (auto& c : children_) {
        if (!c.reaped) kill(c.pid, SIGKILL);
        Reap(c, true);
    }
    children_.clear();
    group_ = 0;
    pending_.clear();
    outEnded_ = false;
}

std::unique_ptr<IPipeline> PosixProgramRunner::NewPipeline() {
    return std::make_unique<PosixPipeline>(loop_);
}

RunResult PosixProgramRunner::Run(const Argv& argv, std::string_view input, int timeoutMs,
                                  std::size_t maxBytes) {
    const auto deadline = DeadlineIn(timeoutMs);
    PosixPipeline p(loop_);
    RunResult result;
    if (!p.Start({argv}, result.error)) return result;
    // A program may end without reading all its input; its output still counts.
    PipeStatus w = p.Write(input, MsUntil(deadline));
    if (w == PipeStatus::TimedOut || w == PipeStatus::TooLarge) {
        result.status = w;
        result.error = w == PipeStatus::TimedOut ? "timed out" : "too much output";
        return result;
    }
    p.CloseInput();
    PipeRead out = p.ReadToEnd(MsUntil(deadline), maxBytes);
    if (out.status != PipeStatus::Ok) {
        result.status = out.status;
        result.error = out.status == PipeStatus::TimedOut ? "timed out" : "too much output";
        return result;
    }
    std::optional<int> code = p.WaitExit(MsUntil(deadline));
    if (!code) {
        result.status = PipeStatus::TimedOut;
        result.error = "timed out";
        return result;
    }
    result.status = PipeStatus::Ok;
    result.exitCode = *code;
    result.output = std::move(out.bytes);
    return result;
}

}  // namespace velmora::platform::posix
