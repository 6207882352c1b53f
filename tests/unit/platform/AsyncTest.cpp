// Jobs that suspend on the loop: what they return or throw reaches their caller, their waits
// take the time they say, and a job destroyed while it waits never resumes.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Async.h"
#include "platform/LoopQueue.h"
#include "platform/fake/FakePlatform.h"

namespace velmora::platform {
namespace {

struct AsyncTest : ::testing::Test {
    fake::FakeClock clock;
    fake::ActionLog log;
    fake::FakeEventLoop loop{clock, log};
    std::vector<std::string> steps;

    Task<int> Twice(int x) {
        co_await Delay(loop, 30);
        co_return 2 * x;
    }
    Task<int> Fails() {
        co_await Delay(loop, 10);
        throw std::runtime_error("lost");
    }
    Task<> Outer() {
        steps.push_back("start " + std::to_string(clock.SteadyMs()));
        const int v = co_await Twice(21);
        steps.push_back("got " + std::to_string(v) + " at " + std::to_string(clock.SteadyMs()));
        try {
            co_await Fails();
        } catch (const std::runtime_error& e) {
            steps.push_back(std::string("caught ") + e.what());
        }
        const int aside = co_await Aside(loop, [] { return 7; });
        steps.push_back("aside " + std::to_string(aside));
    }
};

TEST_F(AsyncTest, ValuesAndExceptionsReachTheAwaitingJobAfterTheirWaits) {
    Task<> job = Outer();
    bool ended = false;
    const std::int64_t t0 = clock.SteadyMs();
    job.Start([&](std::exception_ptr e) { ended = !e; });
    EXPECT_EQ(steps.size(), 1u);  // suspended in its first wait, back to the caller
    EXPECT_FALSE(ended);
    ASSERT_TRUE(loop.Run());
    EXPECT_TRUE(ended);
    EXPECT_EQ(steps, (std::vector<std::string>{"start " + std::to_string(t0),
                                               "got 42 at " + std::to_string(t0 + 30),
                                               "caught lost", "aside 7"}));
}

TEST_F(AsyncTest, AnExceptionThatLeavesTheJobReachesItsEnd) {
    Task<int> job = Fails();
    std::exception_ptr seen;
    Task<> wrapper = [](Task<int> inner) -> Task<> { co_await inner; }(std::move(job));
    wrapper.Start([&](std::exception_ptr e) { seen = e; });
    ASSERT_TRUE(loop.Run());
    ASSERT_TRUE(seen);
    EXPECT_THROW(std::rethrow_exception(seen), std::runtime_error);
}

TEST_F(AsyncTest, AJobDestroyedWhileItWaitsNeverResumes) {
    auto job = std::make_unique<Task<>>(Outer());
    job->Start([](std::exception_ptr) {});
    job.reset();  // its owner went away
    ASSERT_TRUE(loop.Run());
    EXPECT_EQ(steps.size(), 1u);
}

TEST_F(AsyncTest, UntilSeesTheConditionOrGivesUpAfterItsBound) {
    bool result = true;
    const std::int64_t t0 = clock.SteadyMs();
    Task<> job = [](IEventLoop& l, fake::FakeClock& c, std::int64_t start, bool& out) -> Task<> {
        out = co_await Until(
            l, [&c, start] { return c.SteadyMs() - start >= 55; }, 1000);
        out = out && !co_await Until(
                         l, [] { return false; }, 200);
    }(loop, clock, t0, result);
    job.Start([](std::exception_ptr) {});
    ASSERT_TRUE(loop.Run());
    EXPECT_TRUE(result);
    // Seen at the first poll after 55 ms, then 200 ms of looking in vain.
    EXPECT_EQ(clock.SteadyMs() - t0, 60 + 200);
}

TEST_F(AsyncTest, UntilKeepsItsBoundWhenEachCheckTakesLong) {
    // Each check takes 60 ms of the clock while the loop's own waits take none: the bound of
    // 200 ms allows four checks, not the twenty-one its polls alone would.
    int checks = 0;
    bool result = true;
    Task<> job = [](IEventLoop& l, int& n, bool& out) -> Task<> {
        out = co_await Until(
            l,
            [&n] {
                ++n;
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
                return false;
            },
            200);
    }(loop, checks, result);
    job.Start([](std::exception_ptr) {});
    ASSERT_TRUE(loop.Run());
    EXPECT_FALSE(result);
    EXPECT_LE(checks, 4);
}

TEST_F(AsyncTest, ABellEndsAWaitAtTheNextTurnAndItsTimerThenDoesNothing) {
    Bell bell;
    std::vector<std::int64_t> resumed;
    const std::int64_t t0 = clock.SteadyMs();
    Task<> job = [](IEventLoop& l, Bell& b, fake::FakeClock& c,
                    std::vector<std::int64_t>& out) -> Task<> {
        co_await b.Wait(l, 1000);
        out.push_back(c.SteadyMs());
        co_await b.Wait(l, 300);
        out.push_back(c.SteadyMs());
    }(loop, bell, clock, resumed);
    job.Start([](std::exception_ptr) {});
    bool rung = false;
    loop.onYield = [&] {
        if (!rung && clock.SteadyMs() - t0 >= 250) {
            rung = true;
            bell.Ring();
            EXPECT_TRUE(resumed.empty()) << "never inside the ringer";
        }
    };
    ASSERT_TRUE(loop.Run());
    // Rung at 250: the first wait ends there; the second runs its whole 300 ms, and the first
    // wait's timer at 1000 resumes nothing.
    EXPECT_EQ(resumed, (std::vector<std::int64_t>{t0 + 250, t0 + 550}));
    bell.Ring();  // nobody waits: nothing is posted
    EXPECT_TRUE(loop.Idle());
}

TEST(LoopQueueTest, RunsInDueOrderThenInTheOrderAskedAndTakesPostsFromAnyThread) {
    LoopQueue q;
    std::vector<std::string> ran;
    q.After(20, [&] { ran.push_back("t20"); });
    q.After(10, [&] { ran.push_back("t10 first"); });
    q.After(10, [&] { ran.push_back("t10 second"); });
    std::thread other([&] { q.Post([&] { ran.push_back("posted"); }); });
    other.join();
    EXPECT_FALSE(q.RunOne(5) && q.RunOne(5));  // only the posted entry is due at 5
    EXPECT_EQ(ran, std::vector<std::string>{"posted"});
    while (q.RunOne(100)) {
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "t10 first", "t10 second", "t20"}));
    EXPECT_FALSE(q.NextDue());
}

}  // namespace
}  // namespace velmora::platform
