#pragma once

#include "platform/SystemClipboard.h"

class QImage;

namespace velmora::platform::qt {

// Conversions between the logic's pictures and Qt's. SystemClipboard is defined here through
// QClipboard: on X11 a paste by another program is a request our event loop answers, so
// Reads counts them.
QImage ToQImage(const Bitmap& b);
Bitmap FromQImage(const QImage& image);

}  // namespace velmora::platform::qt
