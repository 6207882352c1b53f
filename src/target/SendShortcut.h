#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::target {

// The items of the two lists, in their order: "(无)", "CTRL", "ALT", "SHIFT" and "{Enter}",
// "A" ... "Z".
const std::vector<std::u16string>& ControlItems();
const std::vector<std::u16string>& KeyItems();

// The modifier code for a 0-based position in the control list; -1 (no selection) keeps
// current.
std::int32_t ControlForPosition(int position, std::int32_t current);
// The key code for a 0-based position in the key list and that item's text: Return for position
// 0, else the code of the text's first character.
std::int32_t KeyForSelection(int position, const std::u16string& itemText);

// The dialog's lasting state and its three ways out. The fields keep their values between
// uses of the dialog.
struct SendShortcutChoice {
    std::int32_t mControl = 0;
    std::int32_t mKey = 0;

    void Ok(int controlPosition, int keyPosition, const std::u16string& keyText) {
        mControl = ControlForPosition(controlPosition, mControl);
        mKey = KeyForSelection(keyPosition, keyText);
    }
    // Cancelling clears the shortcut, so the send button is clicked again.
    void Cancel() {
        mControl = 0;
        mKey = 0;
    }
    // The close box leaves both fields alone.
};

// Shows the shortcut dialog modally; returns when it is hidden or closed.
class ISendShortcutDialog {
  public:
    virtual ~ISendShortcutDialog() = default;
    virtual void ShowModal() = 0;
    virtual const SendShortcutChoice& Choice() const = 0;
};

// The settings menu entry: show the dialog, then take over its fields.
void RunSendShortcutSetting(ISendShortcutDialog& dialog, std::int32_t& SendShortcutControl,
                            std::int32_t& SendShortcutKey);

}  // namespace velmora::target
