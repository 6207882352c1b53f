#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/IHttp.h"

namespace velmora::translate::engines {

using HttpHeaders = platform::HttpResponse::Headers;

// The first header of that name, compared without regard to case.
std::optional<std::string> FindHeader(const HttpHeaders& headers, std::string_view name);

// Retry-After in whole seconds (the delta form; a date or junk gives none), at most a day.
std::optional<int> ParseRetryAfter(const HttpHeaders& headers);

}  // namespace velmora::translate::engines
