#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

// UTF-16 to UTF-8. An unpaired surrogate is written as U+FFFD.
std::string Utf8Encode(std::u16string_view text);

// UTF-8 to UTF-16. Never fails: each maximal ill-formed subpart (as browsers decode) becomes one
// U+FFFD, so truncated sequences, overlongs, surrogates and bytes F5..FF are all replaced.
std::u16string Utf8Decode(std::string_view bytes);

}  // namespace velmora::platform
