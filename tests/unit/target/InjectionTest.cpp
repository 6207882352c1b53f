#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "target/Injector.h"
#include "target/mduKeyBoard.h"
#include "target/mduMouse.h"

namespace velmora::target {
namespace {

using Log = std::vector<std::string>;

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
    EXPECT_EQ(fp.loop.yields(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Chords, PressKeyChordTest,
    ::testing::Values(
        ChordCase{"CtrlA",
                  65,
                  17,
                  100,
                  {"kdown 17", "kdown 65", "yield", "wait 100", "kup 65", "kup 17"}},
        ChordCase{"EnterAlone", 13, 0, 100, {"kdown 13", "yield", "wait 100", "kup 13"}},
        // 1 is no modifier key at all, but it is pressed and released like one.
        ChordCase{"DeleteWithCodeOne",
                  46,
                  1,
                  100,
                  {"kdown 1", "kdown 46", "yield", "wait 100", "kup 46", "kup 1"}},
        ChordCase{"CtrlVShortHold",
                  86,
                  17,
                  1,
                  {"kdown 17", "kdown 86", "yield", "wait 1", "kup 86", "kup 17"}},
        ChordCase{
            "ZeroDelayStillYieldsAndWaits", 90, 0, 0, {"kdown 90", "yield", "wait 0", "kup 90"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClickAtTest, MovesClicksThenYieldsAndWaits) {
    platform::fake::FakePlatform fp;
    ClickAt(fp.input, fp.loop, 100, 200, 10);
    EXPECT_EQ(fp.log.Entries(), (Log{"move 100,200", "ldown", "lup", "yield", "wait 10"}));
    EXPECT_EQ(fp.input.cursor, (platform::Point{100, 200}));
}

TEST(ClickAtTest, ZeroDelayStillWaitsZero) {
    platform::fake::FakePlatform fp;
    ClickAt(fp.input, fp.loop, -5, 7, 0);
    EXPECT_EQ(fp.log.Entries(), (Log{"move -5,7", "ldown", "lup", "yield", "wait 0"}));
}

TEST(InjectorTest, EventsOfTheProgramRunInsideTheHold) {
    // A timer of our own window may fire between press and release; it must see the key
    // down already and the release still to come.
    platform::fake::FakePlatform fp;
    fp.loop.logWaits = false;
    auto timer = fp.loop.CreateTimer();
    timer->SetInterval(50);
    timer->OnTick([&] { fp.log.Add("tick"); });
    timer->SetEnabled(true);
    auto p = fp.platform();
    Injector inject(p);
    inject.PressKeyChord(67, 17, 100);
    inject.ClickAt(1, 2, 10);
    EXPECT_EQ(fp.log.Entries(), (Log{"kdown 17", "kdown 67", "tick", "tick", "kup 67", "kup 17",
                                     "move 1,2", "ldown", "lup"}));
}

}  // namespace
}  // namespace velmora::target
