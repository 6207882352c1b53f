#include "relay/RelayScheduler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::relay {
namespace {

TEST(RelaySchedulerTest, JobsAskedForDuringAJobRunAfterItInOrderSendsAndPressesOnce) {
    RelayScheduler s;
    std::vector<std::string> ran;
    auto job = [&](std::string name) { return [&ran, name] { ran.push_back(name); }; };
    const bool now = s.Submit(RelayJob::Capture, [&] {
        ran.push_back("capture");
        EXPECT_EQ(s.Running(), RelayJob::Capture);
        // From inside the capture's waits: nothing runs inside it.
        EXPECT_FALSE(s.Submit(RelayJob::InPlace, job("inplace")));
        EXPECT_FALSE(s.Submit(RelayJob::Send, job("send")));
        EXPECT_FALSE(s.Submit(RelayJob::Send, job("send again")));        // once
        EXPECT_FALSE(s.Submit(RelayJob::InPlace, job("inplace again")));  // once
        EXPECT_FALSE(s.Submit(RelayJob::Capture, job("capture again")));  // coalesced
        EXPECT_TRUE(s.Queued(RelayJob::Send));
        EXPECT_FALSE(s.Queued(RelayJob::Capture));
        EXPECT_EQ(ran, std::vector<std::string>{"capture"});
    });
    EXPECT_TRUE(now);
    EXPECT_EQ(ran, (std::vector<std::string>{"capture", "inplace", "send"}));
    EXPECT_FALSE(s.Busy());
    EXPECT_FALSE(s.Queued(RelayJob::Send));
}

TEST(RelaySchedulerTest, AJobQueuedByAQueuedJobRunsToo) {
    RelayScheduler s;
    std::vector<std::string> ran;
    s.Submit(RelayJob::Send, [&] {
        s.Submit(RelayJob::InPlace, [&] {
            ran.push_back("inplace");
            // The user presses send again while the in-place run works.
            s.Submit(RelayJob::Send, [&] { ran.push_back("second send"); });
        });
        ran.push_back("send");
    });
    EXPECT_EQ(ran, (std::vector<std::string>{"send", "inplace", "second send"}));
}

TEST(RelaySchedulerTest, AJobThatThrowsFreesTheSchedulerAndDroppedJobsNeverRun) {
    RelayScheduler s;
    EXPECT_THROW(s.Submit(RelayJob::Send, [] { throw std::runtime_error("platform call"); }),
                 std::runtime_error);
    EXPECT_FALSE(s.Busy());
    bool ran = false;
    s.Submit(RelayJob::Capture, [&] {
        s.Submit(RelayJob::Send, [&] { ran = true; });
        s.DropQueued();  // the window went away
    });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(s.Submit(RelayJob::Send, [&] { ran = true; }));
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace velmora::relay
