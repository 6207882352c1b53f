#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IHttp.h"
#include "translate/engines/IEngine.h"

namespace velmora::translate::engines {

using HttpHeaders = platform::HttpResponse::Headers;

// The first header of that name, compared without regard to case.
std::optional<std::string> FindHeader(const HttpHeaders& headers, std::string_view name);

// Retry-After in whole seconds (the delta form; a date or junk gives none), at most a day.
std::optional<int> ParseRetryAfter(const HttpHeaders& headers);

// Every occurrence of the key, as is and percent-encoded, replaced by "***".
std::string Redact(std::string text, std::string_view key);

// Text from a server or a transport error made fit for a failure detail: the key redacted
// first, then only printable ASCII kept (other runs become one blank), then cut to maxChars.
std::string ServerText(std::string_view text, std::string_view key, std::size_t maxChars = 100);

// The failure the shared status classes give: 429 rate limited, 456 quota, 5xx server error,
// 401/403 bad key, other 4xx bad request, anything else no translation. The server's message,
// when there is one, follows the short English text (already passed through ServerText).
PieceResult FailureForStatus(const platform::HttpResponse& res, const std::string& serverMessage);

// Sends the request and hands the answer to the parser; a transport failure becomes Transport.
// Never throws.
PieceResult Exchange(platform::IHttp& http, const platform::HttpRequest& request,
                     const std::function<PieceResult(const platform::HttpResponse&)>& parse,
                     std::string_view key);

// "unreserved" bytes as they are, every other byte as %XX (upper-case hex).
std::string PercentEncode(std::string_view bytes);

// url plus one query parameter string, joined by "?" or "&" as the url needs.
std::string WithQuery(const std::string& url, const std::string& query);

// The url with its query and a trailing path suffix (such as "/translate") removed.
std::string BaseOf(const std::string& url, std::string_view suffix);

}  // namespace velmora::translate::engines
