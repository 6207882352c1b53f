#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/core/Configuration.h"
#include "platform/IClock.h"
#include "platform/ICodePage.h"
#include "platform/IEventLoop.h"
#include "platform/IHttp.h"
#include "platform/IPipeline.h"
#include "translate/engines/EngineTranslator.h"
#include "translate/engines/IEngine.h"
#include "translate/engines/Router.h"

namespace velmora::app {

// The services an engine may need.
struct EngineServices {
    platform::IHttp& http;
    const platform::ICodePage& codePage;
    platform::IEventLoop& loop;
    platform::IProgramRunner& programs;
    platform::IClock& clock;
    // Where the router says an engine was taken out of use or answers again; may be empty.
    std::function<void(const std::string&)> log;
};

// One engine of the given name, set up from its settings; null for a name no engine has.
std::unique_ptr<translate::engines::IEngine> MakeEngine(const std::string& name,
                                                        const EngineSettings& settings,
                                                        const Configuration& config,
                                                        const EngineServices& services);

// The configured engines in their order, the router over them and the translator the program
// uses; owns them all. The translator it hands out stays the same object for the program's life,
// while Reload puts new engines behind it.
class EngineSet : public translate::ITranslator {
  public:
    EngineSet(const Configuration& config, const EngineServices& services);
    translate::ITranslator& Translator() { return *this; }

    // The engines of a configuration saved since, from the next translation on. A translation
    // under way (an event loop may run the caller of Reload inside it) ends on the engines it
    // began with.
    void Reload(const Configuration& config);

    std::u16string TranslateText(const std::u16string& text, const std::string& src,
                                 const std::string& dst) override;
    translate::TranslationOutcome Translate(const std::u16string& text, const std::string& src,
                                            const std::string& dst) override;

    // One sample through one engine alone, for the settings dialog's test button: the
    // translation, or the reason there is none in words for the user (FailureWords).
    static std::pair<bool, std::string> TryEngine(const std::string& name,
                                                  const EngineSettings& settings,
                                                  const Configuration& config,
                                                  const EngineServices& services,
                                                  const std::u16string& sample,
                                                  const std::string& src, const std::string& dst);

  private:
    struct Generation;
    static std::shared_ptr<Generation> Build(const Configuration& config,
                                             const EngineServices& services);

    EngineServices services_;
    std::shared_ptr<Generation> current_;
};

}  // namespace velmora::app
