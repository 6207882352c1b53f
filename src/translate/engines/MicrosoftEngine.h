#pragma once

#include <optional>
#include <string>

#include "platform/ICodePage.h"
#include "platform/IHttp.h"
#include "translate/engines/EngineSettings.h"
#include "translate/engines/HostedApiEngine.h"

namespace velmora::translate::engines {

inline constexpr const char* kMicrosoftDefaultUrl =
    "https://api.cognitive.microsofttranslator.com/translate";

// zh-CN -> zh-Hans, zh-TW -> zh-Hant, no -> nb, tl -> fil, sr -> sr-Cyrl; other table codes
// as they are.
std::optional<std::string> MicrosoftCode(const std::string& tableCode);

// POST [{"Text": piece}] to the URL with "api-version=3.0&from=..&to=..", the key (and the
// region, when set) in the Ocp-Apim-Subscription headers.
platform::HttpRequest BuildMicrosoftRequest(const HttpEngineSettings& settings,
                                            const std::string& utf8Text, const std::string& source,
                                            const std::string& target);

// [0].translations[0].text on success; {"error": {"code", "message"}} otherwise, where code
// 403001 (free quota used up) means the quota, whatever the status.
PieceResult ParseMicrosoftAnswer(const platform::HttpResponse& res,
                                 const platform::ICodePage& codePage, std::string_view key);

inline constexpr HostedApi kMicrosoftApi{"microsoft", MicrosoftCode, MicrosoftCode,
                                         BuildMicrosoftRequest, ParseMicrosoftAnswer};

}  // namespace velmora::translate::engines
