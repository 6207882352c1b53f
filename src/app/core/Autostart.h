#pragma once

#include <string>

#include "platform/Platform.h"

namespace velmora::app {

inline constexpr char16_t kRunKeyPath[] =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kAutostartValueName[] = u"velmora";

// The autostart command: the program's path, in double quotes when it holds a blank, then " -s".
std::u16string AutostartCommand(const std::u16string& programPath);

// Writes the autostart entry when reading it gives "Error" (missing, unreadable or too long);
// any other entry, wherever it points, is left as it is.
void EnsureAutostart(platform::Platform& pf);

}  // namespace velmora::app
