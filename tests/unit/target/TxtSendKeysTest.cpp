#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"
#include "target/TxtSendKeys.h"

namespace velmora::target {
namespace {

struct KeyCase {
    const char* name;
    int vk;
    bool ctrl, alt, shift, meta;
    bool sends;
};

class TxtSendKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(TxtSendKeyTest, OnlyExactChordsSendButEveryKeyStampsTheTime) {
    const KeyCase& c = GetParam();
    platform::fake::FakePlatform fp;
    std::int64_t lastKeyTime = 0;
    int sends = 0;
    bool consumed = TxtSendKeyDown(fp.clock, lastKeyTime, c.vk, c.ctrl, c.alt, c.shift, c.meta,
                                   [&] { ++sends; });
    EXPECT_EQ(consumed, c.sends);
    EXPECT_EQ(sends, c.sends ? 1 : 0);
    EXPECT_EQ(lastKeyTime, fp.clock.NowSeconds());
    EXPECT_EQ(IsSendChord(c.vk, c.ctrl, c.alt, c.shift, c.meta), c.sends);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TxtSendKeyTest,
    ::testing::Values(KeyCase{"CtrlEnter", 13, true, false, false, false, true},
                      KeyCase{"AltS", 83, false, true, false, false, true},
                      KeyCase{"Enter", 13, false, false, false, false, false},
                      KeyCase{"ShiftEnter", 13, false, false, true, false, false},
                      KeyCase{"CtrlShiftEnter", 13, true, false, true, false, false},
                      KeyCase{"CtrlS", 83, true, false, false, false, false},
                      KeyCase{"CtrlAltEnter", 13, true, true, false, false, false},
                      KeyCase{"AltShiftS", 83, false, true, true, false, false},
                      KeyCase{"AltEnter", 13, false, true, false, false, false},
                      KeyCase{"CtrlMetaEnter", 13, true, false, false, true, false},
                      KeyCase{"PlainS", 83, false, false, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TxtSendFocusTest, MonitorTimerFollowsTheFocus) {
    platform::fake::FakePlatform fp;
    auto timer1 = fp.loop.CreateTimer();
    bool aborted = false;
    int hides = 0;
    TxtSendGotFocus(*timer1);
    EXPECT_TRUE(timer1->Enabled());
    TxtSendLostFocus(*timer1, aborted, [&] { ++hides; });
    EXPECT_FALSE(timer1->Enabled());
    EXPECT_TRUE(aborted);
    EXPECT_EQ(hides, 1);
    TxtSendGotFocus(*timer1);
    EXPECT_TRUE(timer1->Enabled());
}

}  // namespace
}  // namespace velmora::target
