#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IAccessibility.h"
#include "platform/x11/X11Windows.h"

namespace velmora::platform::atspi {

// The accessibility tree through the AT-SPI2 bus. A window is found by its process
// (_NET_WM_PID; without an X display no window is found, and only the desktop's focused field
// is) and the extents of the program's top-level frames; the widget at a point by
// descending through the children whose extents hold the point, and through children of no
// size (page tabs report 0x0 although their pages are shown). Every bus call is bounded, so a
// program that hangs cannot hang us.
class AtspiAccessibility : public IAccessibility {
  public:
    explicit AtspiAccessibility(x11::X11Windows& windows);
    // Where no other program's window can be named (GNOME on Wayland).
    AtspiAccessibility();
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    std::optional<std::u16string> HistoryTextAt(WinHandle window, Point screen) override;
    std::optional<Rect> WidgetRectAt(WinHandle window, Point screen) override;
    std::optional<std::u16string> InputTextAt(WinHandle window, Point screen) override;
    bool SetInputTextAt(WinHandle window, Point screen, std::u16string_view text) override;
    std::optional<Point> FocusedInputPoint(WinHandle window) override;
    bool SendActionAt(WinHandle window, Point screen) override;
    bool TurnOnIfOff() override;
    std::unique_ptr<ITextField> FocusedFieldOnDesktop() override;

    struct Node;  // one accessible object, owned

  private:
    enum class Want { ReadOnlyText, EditableText, Action, Any };
    std::unique_ptr<Node> Find(WinHandle window, Point screen, Want want);
    // The program's root in the tree, found by the window's process.
    std::unique_ptr<Node> ApplicationOf(WinHandle window);

    x11::X11Windows* windows_ = nullptr;
    bool ready_ = false;
};

}  // namespace velmora::platform::atspi
