#pragma once

#include <optional>

#include "platform/Types.h"

namespace velmora::platform::wayland {

// A pane of text (a chat history) shows other pixels whenever a message arrives, it scrolls or
// its text is selected: the square around a point inside it no longer says whether the window
// that holds it is still there. What stays is where the pane is and what lies around it: the
// window's background and controls just outside its frame. A window put over the pane covers
// that too. Not told apart from new text: a window lying wholly inside the pane, and a window
// that looks the same around the pane (another conversation of the same program in the same
// place), whose pane is then taken for the picked one.

// The pane that holds `at` (picture coordinates) as the bounding rectangle of its background:
// the colour of most of the square of `radius` around the point, followed from there past the
// text it surrounds up to the pane's frame. nullopt where no colour fills most of the square,
// where the background reaches an edge of the picture (no frame all round: a bare window or
// the whole screen) or where it is no bigger than the square.
std::optional<Rect> PaneAround(const Bitmap& picture, Point at, int radius);

// Whether two pictures show the same band around a pane: from kPaneGap to kPaneGap + kPaneBand
// pixels outside its rectangle, past its frame's own lines (which a focus frame redraws). Up to
// a tenth of the band may differ, as with SameAround; pictures of different sizes never match.
inline constexpr int kPaneGap = 3;
inline constexpr int kPaneBand = 4;
bool SameAroundPane(const Bitmap& a, const Bitmap& b, Rect pane);

}  // namespace velmora::platform::wayland
