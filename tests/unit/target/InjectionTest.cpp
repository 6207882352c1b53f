#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/VirtualKey.h"
#include "platform/fake/FakePlatform.h"
#include "target/Injector.h"
#include "target/mduKeyBoard.h"
#include "target/mduMouse.h"

namespace velmora::target {
namespace {

using Log = std::vector<std::string>;
namespace vk = platform::vk;

std::string Down(int code) {
    return "kdown " + std::to_string(code);
}
std::string Up(int code) {
    return "kup " + std::to_string(code);
}

struct ChordCase {
    const char* name;
    std::uint8_t key;
    std::uint8_t modifier;
    int delayMs;
    Log expected;
};

class PressKeyChordTest : public ::testing::TestWithParam<ChordCase> {};

TEST_P(PressKeyChordTest, ProducesExactPrimitiveSequence) {
    const ChordCase& c = GetParam();
    platform::fake::FakePlatform fp;
    std::int64_t before = fp.clock.NowMs();
    PressKeyChord(fp.input, fp.loop, c.key, c.modifier, c.delayMs);
    EXPECT_EQ(fp.log.Entries(), c.expected);
    // The hold really passes on the loop's clock before the release.
    EXPECT_EQ(fp.clock.NowMs() - before, c.delayMs);
    EXPECT_EQ(fp.loop.yields(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Chords, PressKeyChordTest,
    ::testing::Values(
        ChordCase{"CtrlA",
                  vk::Letter('A'),
                  vk::Control,
                  100,
                  {Down(vk::Control), Down(vk::Letter('A')), "hold 100", Up(vk::Letter('A')),
                   Up(vk::Control)}},
        ChordCase{"EnterAlone", vk::Return, 0, 100, {Down(vk::Return), "hold 100", Up(vk::Return)}},
        // 1 is no modifier key at all, but it is pressed and released like one.
        ChordCase{"DeleteWithCodeOne",
                  vk::Delete,
                  1,
                  100,
                  {Down(1), Down(vk::Delete), "hold 100", Up(vk::Delete), Up(1)}},
        ChordCase{"CtrlVShortHold",
                  vk::Letter('V'),
                  vk::Control,
                  1,
                  {Down(vk::Control), Down(vk::Letter('V')), "hold 1", Up(vk::Letter('V')),
                   Up(vk::Control)}},
        ChordCase{"ZeroDelayStillHolds",
                  vk::Letter('Z'),
                  0,
                  0,
                  {Down(vk::Letter('Z')), "hold 0", Up(vk::Letter('Z'))}}),
    [](const auto& info) { return std::string(info.param.name); });

// The system lets go of a held key while chord number `chord` (counted over every chord pressed,
// from 0) is held, as Wine does with its modifiers when a window gains the X focus.
struct Drop {
    int chord;
    std::uint8_t code;
};

struct RunCase {
    const char* name;
    std::vector<Drop> drops;
    Log keys;  // the keys that went down, modifiers left out
    bool whole;
};

class PressChordRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(PressChordRunTest, StartsOverWhenAModifierWasLetGo) {
    const RunCase& c = GetParam();
    platform::fake::FakePlatform fp;
    const auto isKey = [](const std::string& e) {
        return e.starts_with("kdown ") && e != Down(vk::Control) && e != Down(1);
    };
    fp.loop.onHold = [&] {
        const auto& log = fp.log.Entries();
        const int held = static_cast<int>(std::count_if(log.begin(), log.end(), isKey)) - 1;
        for (const Drop& d : c.drops)
            if (d.chord == held) fp.input.down.erase(d.code);
    };
    const bool whole = PressChordRun(fp.input, fp.loop,
                                     {{vk::Letter('A'), vk::Control, 100},
                                      {vk::Delete, 1, 100},
                                      {vk::Letter('V'), vk::Control, 1}});
    Log keys;
    for (const auto& e : fp.log.Entries())
        if (isKey(e)) keys.push_back(e);
    EXPECT_EQ(keys, c.keys);
    EXPECT_EQ(whole, c.whole);
    EXPECT_TRUE(fp.input.down.empty()) << "every key pressed is released";
}

const std::string kA = Down(vk::Letter('A')), kDel = Down(vk::Delete), kV = Down(vk::Letter('V'));

INSTANTIATE_TEST_SUITE_P(
    Runs, PressChordRunTest,
    ::testing::Values(
        RunCase{"NothingLetGo", {}, {kA, kDel, kV}, true},
        RunCase{"UnderSelectAll", {{0, vk::Control}}, {kA, kA, kDel, kV}, true},
        RunCase{"UnderPaste", {{2, vk::Control}}, {kA, kDel, kV, kA, kDel, kV}, true},
        // Code 1 around Delete is no modifier: whatever the system thinks of it, no rerun.
        RunCase{"WrapperOfDeleteIsNoModifier", {{1, 1}}, {kA, kDel, kV}, true},
        RunCase{"EveryTime",
                {{0, vk::Control}, {1, vk::Control}, {2, vk::Control}},
                {kA, kA, kA},
                false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClickAtTest, MovesClicksThenHolds) {
    platform::fake::FakePlatform fp;
    ClickAt(fp.input, fp.loop, 100, 200, 10);
    EXPECT_EQ(fp.log.Entries(), (Log{"move 100,200", "ldown", "lup", "hold 10"}));
    EXPECT_EQ(fp.input.cursor, (platform::Point{100, 200}));
}

TEST(ClickAtTest, ZeroDelayStillHoldsZero) {
    platform::fake::FakePlatform fp;
    ClickAt(fp.input, fp.loop, -5, 7, 0);
    EXPECT_EQ(fp.log.Entries(), (Log{"move -5,7", "ldown", "lup", "hold 0"}));
}

TEST(ClickAtTest, KeysWaitUntilTheClickHasReallyEnded) {
    // A window manager holds the click's release back for 40 ms: the chord that follows must
    // not start before it is through, or the keys reach the window ahead of the click.
    platform::fake::FakePlatform fp;
    auto p = fp.platform();
    Injector inject(p);
    fp.input.buttonHeld = true;
    std::int64_t start = fp.clock.NowMs();
    fp.loop.onHold = [&] {
        if (fp.input.buttonHeld && fp.clock.NowMs() - start >= 40) {
            fp.input.buttonHeld = false;
            fp.log.Add("released");
        }
    };
    inject.ClickAt(5, 6, 0);
    inject.PressKeyChord(vk::Letter('A'), vk::Control, 0);
    Log entries = fp.log.Entries();
    auto released = std::find(entries.begin(), entries.end(), "released");
    auto ctrl = std::find(entries.begin(), entries.end(), Down(vk::Control));
    ASSERT_NE(released, entries.end());
    EXPECT_LT(released, ctrl);
    EXPECT_GE(fp.clock.NowMs() - start, 40);
}

TEST(ClickAtTest, AButtonHeldByTheUserDelaysTheClickBoundedly) {
    platform::fake::FakePlatform fp;
    fp.input.buttonHeld = true;
    std::int64_t start = fp.clock.NowMs();
    ClickAt(fp.input, fp.loop, 1, 1, 0);
    EXPECT_GE(fp.clock.NowMs() - start, 500);
    EXPECT_LE(fp.clock.NowMs() - start, 2000);
}

TEST(InjectorTest, NothingOfOursRunsWhileAnInjectedKeyIsDownOrAClickGoesThrough) {
    // A handler run inside the hold (a slow request, say) would keep the key down long enough
    // for the server to repeat it, or let a key overtake the click; events wait until the
    // injection is through. The holds still pass in full.
    platform::fake::FakePlatform fp;
    fp.loop.logWaits = false;
    fp.loop.onYield = [&] {
        if (fp.log.Entries().empty() || fp.log.Entries().back() != "event") fp.log.Add("event");
    };
    auto p = fp.platform();
    Injector inject(p);
    std::int64_t before = fp.clock.NowMs();
    inject.PressKeyChord(vk::Letter('C'), vk::Control, 100);
    EXPECT_EQ(fp.clock.NowMs() - before, 100);
    inject.ClickAt(1, 2, 10);
    EXPECT_EQ(fp.clock.NowMs() - before, 110);
    EXPECT_EQ(fp.log.Entries(), (Log{Down(vk::Control), Down(vk::Letter('C')), Up(vk::Letter('C')),
                                     Up(vk::Control), "move 1,2", "ldown", "lup"}));
}

}  // namespace
}  // namespace velmora::target
