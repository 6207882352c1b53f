#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/ICodePage.h"
#include "platform/IHttp.h"
#include "translate/engines/EngineSettings.h"
#include "translate/engines/IEngine.h"

namespace velmora::translate::engines {

// Installed pairs as (source, target) Apertium codes.
using ApyPairs = std::set<std::pair<std::string, std::string>>;

// POST form "langpair=<src>|<dst>&q=<percent-encoded UTF-8>&markUnknown=no" to the URL (the
// server's /translate). Codes are Apertium's three-letter ones.
platform::HttpRequest BuildApyRequest(const HttpEngineSettings& settings,
                                      const std::string& utf8Text, const std::string& source,
                                      const std::string& target);

// responseData.translatedText with responseStatus 200; otherwise the failure of the HTTP status
// or, on a 200 answer, of responseStatus (or code), with explanation/message as detail.
PieceResult ParseApyAnswer(const platform::HttpResponse& res, const platform::ICodePage& codePage,
                           std::string_view key);

// The /listPairs answer: {"responseData": [{"sourceLanguage", "targetLanguage"}, ...]}.
std::optional<ApyPairs> ParseApyPairs(const platform::HttpResponse& res);

// An Apertium APy server. The installed pairs are asked for once per run; when the server does
// not list them, every pair of two Apertium languages is tried.
class ApyEngine : public IEngine {
  public:
    ApyEngine(platform::IHttp& http, const platform::ICodePage& codePage,
              HttpEngineSettings settings)
        : http_(http), codePage_(codePage), settings_(std::move(settings)) {}
    std::string_view Name() const override { return "apy"; }
    bool Supports(const std::string& src, const std::string& dst) override;
    PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                               const std::string& dst) override;

  private:
    const ApyPairs* Pairs();
    platform::IHttp& http_;
    const platform::ICodePage& codePage_;
    HttpEngineSettings settings_;
    bool asked_ = false;
    std::optional<ApyPairs> pairs_;
};

}  // namespace velmora::translate::engines
