#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/ICodePage.h"
#include "platform/IHttp.h"
#include "translate/engines/EngineSettings.h"
#include "translate/engines/IEngine.h"

namespace velmora::translate::engines {

// What a LibreTranslate server offers: each source code with its target codes.
using LibreLanguages = std::map<std::string, std::set<std::string>>;

// The codes the server may know a table language by, most likely first ("zh-CN" -> "zh",
// "zh-Hans"; "zh-TW" -> "zt", "zh-Hant"; "no" -> "nb", "no"; others as they are). None for
// codes outside the language table.
std::vector<std::string> LibreCandidates(const std::string& tableCode);

// The source and target codes to send: without a language list the first candidates, else the
// first candidates the list pairs up; none when it pairs none.
std::optional<std::pair<std::string, std::string>> LibrePair(const std::string& src,
                                                             const std::string& dst,
                                                             const LibreLanguages* languages);

// POST JSON {"q", "source", "target", "format": "text"[, "api_key"]} to the configured URL.
platform::HttpRequest BuildLibreTranslateRequest(const HttpEngineSettings& settings,
                                                 const std::string& utf8Text,
                                                 const std::string& source,
                                                 const std::string& target);

// {"translatedText": "..."} on success; {"error": "..."} with 400/403/429/500 otherwise.
PieceResult ParseLibreTranslateAnswer(const platform::HttpResponse& res,
                                      const platform::ICodePage& codePage, std::string_view key);

// The GET answer of /languages: [{"code", "name", "targets": [...]}]. None when the answer is
// not such a list (entries without targets may go to every listed code).
std::optional<LibreLanguages> ParseLibreLanguages(const platform::HttpResponse& res);

// A LibreTranslate server. The language list is asked for once per run, on first need; a server
// that does not give one is taken to know the usual codes.
class LibreTranslateEngine : public IEngine {
  public:
    LibreTranslateEngine(platform::IHttp& http, const platform::ICodePage& codePage,
                         HttpEngineSettings settings)
        : http_(http), codePage_(codePage), settings_(std::move(settings)) {}
    std::string_view Name() const override { return "libretranslate"; }
    bool Supports(const std::string& src, const std::string& dst) override;
    PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                               const std::string& dst) override;

  private:
    const LibreLanguages* Languages();
    platform::IHttp& http_;
    const platform::ICodePage& codePage_;
    HttpEngineSettings settings_;
    bool asked_ = false;
    std::optional<LibreLanguages> languages_;
};

}  // namespace velmora::translate::engines
