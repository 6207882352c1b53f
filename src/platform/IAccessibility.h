#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace velmora::platform {

// An editable text widget of another program, held between calls: the input box the user is
// typing in, found where the desktop names no window that has the focus.
class ITextField {
  public:
    virtual ~ITextField() = default;
    // Whether it still has the keyboard focus, in its program's active window.
    virtual bool HasFocus() = 0;
    virtual std::optional<std::u16string> Text() = 0;
    // Replaces its text; true when it took the text.
    virtual bool SetText(std::u16string_view text) = 0;
    // Runs its action that sends (an entry's activate); true when the program accepted it.
    virtual bool Send() = 0;
};

// Other programs' widgets read and written through the system's accessibility tree, as a screen
// reader does: no key, no click, no focus change and no clipboard. Every call answers nullopt
// or false where the window's program exposes no tree, or nothing fitting lies at the point;
// the callers then take the way of keys and clipboard.
class IAccessibility {
  public:
    virtual ~IAccessibility() = default;
    // The whole text of the non-editable text widget (a message history) at the screen point
    // of the window, lines ending in LF or U+2028 as the program gives them.
    virtual std::optional<std::u16string> HistoryTextAt(WinHandle window, Point screen) = 0;
    // The screen rectangle of the widget at the point, whatever it shows (a history view that
    // shows no text still has its place).
    virtual std::optional<Rect> WidgetRectAt(WinHandle window, Point screen) = 0;
    // The text of the editable text widget (an input box) at the point.
    virtual std::optional<std::u16string> InputTextAt(WinHandle window, Point screen) = 0;
    // Replaces the text of the editable widget at the point; true when it took the text.
    virtual bool SetInputTextAt(WinHandle window, Point screen, std::u16string_view text) = 0;
    // The centre of the editable text widget that has the keyboard focus in the window's
    // program (where the user is typing), for the calls above.
    virtual std::optional<Point> FocusedInputPoint(WinHandle window) = 0;
    // Runs the action of the control at the point that sends: a button's press or click, an
    // entry's activate. True when the program accepted the action.
    virtual bool SendActionAt(WinHandle window, Point screen) = 0;
    // Turns the system's accessibility on when it is off; true when it was off (programs
    // started before expose no tree until they are restarted).
    virtual bool TurnOnIfOff() = 0;
    // Where the desktop names no focused window (GNOME on Wayland): the editable text widget
    // with the keyboard focus in the one other program whose window is active. Nothing where no
    // program, or more than one, claims the focus: a stale claim must not be written to. This
    // program's own widgets are never among them.
    virtual std::unique_ptr<ITextField> FocusedFieldOnDesktop() { return nullptr; }
};

// For platforms and builds without an accessibility tree: every read fails, so the callers
// take the way of keys and clipboard.
class NoAccessibility : public IAccessibility {
  public:
    std::optional<std::u16string> HistoryTextAt(WinHandle, Point) override { return {}; }
    std::optional<Rect> WidgetRectAt(WinHandle, Point) override { return {}; }
    std::optional<std::u16string> InputTextAt(WinHandle, Point) override { return {}; }
    bool SetInputTextAt(WinHandle, Point, std::u16string_view) override { return false; }
    std::optional<Point> FocusedInputPoint(WinHandle) override { return {}; }
    bool SendActionAt(WinHandle, Point) override { return false; }
    bool TurnOnIfOff() override { return false; }
};

}  // namespace velmora::platform
