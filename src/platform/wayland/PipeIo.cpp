#include "platform/wayland/PipeIo.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velmora::platform::wayland {

namespace {

int MsUntil(SteadyTime deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// A write into a pipe whose reader closed leaves a SIGPIPE pending on the (blocking) thread:
// take it off, so that it cannot reach the program when the thread ends.
void DropPendingSigpipe() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
    }
}

}  // namespace

PipeRead ReadAll(int fd, std::size_t maxBytes, SteadyTime deadline) {
    PipeRead out;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            if (out.bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
                out.end = ReadEnd::TooLarge;
                out.bytes.clear();
                return out;
            }
            out.bytes.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            out.end = ReadEnd::Complete;
            return out;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            out.end = ReadEnd::Failed;
            return out;
        }
        const int left = MsUntil(deadline);
        if (left <= 0) {
            out.end = ReadEnd::TimedOut;
            return out;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left) < 0 && errno != EINTR) {
            out.end = ReadEnd::Failed;
            return out;
        }
    }
}

bool MakeReadPipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    const int flags = fcntl(fds[0], F_GETFL);
    return flags >= 0 && fcntl(fds[0], F_SETFL, flags | O_NONBLOCK) == 0;
}

PendingWrite::PendingWrite(UniqueFd fd, std::shared_ptr<const std::string> data,
                           SteadyTime deadline)
    : fd_(std::move(fd)), data_(std::move(data)), deadline_(deadline) {
    const int flags = fcntl(fd_.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd_.Get(), F_SETFL, flags | O_NONBLOCK) != 0) fd_.Reset();
}

bool PendingWrite::Pump() {
    if (!fd_ || !data_) return true;
    while (written_ < data_->size()) {
        const ssize_t n = write(fd_.Get(), data_->data() + written_, data_->size() - written_);
        if (n > 0) {
            written_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            std::chrono::steady_clock::now() < deadline_)
            return false;  // the reader has not taken the rest yet
        if (n < 0 && errno == EPIPE) DropPendingSigpipe();
        break;
    }
    fd_.Reset();
    return true;
}

}  // namespace velmora::platform::wayland
