#pragma once

#include <optional>
#include <string>

#include "platform/ICodePage.h"
#include "platform/IHttp.h"
#include "translate/engines/EngineSettings.h"
#include "translate/engines/HostedApiEngine.h"

namespace velmora::translate::engines {

inline constexpr const char* kGoogleDefaultUrl =
    "https://translation.googleapis.com/language/translate/v2";

// The table's codes are the API's own (zh-CN, zh-TW, ...): every one is offered.
std::optional<std::string> GoogleCode(const std::string& tableCode);

// POST JSON {"q", "source", "target", "format": "text"} to the URL with "?key=<key>".
platform::HttpRequest BuildGoogleRequest(const HttpEngineSettings& settings,
                                         const std::string& utf8Text, const std::string& source,
                                         const std::string& target);

// data.translations[0].translatedText on success; {"error": {"code", "message", "errors":
// [{"reason"}], "details": [{"reason"}]}} otherwise. An invalid key is reported as 400 by the
// API and rate limits as 403, so the reasons decide before the status does.
PieceResult ParseGoogleAnswer(const platform::HttpResponse& res,
                              const platform::ICodePage& codePage, std::string_view key);

inline constexpr HostedApi kGoogleApi{"google", GoogleCode, GoogleCode, BuildGoogleRequest,
                                      ParseGoogleAnswer};

}  // namespace velmora::translate::engines
