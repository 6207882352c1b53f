#pragma once

#include <cstdint>
#include <string>

namespace velmora::relay {

// Colours in the box's layout 0x00BBGGRR.
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kBlue = 0xFF0000;
inline constexpr std::uint32_t kRed = 0x0000FF;
inline constexpr std::uint32_t kMagenta = 0xFF00FF;

// The rich-text result box as the relay logic sees it. It keeps a current format (colour, bold,
// italic) at its insertion point; every insertion takes it, and an attribute that is not set
// keeps its value across insertions and across flows.
class IResultBox {
  public:
    virtual ~IResultBox() = default;
    virtual void SetColor(std::uint32_t bgr) = 0;
    virtual void SetBold(bool on) = 0;
    virtual void SetItalic(bool on) = 0;
    // Inserts at the insertion point with the current format.
    virtual void Insert(const std::u16string& text) = 0;
    // Gives the box the keyboard focus, moves the caret to the end and types a line break there
    // (Ctrl+End, Enter). Returns after the focus events of both input boxes have run.
    virtual void FocusAndNewLine() = 0;
    // The same line break at the end without moving the focus: for writes that arrive while
    // the user types in another box.
    virtual void NewLineAtEnd() = 0;
    // Puts the insertion point at the end of the text so the end is in view.
    virtual void ScrollToEnd() = 0;
};

}  // namespace velmora::relay
