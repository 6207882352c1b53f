#pragma once

#include "platform/SystemInput.h"

namespace velmora::platform {

// SystemInput through SendInput, at the cursor's current place: the system keeps all the state.
struct SystemInput::State {};

}  // namespace velmora::platform
