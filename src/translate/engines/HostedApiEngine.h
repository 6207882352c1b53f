#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ICodePage.h"
#include "platform/IHttp.h"
#include "translate/engines/EngineSettings.h"
#include "translate/engines/IEngine.h"

namespace velmora::translate::engines {

// What sets one keyed web API apart from another: its language codes, its request and its
// answers. Everything else (one request a piece, the pair check) is the same for all of them.
struct HostedApi {
    using Code = std::optional<std::string> (*)(const std::string& tableCode);
    std::string_view name;
    Code sourceCode;
    Code targetCode;
    platform::HttpRequest (*build)(const HttpEngineSettings& settings, const std::string& utf8Text,
                                   const std::string& source, const std::string& target);
    PieceResult (*parse)(const platform::HttpResponse& res, const platform::ICodePage& codePage,
                         std::string_view key);
};

// An engine for a web API whose languages are a fixed table: a pair is offered when both codes
// map and differ, and each piece is one request.
class HostedApiEngine : public IEngine {
  public:
    HostedApiEngine(const HostedApi& api, platform::IHttp& http,
                    const platform::ICodePage& codePage, HttpEngineSettings settings)
        : api_(api), http_(http), codePage_(codePage), settings_(std::move(settings)) {}
    std::string_view Name() const override { return api_.name; }
    bool Supports(const std::string& src, const std::string& dst) override;
    PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                               const std::string& dst) override;

  private:
    const HostedApi& api_;
    platform::IHttp& http_;
    const platform::ICodePage& codePage_;
    HttpEngineSettings settings_;
};

}  // namespace velmora::translate::engines
