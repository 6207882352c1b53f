#include "platform/posix/PosixPipeline.h"

#include <gtest/gtest.h>

#include "TestProcesses.h"
#include "platform/fake/FakePlatform.h"

namespace velmora::platform::posix {
namespace {

using testing::AnyProcessWithArg;
using testing::ChildPids;
using testing::Eventually;

constexpr std::size_t kMax = 1u << 20;

TEST(PosixPipeline, ChainsProgramsAndKeepsWhatFollowsTheDelimiter) {
    PosixPipeline p;
    std::string error;
    // sed -u writes each NUL-ended record at once.
    ASSERT_TRUE(p.Start({{"cat"}, {"sed", "-u", "-z", "s/.*/\\U&/"}, {"cat"}}, error)) << error;
    EXPECT_EQ(ChildPids().size(), 3u);
    ASSERT_EQ(p.Write(std::string("one\0two\0", 8), 2000), PipeStatus::Ok);
    auto first = p.ReadUntil('\0', 2000, kMax);
    EXPECT_EQ(first.status, PipeStatus::Ok);
    EXPECT_EQ(first.bytes, "ONE");
    auto second = p.ReadUntil('\0', 2000, kMax);
    EXPECT_EQ(second.status, PipeStatus::Ok);
    EXPECT_EQ(second.bytes, "TWO");
    EXPECT_TRUE(p.Alive());
    p.Kill();
    EXPECT_FALSE(p.Alive());
    EXPECT_TRUE(ChildPids().empty());
}

TEST(PosixPipeline, LongWriteDoesNotDeadlockAgainstFullOutput) {
    // Far more than the pipes between us and the programs hold.
    std::string big(8u << 20, 'x');
    big.back() = '\n';
    PosixPipeline p;
    std::string error;
    ASSERT_TRUE(p.Start({{"cat"}, {"cat"}}, error)) << error;
    ASSERT_EQ(p.Write(big, 20000), PipeStatus::Ok);
    auto r = p.ReadUntil('\n', 20000, big.size());
    ASSERT_EQ(r.status, PipeStatus::Ok);
    EXPECT_EQ(r.bytes.size(), big.size() - 1);
}

TEST(PosixPipeline, BoundedWaitsFailAndKillLeavesNothingBehind) {
    PosixPipeline p;
    std::string error;
    // The sleep is a grandchild: only the process group reaches it.
    ASSERT_TRUE(p.Start({{"sh", "-c", "sleep 987654; :"}, {"cat"}}, error)) << error;
    ASSERT_TRUE(Eventually([] { return AnyProcessWithArg("987654"); }));
    EXPECT_EQ(p.ReadUntil('\0', 100, kMax).status, PipeStatus::TimedOut);
    EXPECT_TRUE(p.Alive());
    p.Kill();
    EXPECT_TRUE(ChildPids().empty());
    EXPECT_TRUE(Eventually([] { return !AnyProcessWithArg("987654"); }));
}

TEST(PosixPipeline, OutputBeyondTheBoundIsRefused) {
    PosixPipeline p;
    std::string error;
    ASSERT_TRUE(p.Start({{"yes"}}, error)) << error;
    EXPECT_EQ(p.ReadUntil('\0', 5000, 4096).status, PipeStatus::TooLarge);
}

TEST(PosixPipeline, AnEndedProgramIsReportedNotFatal) {
    PosixPipeline p;
    std::string error;
    // `true` never reads: writing to it raises SIGPIPE, which must not end the test.
    ASSERT_TRUE(p.Start({{"true"}}, error)) << error;
    ASSERT_TRUE(Eventually([&] { return !p.Alive(); }));
    EXPECT_EQ(p.Write(std::string(1 << 20, 'x'), 2000), PipeStatus::Closed);
    EXPECT_EQ(p.ReadUntil('\0', 2000, kMax).status, PipeStatus::Closed);
    p.Kill();
    EXPECT_TRUE(ChildPids().empty());
}

TEST(PosixPipeline, MissingProgramStartsNothing) {
    PosixPipeline p;
    std::string error;
    EXPECT_FALSE(p.Start({{"cat"}, {"velmora-no-such-program"}, {"cat"}}, error));
    EXPECT_NE(error.find("velmora-no-such-program"), std::string::npos) << error;
    EXPECT_TRUE(ChildPids().empty());
    EXPECT_FALSE(p.Alive());
    EXPECT_EQ(p.Write("x", 100), PipeStatus::NotRunning);
    EXPECT_FALSE(p.Start({}, error));
    EXPECT_FALSE(p.Start({{"cat"}, {}}, error));
}

TEST(PosixPipeline, WaitsLetTheEventLoopRun) {
    fake::FakeClock clock;
    fake::ActionLog log;
    fake::FakeEventLoop loop(clock, log);
    loop.logWaits = false;
    PosixPipeline p(&loop);
    std::string error;
    ASSERT_TRUE(p.Start({{"sleep", "5"}}, error)) << error;
    EXPECT_EQ(p.ReadUntil('\0', 200, kMax).status, PipeStatus::TimedOut);
    // A 200 ms wait in slices of about 10 ms.
    EXPECT_GE(loop.yields(), 5);
}

TEST(PosixProgramRunner, RunsOneProgram) {
    PosixProgramRunner runner;
    auto upper = runner.Run({"tr", "a-z", "A-Z"}, "hello\n", 5000, kMax);
    EXPECT_EQ(upper.status, PipeStatus::Ok);
    EXPECT_EQ(upper.exitCode, 0);
    EXPECT_EQ(upper.output, "HELLO\n");

    // A program that does not read its input still gives its output and exit code.
    auto code = runner.Run({"sh", "-c", "echo out; exit 3"}, std::string(1 << 20, 'x'), 5000, kMax);
    EXPECT_EQ(code.status, PipeStatus::Ok);
    EXPECT_EQ(code.exitCode, 3);
    EXPECT_EQ(code.output, "out\n");

    auto hung = runner.Run({"sleep", "30"}, "", 200, kMax);
    EXPECT_EQ(hung.status, PipeStatus::TimedOut);
    auto flood = runner.Run({"yes"}, "", 5000, 4096);
    EXPECT_EQ(flood.status, PipeStatus::TooLarge);
    auto missing = runner.Run({"velmora-no-such-program"}, "", 1000, kMax);
    EXPECT_EQ(missing.status, PipeStatus::NotRunning);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_TRUE(ChildPids().empty());
}

}  // namespace
}  // namespace velmora::platform::posix
