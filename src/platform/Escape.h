#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

// The text with a backslash before each backslash and each character of alsoEscaped, and line
// feed, tab and carriage return written \n, \t and \r: the escapes of INI and desktop entry
// values.
std::string BackslashEscape(std::string_view text, std::string_view alsoEscaped = {});

}  // namespace velmora::platform
