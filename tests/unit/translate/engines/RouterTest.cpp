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

TEST_F(RouterFixture, OtherFailuresDoNotBackOff) {
    a.results = {Fail(K::ServerError), Fail(K::Transport), PieceResult::Ok(u"A")};
    Go();
    Go();
    EXPECT_EQ(Go().report.engine, "a");
    EXPECT_EQ(a.pieces.size(), 3u);
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
