#pragma once

#include <errno.h>
#include <poll.h>

#include <chrono>

namespace velmora::platform::posix {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left until the deadline; 0 once it has passed.
inline int MsLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits until the descriptor is ready for events, or hung up (so that the caller's read or write
// sees why), before the deadline. False on a timeout or an error of the wait itself.
inline bool WaitForFd(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        const int left = MsLeft(deadline);
        if (left == 0) return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, left);
        if (n > 0) return (p.revents & (events | POLLHUP)) != 0;
        if (n == 0 || errno != EINTR) return false;
    }
}

}  // namespace velmora::platform::posix
