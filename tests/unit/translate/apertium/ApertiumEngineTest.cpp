// The engine against the installed Apertium programs: every expected text comes from running
// `apertium` itself on the same input.

#include "translate/engines/ApertiumEngine.h"

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "TestProcesses.h"
#include "platform/Utf8.h"
#include "platform/fake/FakePlatform.h"
#include "platform/posix/PosixPipeline.h"
#include "translate/engines/ApertiumCodes.h"

namespace velmora::translate::engines {
namespace {

using platform::PipeStatus;
using testing::ChildPids;
using testing::Eventually;
using testing::TempDir;

// What the apertium command prints for text (with -u unless marks are wanted).
std::u16string Reference(const std::string& mode, const std::u16string& text, bool marks = false) {
    platform::posix::PosixProgramRunner runner;
    platform::Argv argv{"apertium"};
    if (!marks) argv.push_back("-u");
    argv.push_back(mode);
    auto r = runner.Run(argv, platform::Utf8Encode(text), 60000, 1u << 20);
    EXPECT_EQ(r.status, PipeStatus::Ok) << r.error;
    EXPECT_EQ(r.exitCode, 0);
    return platform::Utf8Decode(r.output);
}

std::string Show(const std::u16string& s) {
    return platform::Utf8Encode(s);
}

class ApertiumEngineTest : public ::testing::Test {
  protected:
    platform::posix::PosixProgramRunner runner;
};

TEST_F(ApertiumEngineTest, SameTextAsTheApertiumCommand) {
    ApertiumEngine engine(runner);
    const std::u16string pieces[] = {
        u"Good morning, my friend",
        u"Hello. How are you? I am fine!",
        u"Where is the station?",
        u"The cat.\n\nThe dog.",
        u"Line one\nLine two\n",
        u"Dr. Smith went home.",
        u"no final stop",
        u"Wait... what?!",
        u"100 km/h and 3.5 %; a: b, \"c\" 'd' (e) [f] {g} \\ ^ $ @ # * /",
        u"I like xyzzyq very much.",
        u"你好 world 😀 ok",
        u"tab\there \x01\x07 bell",
        std::u16string(u"before\0after", 12),
        u"  spaces  around  ",
        u"",
        u"\n",
    };
    std::vector<std::u16string> expected;
    for (const auto& piece : pieces) expected.push_back(Reference("eng-spa", piece));
    // Twice: the second round runs on the warm pipeline.
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < std::size(pieces); ++i) {
            SCOPED_TRACE(Show(pieces[i]));
            auto r = engine.TranslatePiece(pieces[i], "en", "es");
            ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
            EXPECT_EQ(Show(*r.text), Show(expected[i]));
        }
    }
    // One pipeline for the direction, kept between pieces.
    auto installed = DiscoverModes({"/usr/share/apertium/modes"}, ApertiumCode);
    EXPECT_EQ(ChildPids().size(), installed.at("eng-spa").commands.size());
}

TEST_F(ApertiumEngineTest, GreetingExactlyAsTheCommandGivesIt) {
    ApertiumEngine engine(runner);
    auto r = engine.TranslatePiece(u"Good morning, my friend", "en", "es");
    ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
    EXPECT_EQ(*r.text, Reference("eng-spa", u"Good morning, my friend"));
    EXPECT_EQ(Show(*r.text), "Buenos días, mi amigo");
}

TEST_F(ApertiumEngineTest, EveryInstalledDirectionOfTheTable) {
    ApertiumEngine engine(runner);
    struct Case {
        const char* src;
        const char* dst;
        const char* mode;
        std::u16string text;
    };
    const Case cases[] = {
        {"en", "ca", "eng-cat", u"Good morning. How are you?"},
        {"ca", "en", "cat-eng", u"Bon dia, amic meu. Com estàs?"},
        {"en", "gl", "en-gl", u"Good morning. How are you?"},  // a two-letter mode name
        {"gl", "en", "gl-en", u"Bos días, meu amigo."},
        {"es", "en", "spa-eng", u"¿Dónde está la estación? Me gusta xyzzyq."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(engine.Supports(c.src, c.dst));
        auto r = engine.TranslatePiece(c.text, c.src, c.dst);
        ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
        EXPECT_EQ(Show(*r.text), Show(Reference(c.mode, c.text)));
    }
}

TEST_F(ApertiumEngineTest, UnknownWordMarksFollowTheOption) {
    const std::u16string piece = u"I like xyzzyq very much.";
    ApertiumOptions marked;
    marked.markUnknown = true;
    ApertiumEngine withMarks(runner, marked);
    auto r = withMarks.TranslatePiece(piece, "en", "es");
    ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
    EXPECT_EQ(Show(*r.text), Show(Reference("eng-spa", piece, true)));
    EXPECT_NE(r.text->find(u"*xyzzyq"), std::u16string::npos);

    ApertiumEngine plain(runner);
    auto u = plain.TranslatePiece(piece, "en", "es");
    ASSERT_TRUE(u.text.has_value()) << u.failure.detail;
    EXPECT_EQ(u.text->find(u'*'), std::u16string::npos);
}

TEST_F(ApertiumEngineTest, PairsWithoutAnInstalledModeAreUnsupported) {
    ApertiumEngine engine(runner);
    EXPECT_TRUE(engine.Supports("en", "es"));
    EXPECT_TRUE(engine.Supports("es", "en"));
    const std::pair<const char*, const char*> unsupported[] = {
        {"es", "ca"},     // both mapped, no mode
        {"en", "fr"},     // both mapped, no mode
        {"en", "en"},     // same language
        {"en", "zh-CN"},  // no three-letter code
        {"", "es"},
    };
    for (const auto& [src, dst] : unsupported) {
        SCOPED_TRACE(std::string(src) + "->" + dst);
        EXPECT_FALSE(engine.Supports(src, dst));
        auto r = engine.TranslatePiece(u"Hello", src, dst);
        EXPECT_FALSE(r.text.has_value());
        EXPECT_EQ(r.failure.kind, FailureKind::Unsupported);
    }
    // Never attempted: nothing was started.
    EXPECT_TRUE(ChildPids().empty());
}

TEST_F(ApertiumEngineTest, KilledPipelineIsStartedAgain) {
    // All of its programs killed and gone, or one killed just before the piece.
    for (bool all : {true, false}) {
        SCOPED_TRACE(all ? "all killed" : "one killed");
        ApertiumEngine engine(runner);
        auto first = engine.TranslatePiece(u"Good morning", "en", "es");
        ASSERT_TRUE(first.text.has_value()) << first.failure.detail;
        auto before = ChildPids();
        ASSERT_FALSE(before.empty());
        if (all) {
            for (pid_t pid : before) kill(pid, SIGKILL);
            ASSERT_TRUE(Eventually([&] {
                for (pid_t pid : before) {
                    const std::string s =
                        testing::ReadProcFile("/proc/" + std::to_string(pid) + "/stat");
                    if (s.find(") Z") == std::string::npos) return false;
                }
                return true;
            }));
        } else {
            kill(before[before.size() / 2], SIGKILL);
        }
        auto second = engine.TranslatePiece(u"How are you?", "en", "es");
        ASSERT_TRUE(second.text.has_value()) << second.failure.detail;
        EXPECT_EQ(*second.text, Reference("eng-spa", u"How are you?"));
        for (pid_t pid : ChildPids()) {
            EXPECT_EQ(std::find(before.begin(), before.end(), pid), before.end());
        }
    }
    EXPECT_TRUE(ChildPids().empty());
}

// A modes folder whose eng-spa runs a script: it hangs the first time it runs and copies its
// input the next time.
struct HangOnceModes {
    TempDir dir;
    HangOnceModes() {
        auto script = dir.Write("hang-once.sh",
                                "#!/bin/sh\n"
                                "if [ -e \"$0.ran\" ]; then exec cat; fi\n"
                                ": > \"$0.ran\"\n"
                                "sleep 987653\n");  // a grandchild: only the group kill reaches it
        chmod(script.c_str(), 0700);
        dir.Write("eng-spa.mode", "'" + script.string() + "'\n");
        dir.Write("spa-eng.mode", "sort -r\n");  // waits for an end of input that never comes
        dir.Write("eng-cat.mode", "cat\n");      // refuses -z and ends at once
    }
};

TEST_F(ApertiumEngineTest, HungPipelineFailsThePieceAndIsReplaced) {
    HangOnceModes modes;
    ApertiumOptions options;
    options.modeFolders = {modes.dir.Path()};
    options.pieceTimeoutMs = 300;
    {
        ApertiumEngine engine(runner, options);
        auto start = std::chrono::steady_clock::now();
        auto hung = engine.TranslatePiece(u"Hello there", "en", "es");
        auto took = std::chrono::steady_clock::now() - start;
        ASSERT_FALSE(hung.text.has_value());
        EXPECT_EQ(hung.failure.kind, FailureKind::Transport);
        EXPECT_NE(hung.failure.detail.find("timed out"), std::string::npos) << hung.failure.detail;
        EXPECT_LT(took, std::chrono::seconds(5));  // bounded; the script would sleep for days
        EXPECT_TRUE(ChildPids().empty());
        EXPECT_TRUE(Eventually([] { return !testing::AnyProcessWithArg("987653"); }));

        // The next piece gets a fresh pipeline (this time the script copies its input).
        auto next = engine.TranslatePiece(u"Hello there", "en", "es");
        ASSERT_TRUE(next.text.has_value()) << next.failure.detail;
        EXPECT_EQ(*next.text, u"Hello there");

        auto sorted = engine.TranslatePiece(u"Hola", "es", "en");
        EXPECT_EQ(sorted.failure.kind, FailureKind::Transport);
        auto ended = engine.TranslatePiece(u"Hello", "en", "ca");
        EXPECT_EQ(ended.failure.kind, FailureKind::Transport);
        EXPECT_NE(ended.failure.detail.find("ended"), std::string::npos) << ended.failure.detail;
    }
    // The copying pipeline ends with its engine.
    EXPECT_TRUE(ChildPids().empty());
}

TEST_F(ApertiumEngineTest, NulInsideAPieceNeverSplitsIt) {
    // Pass-through formatters, so the NUL reaches the engine, and a mode that flushes on NUL.
    TempDir dir;
    dir.Write("eng-spa.mode", "sed -u s/o/0/g\n");
    ApertiumOptions options;
    options.modeFolders = {dir.Path()};
    options.deformatter = {"cat"};
    options.reformatter = {"cat"};
    ApertiumEngine engine(runner, options);
    auto r = engine.TranslatePiece(std::u16string(u"foo\0boo", 7), "en", "es");
    ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
    EXPECT_EQ(*r.text, u"f00b00");
    // Nothing of the first piece is left over for the second.
    auto next = engine.TranslatePiece(u"zoo", "en", "es");
    ASSERT_TRUE(next.text.has_value()) << next.failure.detail;
    EXPECT_EQ(*next.text, u"z00");
}

TEST_F(ApertiumEngineTest, KeptPipelineThatDiesDuringAPieceGetsOneFreshStart) {
    // eng-spa passes one piece and dies on reading the next, while it still looked alive;
    // eng-cat dies on every first piece.
    TempDir dir;
    dir.Write("eng-spa.mode", "sed -u 2Q\n");
    dir.Write("eng-cat.mode", "sed -u 1Q\n");
    ApertiumOptions options;
    options.modeFolders = {dir.Path()};
    options.deformatter = {"cat"};
    options.reformatter = {"cat"};
    ApertiumEngine engine(runner, options);
    for (const char16_t* piece : {u"one", u"two", u"three"}) {
        auto r = engine.TranslatePiece(piece, "en", "es");
        ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
        EXPECT_EQ(*r.text, piece);
    }
    auto never = engine.TranslatePiece(u"one", "en", "ca");
    EXPECT_EQ(never.failure.kind, FailureKind::Transport);
    EXPECT_NE(never.failure.detail.find("ended"), std::string::npos) << never.failure.detail;
}

TEST_F(ApertiumEngineTest, MissingProgramsFailThePiece) {
    TempDir dir;
    dir.Write("eng-spa.mode", "velmora-no-such-program 'x.bin'\n");
    ApertiumOptions options;
    options.modeFolders = {dir.Path()};
    ApertiumEngine engine(runner, options);
    auto r = engine.TranslatePiece(u"Hello", "en", "es");
    EXPECT_EQ(r.failure.kind, FailureKind::Transport);
    EXPECT_NE(r.failure.detail.find("velmora-no-such-program"), std::string::npos);

    options.modeFolders = {"/usr/share/apertium/modes"};
    options.deformatter = {"velmora-no-such-deformatter"};
    ApertiumEngine noDeformatter(runner, options);
    auto d = noDeformatter.TranslatePiece(u"Hello", "en", "es");
    EXPECT_EQ(d.failure.kind, FailureKind::Transport);
    EXPECT_TRUE(ChildPids().empty());
}

TEST_F(ApertiumEngineTest, PieceAskedForDuringAWaitIsRefused) {
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop(clock, log);
    loop.logWaits = false;
    platform::posix::PosixProgramRunner yielding(&loop);
    ApertiumEngine engine(yielding);
    std::optional<PieceResult> nested;
    loop.onYield = [&] {
        if (!nested) nested = engine.TranslatePiece(u"Nested", "en", "es");
    };
    auto r = engine.TranslatePiece(u"Good morning, my friend", "en", "es");
    ASSERT_TRUE(r.text.has_value()) << r.failure.detail;
    EXPECT_EQ(*r.text, Reference("eng-spa", u"Good morning, my friend"));
    ASSERT_TRUE(nested.has_value());
    EXPECT_EQ(nested->failure.kind, FailureKind::Transport);
    EXPECT_NE(nested->failure.detail.find("busy"), std::string::npos);
}

}  // namespace
}  // namespace velmora::translate::engines
