#include "app/core/EngineSet.h"

#include "app/core/EngineGuide.h"

#include "translate/engines/ApertiumEngine.h"
#include "translate/engines/ApyEngine.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/FormEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/MicrosoftEngine.h"

namespace velmora::app {

namespace e = translate::engines;

std::unique_ptr<e::IEngine> MakeEngine(const std::string& name, const EngineSettings& settings,
                                       const Configuration& config, const EngineServices& s) {
    const e::HttpEngineSettings http{settings.url, settings.key, settings.region};
    if (name == "apertium") {
        e::ApertiumOptions options;
        options.modeFolders = {config.apertiumModes};
        return std::make_unique<e::ApertiumEngine>(s.programs, std::move(options));
    }
    if (name == "form")
        return std::make_unique<e::FormEngine>(
            translate::TranslateContext{s.http, s.codePage, s.loop, settings.url});
    if (name == "libretranslate")
        return std::make_unique<e::LibreTranslateEngine>(s.http, s.codePage, http);
    if (name == "deepl")
        return std::make_unique<e::HostedApiEngine>(e::kDeeplApi, s.http, s.codePage, http);
    if (name == "google")
        return std::make_unique<e::HostedApiEngine>(e::kGoogleApi, s.http, s.codePage, http);
    if (name == "microsoft")
        return std::make_unique<e::HostedApiEngine>(e::kMicrosoftApi, s.http, s.codePage, http);
    if (name == "apy") return std::make_unique<e::ApyEngine>(s.http, s.codePage, http);
    return nullptr;
}

struct EngineSet::Generation {
    std::vector<std::unique_ptr<e::IEngine>> engines;
    std::unique_ptr<e::Router> router;
    std::unique_ptr<translate::EngineTranslator> translator;
};

std::shared_ptr<EngineSet::Generation> EngineSet::Build(const Configuration& config,
                                                        const EngineServices& services) {
    auto g = std::make_shared<Generation>();
    std::vector<e::IEngine*> order;
    for (const std::string& name : config.engines) {
        if (auto engine = MakeEngine(name, config.Engine(name), config, services)) {
            order.push_back(engine.get());
            g->engines.push_back(std::move(engine));
        }
    }
    g->router = std::make_unique<e::Router>(std::move(order), services.clock, services.log);
    g->translator = std::make_unique<translate::EngineTranslator>(*g->router, services.codePage,
                                                                  &services.loop);
    return g;
}

EngineSet::EngineSet(const Configuration& config, const EngineServices& services)
    : services_(services), current_(Build(config, services)) {}

void EngineSet::Reload(const Configuration& config) {
    current_ = Build(config, services_);
}

std::u16string EngineSet::TranslateText(const std::u16string& text, const std::string& src,
                                        const std::string& dst) {
    // The same language on both sides needs no engine (none translates a language into itself).
    if (src == dst) return text;
    const auto held = current_;  // kept alive until this call ends, whatever Reload does
    return held->translator->TranslateText(text, src, dst);
}

translate::TranslationOutcome EngineSet::Translate(const std::u16string& text,
                                                   const std::string& src, const std::string& dst) {
    if (src == dst) {
        translate::TranslationOutcome same{text, true, {}};
        same.sameLanguage = true;
        return same;
    }
    const auto held = current_;
    return held->translator->Translate(text, src, dst);
}

std::pair<bool, std::string> EngineSet::TryEngine(const std::string& name,
                                                  const EngineSettings& settings,
                                                  const Configuration& config,
                                                  const EngineServices& services,
                                                  const std::u16string& sample,
                                                  const std::string& src, const std::string& dst) {
    const e::EngineFailure unsupported{e::FailureKind::Unsupported, {}, std::nullopt};
    auto engine = MakeEngine(name, settings, config, services);
    if (!engine) return {false, FailureWords(name, unsupported)};
    e::Router router({engine.get()}, services.clock);
    translate::EngineTranslator translator(router, services.codePage);
    const translate::TranslationOutcome outcome = translator.Translate(sample, src, dst);
    if (outcome.complete && !outcome.text.empty())
        return {true, services.codePage.ToUtf8(outcome.text)};
    // The first piece that failed tells why; the engine's own details are English, left out.
    for (const translate::PieceReport& piece : outcome.pieces) {
        if (piece.engine.empty() && !piece.failures.empty())
            return {false, FailureWords(name, piece.failures.front().second)};
    }
    return {false, FailureWords(name, unsupported)};
}

}  // namespace velmora::app
