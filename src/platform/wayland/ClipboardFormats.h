#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IClipboard.h"

namespace velmora::platform::wayland {

// Which of the types a clipboard owner offers we read, and how its bytes become text.

// The types SetText offers, each with the same UTF-8 bytes: the Wayland names and the X11 ones
// that programs under Xwayland ask for.
ClipboardContents TextContents(const std::u16string& text);

// The offered type to read text through: the UTF-8 ones first, then plain text, then the
// Latin-1 X11 name. Nullopt when no type is text.
std::optional<std::string> PickTextType(const std::vector<std::string>& offered);

// The text in bytes of that type.
std::u16string DecodeText(std::string_view type, std::string_view bytes);

// The offered type to read a picture through: PNG first, then any other image type.
std::optional<std::string> PickImageType(const std::vector<std::string>& offered);

// A type Text or Image would read: kept even when an owner offers more types than we list.
bool IsPreferredType(std::string_view type);

// Contents as a clipboard may hold them: no name twice (the first wins), at most maxFormats
// and at most maxBytes in all (a format that does not fit is left out).
ClipboardContents BoundContents(const ClipboardContents& contents, int maxFormats,
                                std::size_t maxBytes);

}  // namespace velmora::platform::wayland
