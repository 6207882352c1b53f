#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/SystemClock.h"
#include "platform/win32/Win32EventLoop.h"

namespace velmora::platform::win32 {
namespace {

TEST(SystemClock, SecondsMillisecondsAndLocalTimeAreOneClock) {
    SystemClock clock;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::int64_t ms = clock.NowMs();
        const std::int64_t s = clock.NowSeconds();
        const LocalTime t = clock.NowLocal();
        const double sinceMidnight = clock.SecondsSinceMidnight();
        SYSTEMTIME st;
        GetLocalTime(&st);
        if (ms / 1000 != s || st.wSecond != t.second) continue;  // a second boundary in between
        EXPECT_EQ(t.year, st.wYear);
        EXPECT_EQ(t.month, st.wMonth);
        EXPECT_EQ(t.day, st.wDay);
        EXPECT_EQ(t.hour * 3600 + t.minute * 60 + t.second, static_cast<int>(sinceMidnight));
        // Milliseconds count from a local midnight, so the day's part is the time of day.
        EXPECT_NEAR((ms % 86'400'000) / 1000.0, sinceMidnight, 0.05);
        return;
    }
    FAIL() << "the clock never held still for one second";
}

TEST(SystemClock, AdvancesWithRealTime) {
    SystemClock clock;
    const std::int64_t before = clock.NowMs();
    const std::int64_t steadyBefore = clock.SteadyMs();
    Sleep(300);
    const std::int64_t elapsed = clock.NowMs() - before;
    EXPECT_GE(elapsed, 280);
    EXPECT_LT(elapsed, 2000);
    // The steady reading moves as much and is its own clock, not the local time.
    EXPECT_GE(clock.SteadyMs() - steadyBefore, 280);
    EXPECT_GT(std::abs(clock.NowMs() - clock.SteadyMs()), 24LL * 3600 * 1000);
}

std::atomic<int> g_ticks{0};
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    ++g_ticks;
}

// CPU time this thread has used, in milliseconds.
double ThreadCpuMs() {
    FILETIME create, exit, kernel, user;
    GetThreadTimes(GetCurrentThread(), &create, &exit, &kernel, &user);
    auto ms = [](FILETIME f) {
        return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10'000.0;
    };
    return ms(kernel) + ms(user);
}

TEST(Win32EventLoop, WaitDispatchesTimersAndSleepsInBetween) {
    Win32EventLoop loop;
    g_ticks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
    ASSERT_NE(timer, 0u);
    const ULONGLONG t0 = GetTickCount64();
    const double cpu0 = ThreadCpuMs();
    loop.Wait(600);
    const double cpu = ThreadCpuMs() - cpu0;
    const ULONGLONG elapsed = GetTickCount64() - t0;
    KillTimer(nullptr, timer);
    EXPECT_GE(elapsed, 590u);
    EXPECT_LT(elapsed, 1500u);
    EXPECT_GE(g_ticks.load(), 4);
    EXPECT_LT(cpu, 150.0) << "the wait polled";
}

TEST(Win32EventLoop, WaitUntilEndsOnWakeFromAnotherThread) {
    Win32EventLoop loop;
    std::atomic<bool> flag{false};
    const ULONGLONG t0 = GetTickCount64();
    std::thread other([&] {
        Sleep(150);
        flag = true;
        loop.Wake();
    });
    const double cpu0 = ThreadCpuMs();
    EXPECT_TRUE(loop.WaitUntil([&] { return flag.load(); }, 5000));
    const ULONGLONG elapsed = GetTickCount64() - t0;
    const double cpu = ThreadCpuMs() - cpu0;
    other.join();
    EXPECT_GE(elapsed, 140u);
    EXPECT_LT(elapsed, 1500u);
    EXPECT_LT(cpu, 100.0) << "the wait polled";
}

TEST(Win32EventLoop, WaitUntilChecksAfterDispatchingAndTimesOut) {
    Win32EventLoop loop;
    // Done from the start: no wait at all.
    ULONGLONG t0 = GetTickCount64();
    EXPECT_TRUE(loop.WaitUntil([] { return true; }, 5000));
    EXPECT_LT(GetTickCount64() - t0, 100u);
    // Made true by a dispatched timer, without a Wake().
    g_ticks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, CountTick);
    t0 = GetTickCount64();
    EXPECT_TRUE(loop.WaitUntil([] { return g_ticks.load() >= 2; }, 5000));
    EXPECT_LT(GetTickCount64() - t0, 1500u);
    KillTimer(nullptr, timer);
    // Never true: the timeout, and done()'s last value.
    int calls = 0;
    t0 = GetTickCount64();
    EXPECT_FALSE(loop.WaitUntil(
        [&] {
            ++calls;
            return false;
        },
        300));
    EXPECT_GE(GetTickCount64() - t0, 290u);
    EXPECT_LT(calls, 300 / IEventLoop::kPollMs + 20) << "the wait spun";
}

// Another program's window moves with no message or wake of ours: a condition that holds only
// for a while is still seen, not just looked at once when the wait ends.
TEST(Win32EventLoop, WaitUntilSeesAConditionThatHoldsForAWhileWithoutAWake) {
    Win32EventLoop loop;
    std::atomic<bool> flag{false};
    std::thread other([&] {
        Sleep(50);
        flag = true;
        Sleep(700);
        flag = false;
    });
    EXPECT_TRUE(loop.WaitUntil([&] { return flag.load(); }, 3000));
    other.join();
}

TEST(Win32EventLoop, NestedWaitsAnswerTheInnermostAndTheOuterRechecks) {
    Win32EventLoop loop;
    static Win32EventLoop* current = nullptr;
    static bool inner = false, outer = false, innerResult = false;
    current = &loop;
    inner = outer = innerResult = false;
    // A timer callback that waits itself, the way a handler can while the logic waits.
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        std::thread([] {
            Sleep(100);
            inner = true;
            current->Wake();
        }).detach();
        innerResult = current->WaitUntil([] { return inner; }, 5000);
        outer = true;  // no Wake(): the outer wait sees it when the inner one returns
    });
    ASSERT_NE(timer, 0u);
    const ULONGLONG t0 = GetTickCount64();
    EXPECT_TRUE(loop.WaitUntil([] { return outer; }, 5000));
    EXPECT_TRUE(innerResult);
    EXPECT_LT(GetTickCount64() - t0, 2000u);
}

TEST(Win32EventLoop, QuitSeenInsideAWaitIsPostedAgain) {
    Win32EventLoop loop;
    g_ticks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
    PostQuitMessage(7);
    const double cpu0 = ThreadCpuMs();
    loop.Wait(300);
    EXPECT_LT(ThreadCpuMs() - cpu0, 100.0) << "the pending quit made the wait poll";
    EXPECT_GE(g_ticks.load(), 2) << "the wait stopped dispatching";
    KillTimer(nullptr, timer);
    loop.Yield();
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace velmora::platform::win32
