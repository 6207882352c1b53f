// Waits see conditions that no wake announces (another program's window moving into place):
// the Qt loop and the fake one the relay's unit tests run on both look again while they wait.

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtEventLoop.h"

namespace velmora::platform {
namespace {

TEST(EventLoopPoll, QtWaitSeesAConditionThatHoldsForAWhileWithoutAWake) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    qt::QtEventLoop loop;
    std::atomic<bool> flag{false};
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flag = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        flag = false;
    });
    EXPECT_TRUE(loop.WaitUntil([&] { return flag.load(); }, 3000));
    other.join();
}

TEST(EventLoopPoll, FakeWaitLooksAgainNoMoreOftenThanTheRealOnes) {
    fake::FakeClock clock;
    fake::ActionLog log;
    fake::FakeEventLoop loop{clock, log};
    const auto start = clock.NowMs();
    // True for a window shorter than the timeout: seen while it holds.
    EXPECT_TRUE(loop.WaitUntil(
        [&] {
            const auto t = clock.NowMs() - start;
            return t >= 50 && t < 800;
        },
        3000));
    // Checked at most once per poll step, as the Qt and Win32 loops do.
    int calls = 0;
    const auto before = clock.NowMs();
    EXPECT_FALSE(loop.WaitUntil(
        [&] {
            ++calls;
            return false;
        },
        300));
    EXPECT_EQ(clock.NowMs() - before, 300);
    EXPECT_LE(calls, 300 / IEventLoop::kPollMs + 2);
}

}  // namespace
}  // namespace velmora::platform
