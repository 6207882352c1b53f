#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/IHttp.h"
#include "translate/engines/IEngine.h"

namespace velmora::translate::engines {

// The failure the shared status classes give: 429 rate limited, 456 quota, 5xx server error,
// 401/403 bad key, other 4xx bad request, anything else no translation. The server's message,
// when there is one, follows the short English text (already passed through ServerText).
PieceResult FailureForStatus(const platform::HttpResponse& res, const std::string& serverMessage);

// Sends the request and hands the answer to the parser; a transport failure becomes Transport.
// Never throws.
PieceResult Exchange(platform::IHttp& http, const platform::HttpRequest& request,
                     const std::function<PieceResult(const platform::HttpResponse&)>& parse,
                     std::string_view key);

}  // namespace velmora::translate::engines
