#include "translate/engines/EngineTranslator.h"

#include <gtest/gtest.h>

#include "FakeEngine.h"
#include "platform/fake/FakePlatform.h"

namespace velmora::translate {
namespace {

using engines::FailureKind;
using engines::PieceResult;
using engines::testing::FakeEngine;

struct Fixture : ::testing::Test {
    platform::fake::FakeClock clock;
    platform::fake::FakeCodePage codePage;
    FakeEngine first{"deepl"}, second{"google"};
    engines::Router router{{&first, &second}, clock};
    EngineTranslator translator{router, codePage};
};

TEST_F(Fixture, PiecesAreSegmentedAsTheFormTranslatorDoesAndJoined) {
    auto out = translator.Translate(u"你好。再见", "zh-CN", "en");
    EXPECT_EQ(first.pieces, (std::vector<std::u16string>{u"你好。", u"再见"}));
    EXPECT_EQ(out.text, u"<你好。><再见>");
    EXPECT_TRUE(out.complete);
    ASSERT_EQ(out.pieces.size(), 2u);
    EXPECT_EQ(out.pieces[1].engine, "deepl");
    EXPECT_EQ(out.Reason(), "");
    // Western sources split on "." instead.
    first.pieces.clear();
    translator.Translate(u"a。b", "en", "zh-CN");
    EXPECT_EQ(first.pieces, std::vector<std::u16string>{u"a。b"});
}

TEST_F(Fixture, APieceNoEngineTranslatedMakesItPartial) {
    first.results = {PieceResult::Ok(u"ONE"),
                     PieceResult::Fail(FailureKind::BadKey, "key refused")};
    second.results = {PieceResult::Fail(FailureKind::ServerError, "server error (HTTP 500)")};
    auto out = translator.Translate(u"one. two. three", "en", "es");
    EXPECT_EQ(out.text, u"ONE");
    EXPECT_FALSE(out.complete);
    ASSERT_EQ(out.pieces.size(), 3u);
    EXPECT_EQ(out.pieces[0].engine, "deepl");
    EXPECT_EQ(out.pieces[1].engine, "");
    EXPECT_EQ(out.pieces[1].failures.size(), 2u);
    const std::string reason = out.Reason();
    EXPECT_NE(reason.find("2/3"), std::string::npos) << reason;
    EXPECT_NE(reason.find("deepl: key refused"), std::string::npos) << reason;
    EXPECT_NE(reason.find("google: server error (HTTP 500)"), std::string::npos) << reason;
    // The same cause for two pieces is named once.
    EXPECT_EQ(reason.find("deepl: key refused"), reason.rfind("deepl: key refused"));
    // For the user: engines by name, failures in words, nothing the servers said.
    const std::string words = out.ReasonForUser();
    EXPECT_EQ(
        words,
        "翻译不完整（3 段中有 2 段未译出）：DeepL：密钥无效；Google 翻译：服务器出错，请稍后再试")
        << words;
    // TranslateText gives the same joined text.
    first.results = {PieceResult::Ok(u"ONE"), PieceResult::Fail(FailureKind::BadKey, "x")};
    EXPECT_EQ(translator.TranslateText(u"one. two. three", "en", "es"), u"ONE");
}

// A dead first engine times out (20 s) once per text, not once per piece, even when the other
// pieces take longer than its time out of use; the text is complete from the second engine.
TEST_F(Fixture, ADeadFirstEngineCostsOneTimeoutPerText) {
    for (std::int64_t secondMs : {500, 20'000}) {
        SCOPED_TRACE(secondMs);
        FakeEngine dead{"deepl"}, working{"google"};
        dead.results = {PieceResult::Fail(FailureKind::Transport, "timed out")};
        dead.onCall = [&] { clock.AdvanceMs(20'000); };
        working.onCall = [&] { clock.AdvanceMs(secondMs); };
        engines::Router r({&dead, &working}, clock);
        EngineTranslator t(r, codePage);
        const std::int64_t start = clock.SteadyMs();
        auto out = t.Translate(u"one. two. three. four", "en", "es");
        EXPECT_EQ(dead.pieces.size(), 1u);
        EXPECT_EQ(working.pieces.size(), 4u);
        EXPECT_TRUE(out.complete);
        EXPECT_EQ(out.text, u"<one.>< two.>< three.>< four>");
        EXPECT_EQ(clock.SteadyMs() - start, 20'000 + 4 * secondMs);
        ASSERT_EQ(out.pieces.size(), 4u);
        EXPECT_EQ(out.pieces[3].failures.at(0).second.kind, FailureKind::SkippedUnreachable);
    }
}

TEST_F(Fixture, ACancelledTextStopsAtOnceAndCountsAgainstNoEngine) {
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    EngineTranslator cancellable{router, codePage, &loop};
    // Esc while the first engine waits on its answer: the request is abandoned.
    first.onCall = [&] {
        loop.RequestCancel();
        throw platform::Cancelled();
    };
    auto out = cancellable.Translate(u"one. two. three", "en", "es");
    EXPECT_TRUE(out.cancelled);
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(first.pieces.size(), 1u);
    EXPECT_TRUE(second.pieces.empty()) << "no other engine is asked for an abandoned text";
    // Cancelled between two pieces (an offline engine is not interrupted): the rest is left.
    loop.ClearCancel();
    first.pieces.clear();
    first.onCall = [&] { loop.RequestCancel(); };
    out = cancellable.Translate(u"one. two. three", "en", "es");
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(first.pieces.size(), 1u);
    // The engine is not out of use: the next text goes to it.
    loop.ClearCancel();
    first.pieces.clear();
    first.onCall = nullptr;
    out = cancellable.Translate(u"one", "en", "es");
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.pieces[0].engine, "deepl");
}

TEST_F(Fixture, NoEngineForThePairIsPartialWithAReason) {
    FakeEngine none{"none", false};
    engines::Router r({&none}, clock);
    EngineTranslator t(r, codePage);
    auto out = t.Translate(u"hello", "en", "es");
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(out.text, u"");
    EXPECT_NE(out.Reason().find("no engine offers this language pair"), std::string::npos);
}

TEST_F(Fixture, EmptyOrBlankTextIsCompleteWithoutRequests) {
    for (std::u16string text : {u"", u"\r\n\r\n"}) {
        auto out = translator.Translate(text, "zh-CN", "en");
        EXPECT_TRUE(out.complete);
        EXPECT_EQ(out.text, u"");
    }
    EXPECT_TRUE(first.pieces.empty());
}

// A translator that only has TranslateText gets an outcome from it.
class PlainTranslator : public ITranslator {
  public:
    std::u16string result;
    std::u16string TranslateText(const std::u16string&, const std::string&,
                                 const std::string&) override {
        return result;
    }
};

TEST(ITranslatorDefault, CompleteWhenTextEmptyOrResultNot) {
    PlainTranslator t;
    EXPECT_TRUE(t.Translate(u"", "en", "es").complete);
    EXPECT_FALSE(t.Translate(u"hi", "en", "es").complete);
    EXPECT_FALSE(t.Translate(u"hi", "en", "es").Reason().empty());
    t.result = u"hola";
    auto out = t.Translate(u"hi", "en", "es");
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.text, u"hola");
    EXPECT_EQ(out.Reason(), "");
}

}  // namespace
}  // namespace velmora::translate
