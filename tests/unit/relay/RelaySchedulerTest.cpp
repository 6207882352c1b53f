#include "relay/RelayScheduler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"

namespace velmora::relay {
namespace {

using platform::Delay;
using platform::Task;

struct RelaySchedulerTest : ::testing::Test {
    platform::fake::FakePlatform fp;
    RelayScheduler s{fp.loop};
    std::vector<std::string> ran;

    // A job that notes its start, waits ms on the loop, then notes its end.
    Task<> Waits(std::string name, int ms) {
        ran.push_back(name + " start");
        co_await Delay(fp.loop, ms);
        ran.push_back(name + " end");
    }
    RelayScheduler::Make Job(std::string name, int ms = 100) {
        return [this, name, ms] { return Waits(name, ms); };
    }
};

TEST_F(RelaySchedulerTest, JobsAskedForWhileOneWaitsRunAfterItInOrderSendsAndPressesOnce) {
    EXPECT_TRUE(s.Submit(RelayJob::Capture, Job("capture")));
    // The capture waits on the loop; these come from the loop's other handlers meanwhile.
    EXPECT_EQ(s.Running(), RelayJob::Capture);
    EXPECT_FALSE(s.Submit(RelayJob::InPlace, Job("inplace")));
    EXPECT_FALSE(s.Submit(RelayJob::Send, Job("send")));
    EXPECT_FALSE(s.Submit(RelayJob::Send, Job("send again")));        // once
    EXPECT_FALSE(s.Submit(RelayJob::InPlace, Job("inplace again")));  // once
    EXPECT_FALSE(s.Submit(RelayJob::Capture, Job("capture again")));  // coalesced
    EXPECT_TRUE(s.Queued(RelayJob::Send));
    EXPECT_FALSE(s.Queued(RelayJob::Capture));
    EXPECT_EQ(ran, std::vector<std::string>{"capture start"});

    ASSERT_TRUE(fp.loop.Run());
    EXPECT_EQ(ran, (std::vector<std::string>{"capture start", "capture end", "inplace start",
                                             "inplace end", "send start", "send end"}));
    EXPECT_FALSE(s.Busy());
    EXPECT_FALSE(s.Queued(RelayJob::Send));
}

TEST_F(RelaySchedulerTest, AJobQueuedWhileAQueuedJobWaitsRunsToo) {
    s.Submit(RelayJob::Send, Job("send"));
    s.Submit(RelayJob::InPlace, [this]() -> Task<> {
        return [](RelaySchedulerTest* t) -> Task<> {
            t->ran.push_back("inplace");
            // The user presses send again while the in-place run waits.
            t->s.Submit(RelayJob::Send, t->Job("second send", 10));
            co_await Delay(t->fp.loop, 50);
        }(this);
    });
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_EQ(ran, (std::vector<std::string>{"send start", "send end", "inplace",
                                             "second send start", "second send end"}));
}

TEST_F(RelaySchedulerTest, AJobThatThrowsFreesTheSchedulerAndDroppedJobsNeverRun) {
    s.Submit(RelayJob::Send, [this]() -> Task<> {
        return [](platform::IEventLoop& loop) -> Task<> {
            co_await Delay(loop, 10);
            throw std::runtime_error("platform call");
        }(fp.loop);
    });
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_FALSE(s.Busy());

    s.Submit(RelayJob::Capture, Job("capture"));
    s.Submit(RelayJob::Send, Job("send"));
    s.DropQueued();  // the window went away
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_EQ(ran, (std::vector<std::string>{"capture start", "capture end"}));
    EXPECT_TRUE(s.Submit(RelayJob::Send, Job("send")));
}

TEST_F(RelaySchedulerTest, AnAbandonedJobNeverResumesAndTheNextStartsAfresh) {
    s.Submit(RelayJob::Send, Job("send", 1000));
    s.Submit(RelayJob::InPlace, Job("inplace"));
    s.Abandon();
    EXPECT_FALSE(s.Busy());
    EXPECT_FALSE(fp.loop.CancelRequested());  // cleared for the next job
    ASSERT_TRUE(fp.loop.Run());
    // The send's wait was dropped with it; the queued press went too.
    EXPECT_EQ(ran, std::vector<std::string>{"send start"});
    EXPECT_TRUE(s.Submit(RelayJob::Capture, Job("capture", 0)));
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_EQ(ran.back(), "capture end");
}

}  // namespace
}  // namespace velmora::relay
