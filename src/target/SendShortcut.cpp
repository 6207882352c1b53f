#include "target/SendShortcut.h"

#include <array>

#include "platform/VirtualKey.h"

namespace velmora::target {

namespace vk = platform::vk;

namespace {
// In the order of ControlItems(): none, CTRL, ALT, SHIFT.
constexpr std::array<std::int32_t, 4> kControlCodes = {0, vk::Control, vk::Menu, vk::Shift};
}  // namespace

const std::vector<std::u16string>& ControlItems() {
    static const std::vector<std::u16string> items = {u"(无)", u"CTRL", u"ALT", u"SHIFT"};
    return items;
}

const std::vector<std::u16string>& KeyItems() {
    static const std::vector<std::u16string> items = [] {
        std::vector<std::u16string> v{u"{Enter}"};
        for (char16_t c = vk::LetterA; c <= vk::LetterZ; ++c) v.push_back(std::u16string(1, c));
        return v;
    }();
    return items;
}

std::int32_t ControlForPosition(int position, std::int32_t current) {
    if (position < 0 || position >= static_cast<int>(kControlCodes.size())) return current;
    return kControlCodes[static_cast<size_t>(position)];
}

std::int32_t KeyForSelection(int position, const std::u16string& itemText) {
    if (position == 0) return vk::Return;
    return itemText.empty() ? 0 : static_cast<std::int32_t>(itemText[0]);
}

void RunSendShortcutSetting(ISendShortcutDialog& dialog, std::int32_t& SendShortcutControl,
                            std::int32_t& SendShortcutKey) {
    dialog.ShowModal();
    SendShortcutControl = dialog.Choice().mControl;
    SendShortcutKey = dialog.Choice().mKey;
}

}  // namespace velmora::target
