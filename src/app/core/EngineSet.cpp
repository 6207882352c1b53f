#include "app/core/EngineSet.h"

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
    if (name == "deepl") return std::make_unique<e::DeeplEngine>(s.http, s.codePage, http);
    if (name == "google") return std::make_unique<e::GoogleEngine>(s.http, s.codePage, http);
    if (name == "microsoft") return std::make_unique<e::MicrosoftEngine>(s.http, s.codePage, http);
    if (name == "apy") return std::make_unique<e::ApyEngine>(s.http, s.codePage, http);
    return nullptr;
}

EngineSet::EngineSet(const Configuration& config, const EngineServices& services) {
    std::vector<e::IEngine*> order;
    for (const std::string& name : config.engines) {
        if (auto engine = MakeEngine(name, config.Engine(name), config, services)) {
            order.push_back(engine.get());
            engines_.push_back(std::move(engine));
        }
    }
    router_ = std::make_unique<e::Router>(std::move(order), services.clock);
    translator_ = std::make_unique<translate::EngineTranslator>(*router_, services.codePage);
}

std::pair<bool, std::string> EngineSet::TryEngine(const std::string& name,
                                                  const EngineSettings& settings,
                                                  const Configuration& config,
                                                  const EngineServices& services,
                                                  const std::u16string& sample,
                                                  const std::string& src, const std::string& dst) {
    auto engine = MakeEngine(name, settings, config, services);
    if (!engine) return {false, "unknown engine"};
    e::Router router({engine.get()}, services.clock);
    translate::EngineTranslator translator(router, services.codePage);
    const translate::TranslationOutcome outcome = translator.Translate(sample, src, dst);
    if (outcome.complete && !outcome.text.empty())
        return {true, services.codePage.ToUtf8(outcome.text)};
    return {false, outcome.Reason()};
}

}  // namespace velmora::app
