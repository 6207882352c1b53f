#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::translate::engines {

// Every occurrence of the key, as is and percent-encoded, replaced by "***".
std::string Redact(std::string text, std::string_view key);

// Text from a server or a transport error made fit for a failure detail: the key redacted
// first, then only printable ASCII kept (other runs become one blank), then cut to maxChars.
std::string ServerText(std::string_view text, std::string_view key, std::size_t maxChars = 100);

}  // namespace velmora::translate::engines
