#pragma once

#include "app/core/Configuration.h"
#include "platform/win32/DpapiSecret.h"

namespace velmora::app::win32 {

// API keys in the configuration file, encrypted for the current user: what the program reads
// at start and what the engine settings dialog reads and writes.
inline KeyCodec DpapiKeyCodec() {
    return {.open = platform::win32::UnprotectSecret, .seal = platform::win32::ProtectSecret};
}

}  // namespace velmora::app::win32
