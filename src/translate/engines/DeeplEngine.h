#pragma once

#include <optional>
#include <string>

#include "platform/ICodePage.h"
#include "platform/IHttp.h"
#include "translate/engines/EngineSettings.h"
#include "translate/engines/HostedApiEngine.h"

namespace velmora::translate::engines {

inline constexpr const char* kDeeplFreeUrl = "https://api-free.deepl.com/v2/translate";
inline constexpr const char* kDeeplProUrl = "https://api.deepl.com/v2/translate";

// Source codes are the plain upper-case ones (ZH, EN, PT, NB, ...); none for languages the
// service does not offer.
std::optional<std::string> DeeplSourceCode(const std::string& tableCode);
// Target codes name the variant where the service wants one: EN-US, PT-PT, ZH-HANS, ZH-HANT.
std::optional<std::string> DeeplTargetCode(const std::string& tableCode);

// The configured URL, else the free API's for keys ending in ":fx" and the paid one's otherwise.
std::string DeeplUrl(const HttpEngineSettings& settings);

// POST JSON {"text": [piece], "source_lang", "target_lang"} with the key in Authorization.
platform::HttpRequest BuildDeeplRequest(const HttpEngineSettings& settings,
                                        const std::string& utf8Text, const std::string& source,
                                        const std::string& target);

// translations[0].text on success; 456 quota used up, 429 slow down, 403 bad key, others by
// their status, with the answer's "message" as detail.
PieceResult ParseDeeplAnswer(const platform::HttpResponse& res, const platform::ICodePage& codePage,
                             std::string_view key);

inline constexpr HostedApi kDeeplApi{"deepl", DeeplSourceCode, DeeplTargetCode, BuildDeeplRequest,
                                     ParseDeeplAnswer};

}  // namespace velmora::translate::engines
