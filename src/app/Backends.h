#pragma once

#include <string>

#include "app/core/Backends.h"

namespace velmora::app {

// Whether a display can be reached (checked before any window toolkit starts).
bool DisplayReachable();

// The machine's processor id, without starting any backend that needs a display.
std::string ProcessorIdWithoutDisplay();

}  // namespace velmora::app
