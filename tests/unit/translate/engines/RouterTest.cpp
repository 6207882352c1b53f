#include "translate/engines/Router.h"

#include <gtest/gtest.h>

#include "FakeEngine.h"
#include "platform/fake/FakePlatform.h"

namespace velmora::translate::engines {
namespace {

using testing::FakeEngine;
using K = FailureKind;

PieceResult Fail(K kind, std::optional<int> retry = std::nullopt) {
    return PieceResult::Fail(kind, "failed", retry);
}

struct RouterFixture : ::testing::Test {
    platform::fake::FakeClock clock;
    FakeEngine a{"a"}, b{"b"}, c{"c"};
    Router router{{&a, &b, &c}, clock};

    RoutedPiece Go() { return router.Translate(u"piece", "zh-CN", "en"); }
};

TEST_F(RouterFixture, FirstSupportingEngineTranslatesAndNoOtherIsAsked) {
    auto r = Go();
    EXPECT_EQ(r.text, u"<piece>");
    EXPECT_EQ(r.report.engine, "a");
    EXPECT_TRUE(r.report.failures.empty());
    EXPECT_TRUE(b.pieces.empty());
    EXPECT_TRUE(c.pieces.empty());
}

TEST_F(RouterFixture, EveryFailureClassPassesTheSamePieceOn) {
    for (K kind : {K::Transport, K::RateLimited, K::QuotaExceeded, K::ServerError, K::BadKey,
                   K::BadRequest, K::NoTranslation}) {
        platform::fake::FakeClock clk;
        FakeEngine first{"first"}, second{"second"};
        first.results = {Fail(kind)};
        Router r({&first, &second}, clk);
        auto out = r.Translate(u"x", "en", "es");
        SCOPED_TRACE(static_cast<int>(kind));
        EXPECT_EQ(out.text, u"<x>");
        EXPECT_EQ(out.report.engine, "second");
        ASSERT_EQ(out.report.failures.size(), 1u);
        EXPECT_EQ(out.report.failures[0].first, "first");
        EXPECT_EQ(out.report.failures[0].second.kind, kind);
        EXPECT_EQ(second.pieces, std::vector<std::u16string>{u"x"});
    }
}

TEST_F(RouterFixture, EnginesWithoutThePairAreNeitherTriedNorReported) {
    FakeEngine off{"off", false};
    FakeEngine on{"on"};
    on.results = {Fail(K::ServerError)};
    Router r({&off, &on}, clock);
    auto out = r.Translate(u"x", "en", "es");
    EXPECT_FALSE(out.text);
    EXPECT_TRUE(off.pieces.empty());
    ASSERT_EQ(out.report.failures.size(), 1u);
    EXPECT_EQ(out.report.failures[0].first, "on");
    EXPECT_EQ(out.report.engine, "");
}

TEST_F(RouterFixture, AllFailingReportsEachInOrder) {
    a.results = {Fail(K::BadKey)};
    b.results = {Fail(K::Transport)};
    c.results = {Fail(K::NoTranslation)};
    auto r = Go();
    EXPECT_FALSE(r.text);
    EXPECT_EQ(r.report.engine, "");
    ASSERT_EQ(r.report.failures.size(), 3u);
    EXPECT_EQ(r.report.failures[0].first, "a");
    EXPECT_EQ(r.report.failures[1].first, "b");
    EXPECT_EQ(r.report.failures[2].first, "c");
    EXPECT_EQ(r.report.failures[2].second.kind, K::NoTranslation);
}

TEST_F(RouterFixture, RetryAfterSkipsTheEngineUntilItExpires) {
    a.results = {Fail(K::RateLimited, 30), PieceResult::Ok(u"A")};
    Go();  // a answers 429 with Retry-After: 30
    EXPECT_EQ(a.pieces.size(), 1u);

    clock.AdvanceMs(29'000);
    auto during = Go();
    EXPECT_EQ(a.pieces.size(), 1u);  // not asked again
    EXPECT_EQ(during.report.engine, "b");
    ASSERT_EQ(during.report.failures.size(), 1u);
    EXPECT_EQ(during.report.failures[0].second.kind, K::SkippedBackoff);
    EXPECT_NE(during.report.failures[0].second.detail.find("1 s"), std::string::npos);

    clock.AdvanceMs(1'000);
    auto after = Go();
    EXPECT_EQ(after.text, u"A");
    EXPECT_EQ(after.report.engine, "a");
}

TEST_F(RouterFixture, QuotaWithoutRetryAfterWaitsSixtySeconds) {
    a.results = {Fail(K::QuotaExceeded), PieceResult::Ok(u"A")};
    Go();
    clock.AdvanceMs(59'999);
    EXPECT_EQ(Go().report.engine, "b");
    clock.AdvanceMs(1);
    EXPECT_EQ(Go().report.engine, "a");
}

TEST_F(RouterFixture, AnAnswerThatFailsLeavesTheEngineInUse) {
    for (K kind : {K::ServerError, K::BadKey, K::BadRequest, K::NoTranslation}) {
        SCOPED_TRACE(static_cast<int>(kind));
        FakeEngine first{"first"}, second{"second"};
        first.results = {Fail(kind), PieceResult::Ok(u"A")};
        Router r({&first, &second}, clock);
        TextRun run;
        r.Translate(u"x", "en", "es", run);
        EXPECT_EQ(r.Translate(u"y", "en", "es", run).report.engine, "first");
    }
}

// A dead engine: 30 s out after the first transport failure, then each failed retry doubles the
// time up to 10 min.
TEST_F(RouterFixture, ATransportFailureKeepsTheEngineOutForAGrowingTime) {
    a.results = {Fail(K::Transport)};
    Go();
    for (std::int64_t openMs : {30'000, 60'000, 120'000, 240'000, 480'000, 600'000, 600'000}) {
        SCOPED_TRACE(openMs);
        const std::size_t asked = a.pieces.size();
        clock.AdvanceMs(openMs - 1);
        auto during = Go();
        EXPECT_EQ(a.pieces.size(), asked);
        EXPECT_EQ(during.report.engine, "b");
        ASSERT_EQ(during.report.failures.size(), 1u);
        EXPECT_EQ(during.report.failures[0].second.kind, K::SkippedUnreachable);
        clock.AdvanceMs(1);
        Go();  // asked again, and still dead
        EXPECT_EQ(a.pieces.size(), asked + 1);
    }
}

TEST_F(RouterFixture, AnAnswerAfterATransportFailureStartsTheWaitOverAtThirtySeconds) {
    for (PieceResult answer : {PieceResult::Ok(u"A"), Fail(K::ServerError), Fail(K::BadKey)}) {
        SCOPED_TRACE(answer.failure.detail);
        FakeEngine first{"first"}, second{"second"};
        Router r({&first, &second}, clock);
        first.results = {Fail(K::Transport)};
        r.Translate(u"x", "en", "es");
        clock.AdvanceMs(30'000);
        first.results = {Fail(K::Transport)};
        r.Translate(u"x", "en", "es");  // out for 60 s now
        clock.AdvanceMs(60'000);
        first.results = {answer, Fail(K::Transport)};
        r.Translate(u"x", "en", "es");  // answers
        r.Translate(u"x", "en", "es");  // dead again: out for 30 s, not 120
        ASSERT_EQ(first.pieces.size(), 4u);
        clock.AdvanceMs(29'999);
        r.Translate(u"x", "en", "es");
        EXPECT_EQ(first.pieces.size(), 4u);
        clock.AdvanceMs(1);
        r.Translate(u"x", "en", "es");
        EXPECT_EQ(first.pieces.size(), 5u);
    }
}

// The user or daylight-saving time sets the wall clock an hour either way: every wait still
// ends after its own time.
TEST_F(RouterFixture, WallClockJumpsDoNotMoveTheWaits) {
    for (PieceResult failure : {Fail(K::RateLimited, 30), Fail(K::Transport)}) {
        for (std::int64_t jumpMs : {3'600'000, -3'600'000}) {
            SCOPED_TRACE(static_cast<int>(failure.failure.kind));
            SCOPED_TRACE(jumpMs);
            FakeEngine first{"first"}, second{"second"};
            Router r({&first, &second}, clock);
            first.results = {failure, PieceResult::Ok(u"A")};
            r.Translate(u"x", "en", "es");
            clock.SetMs(clock.NowMs() + jumpMs);
            EXPECT_EQ(r.Translate(u"x", "en", "es").report.engine, "second");
            clock.AdvanceMs(29'999);
            EXPECT_EQ(r.Translate(u"x", "en", "es").report.engine, "second");
            clock.AdvanceMs(1);
            EXPECT_EQ(r.Translate(u"x", "en", "es").report.engine, "first");
        }
    }
}

TEST_F(RouterFixture, TakingAnEngineOutAndItsReturnAreLogged) {
    std::vector<std::string> lines;
    FakeEngine first{"first"}, second{"second"};
    Router r({&first, &second}, clock, [&](const std::string& l) { lines.push_back(l); });
    first.results = {Fail(K::Transport), Fail(K::Transport), PieceResult::Ok(u"A")};
    r.Translate(u"x", "en", "es");
    clock.AdvanceMs(30'000);
    r.Translate(u"x", "en", "es");
    clock.AdvanceMs(60'000);
    r.Translate(u"x", "en", "es");
    r.Translate(u"x", "en", "es");  // a plain success after that says nothing
    EXPECT_EQ(lines, (std::vector<std::string>{"engine first not asked for 30 s: failed",
                                               "engine first not asked for 60 s: failed",
                                               "engine first answers again"}));
}

TEST_F(RouterFixture, BackoffIsPerEngine) {
    a.results = {Fail(K::RateLimited, 10)};
    b.results = {Fail(K::RateLimited, 100), PieceResult::Ok(u"B")};
    auto first = Go();
    EXPECT_EQ(first.report.engine, "c");
    clock.AdvanceMs(10'000);
    a.results = {PieceResult::Ok(u"A")};
    EXPECT_EQ(Go().report.engine, "a");
    a.results = {Fail(K::Transport)};
    auto third = Go();  // b still waits: a fails, b skipped, c translates
    EXPECT_EQ(third.report.engine, "c");
    ASSERT_EQ(third.report.failures.size(), 2u);
    EXPECT_EQ(third.report.failures[1].second.kind, K::SkippedBackoff);
}

TEST_F(RouterFixture, ZeroSecondsMeansNoWait) {
    a.results = {Fail(K::RateLimited, 0), PieceResult::Ok(u"A")};
    Go();
    EXPECT_EQ(Go().report.engine, "a");
}

}  // namespace
}  // namespace velmora::translate::engines
