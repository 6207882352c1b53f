#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace velmora::platform {

// Whether every top-level alternative of a regular expression (split at '|' outside groups and
// bracket classes) begins at an index `startsAt` accepts. Escaped characters are skipped. A ']'
// right after '[' or "[^" is literal when `leadingBracketLiteral` (PCRE) and closes the class
// otherwise (ECMAScript). False when a group or class is left open or closed twice.
bool EveryAlternativeStarts(std::u16string_view pattern, bool leadingBracketLiteral,
                            const std::function<bool(std::size_t)>& startsAt);

}  // namespace velmora::platform
