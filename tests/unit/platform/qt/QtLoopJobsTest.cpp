// Jobs on the Qt loop suspend instead of nesting: while one waits for work run aside, the
// program's other handlers run from the loop itself, never inside the job.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/Async.h"
#include "platform/qt/QtEventLoop.h"

namespace velmora::platform {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

Task<> SlowJob(IEventLoop& loop, std::thread::id& workThread, std::thread::id& resumedOn) {
    co_await Aside(loop, [&] {
        workThread = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    resumedOn = std::this_thread::get_id();
    co_await Delay(loop, 50);
}

TEST(QtLoopJobs, HandlersRunFromTheLoopItselfWhileAJobWaitsAside) {
    App();
    qt::QtEventLoop loop;
    std::thread::id workThread, resumedOn;
    int ticks = 0;
    int deepestLevel = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        deepestLevel = std::max(deepestLevel, QThread::currentThread()->loopLevel());
    });
    tick.start(20);
    Task<> job = SlowJob(loop, workThread, resumedOn);
    bool ended = false;
    QTimer::singleShot(0, [&] {
        job.Start([&](std::exception_ptr) {
            ended = true;
            QCoreApplication::quit();
        });
    });
    QTimer::singleShot(5000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    EXPECT_TRUE(ended);
    EXPECT_NE(workThread, std::this_thread::get_id());
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
    EXPECT_GE(ticks, 5);  // the loop went on during the 300 ms of work
    EXPECT_EQ(deepestLevel, 1) << "a handler ran inside a nested loop";
}

TEST(QtLoopJobs, PostsFromOtherThreadsRunOnTheLoopsThread) {
    App();
    qt::QtEventLoop loop;
    std::atomic<int> onLoopThread = 0;
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) loop.Post([&] { onLoopThread += loop.OnLoopThread() ? 1 : 0; });
    });
    other.join();
    EXPECT_TRUE(loop.WaitUntil([&] { return onLoopThread == 3; }, 2000));
}

TEST(QtLoopJobs, ALoopThatGoesCancelsAndWaitsForItsWorkAside) {
    App();
    bool doneRan = false;
    const auto start = std::chrono::steady_clock::now();
    {
        auto loop = std::make_unique<qt::QtEventLoop>();
        qt::QtEventLoop* l = loop.get();
        loop->RunAside(
            [l] {
                // A request that would take 10 s gives up at its next turn once cancelled.
                for (int i = 0; i < 1000 && !l->CancelRequested(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            },
            [&] { doneRan = true; });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    QCoreApplication::processEvents();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(doneRan);  // posted back to a loop that was gone
}

}  // namespace
}  // namespace velmora::platform
