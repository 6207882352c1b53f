#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "platform/VirtualKey.h"
#include "target/SendShortcut.h"

namespace velmora::target {
namespace {

namespace vk = platform::vk;

TEST(SendShortcutListsTest, ItemsInTheirOrder) {
    EXPECT_EQ(ControlItems(), (std::vector<std::u16string>{u"(无)", u"CTRL", u"ALT", u"SHIFT"}));
    const auto& keys = KeyItems();
    ASSERT_EQ(keys.size(), 27u);
    EXPECT_EQ(keys[0], u"{Enter}");
    EXPECT_EQ(keys[1], u"A");
    EXPECT_EQ(keys[19], u"S");
    EXPECT_EQ(keys[26], u"Z");
}

TEST(SendShortcutMappingTest, EveryPositionOfBothLists) {
    const std::int32_t controls[] = {0, vk::Control, vk::Menu, vk::Shift};
    for (int pos = 0; pos < 4; ++pos) EXPECT_EQ(ControlForPosition(pos, 99), controls[pos]) << pos;
    EXPECT_EQ(ControlForPosition(-1, vk::Menu), vk::Menu);  // nothing selected keeps the value
    const auto& keys = KeyItems();
    EXPECT_EQ(KeyForSelection(0, keys[0]), vk::Return);
    for (int pos = 1; pos <= 26; ++pos)
        EXPECT_EQ(KeyForSelection(pos, keys[pos]), vk::LetterA + pos - 1) << pos;
}

// A dialog that the test answers: each show runs one scripted action on the choice.
class ScriptedDialog : public ISendShortcutDialog {
  public:
    void ShowModal() override {
        ++shows;
        auto action = actions.front();
        actions.pop_front();
        action(choice);
    }
    const SendShortcutChoice& Choice() const override { return choice; }
    std::deque<std::function<void(SendShortcutChoice&)>> actions;
    SendShortcutChoice choice;
    int shows = 0;
};

auto Ok(int ctrl, int key) {
    return [ctrl, key](SendShortcutChoice& c) { c.Ok(ctrl, key, KeyItems()[key]); };
}
auto Cancel() {
    return [](SendShortcutChoice& c) { c.Cancel(); };
}
auto CloseBox() {
    return [](SendShortcutChoice&) {};
}

TEST(SendShortcutSettingTest, OkCancelAndCloseBoxAcrossUses) {
    struct Step {
        std::function<void(SendShortcutChoice&)> action;
        std::int32_t control, key;
    };
    const Step steps[] = {
        {CloseBox(), 0, 0},                       // before any use: nothing set
        {Ok(1, 0), vk::Control, vk::Return},      // CTRL + {Enter}
        {Ok(0, 26), 0, vk::Letter('Z')},          // (无) + Z
        {Ok(0, 0), 0, vk::Return},                // unchanged selection: Enter alone
        {Ok(2, 19), vk::Menu, vk::Letter('S')},   // ALT + S
        {CloseBox(), vk::Menu, vk::Letter('S')},  // the close box keeps both
        {Cancel(), 0, 0},                         // cancelling clears both
        {Ok(3, 1), vk::Shift, vk::Letter('A')},   // SHIFT + A
    };
    ScriptedDialog dialog;
    std::int32_t control = 5, key = 5;
    for (const auto& s : steps) dialog.actions.push_back(s.action);
    int i = 0;
    for (const auto& s : steps) {
        RunSendShortcutSetting(dialog, control, key);
        EXPECT_EQ(control, s.control) << "step " << i;
        EXPECT_EQ(key, s.key) << "step " << i;
        ++i;
    }
    EXPECT_EQ(dialog.shows, 8);
}

}  // namespace
}  // namespace velmora::target
