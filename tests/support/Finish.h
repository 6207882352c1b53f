#pragma once

#include <exception>
#include <stdexcept>

#include "platform/Async.h"
#include "platform/IEventLoop.h"

namespace velmora::platform::test {

// Runs a job to its end, turning the loop meanwhile (a test may wait so; the program never
// does), and gives its result. Bounded: a job that never ends fails the test with an exception.
template <typename T>
T Finish(IEventLoop& loop, Task<T> task, int boundMs = 30'000) {
    bool done = false;
    std::exception_ptr error;
    task.Start([&](std::exception_ptr e) {
        done = true;
        error = e;
    });
    if (!loop.WaitUntil([&] { return done; }, boundMs))
        throw std::runtime_error("the job did not end in time");
    if (error) std::rethrow_exception(error);
    return task.await_resume();
}

}  // namespace velmora::platform::test
