#include "app/CompositionRoot.h"

#include "app/frmAutoUpdate.h"
#include "app/frmMain.h"
#include "translate/clsGoogleLanguages.h"
#include "update/mduUnitId.h"

namespace velmora::app {

namespace {

std::unique_ptr<translate::ITranslator> MakeTranslator(platform::Platform& p,
                                                       const Configuration& config) {
    return std::make_unique<translate::HttpTranslator>(
        translate::TranslateContext{p.http, p.codePage, p.loop, config.Engine("form").url});
}

}  // namespace

CompositionRoot::CompositionRoot(Configuration config)
    : config_(std::move(config)),
      unitId_(update::mduUnitId::GetUnitId(backends_.platform().processorId)),
      update_(backends_.platform(), update::UpdateConfig{.baseUrl = config_.updateBaseUrl},
              backends_.downloadHttp()),
      translator_(MakeTranslator(backends_.platform(), config_)),
      session_(backends_.platform(), *translator_, translate::clsGoogleLanguages::Shared()) {}

CompositionRoot::~CompositionRoot() {
    // The window goes before the session it is attached to.
    main_.reset();
    updateWindow_.reset();
}

StartOutcome CompositionRoot::Start(const std::string& argumentText) {
    return Main(argumentText, backends_.platform().process.ProgramFolder(), unitId_, update_,
                *this);
}

void CompositionRoot::ShowUpdateWindow() {
    updateWindow_ = std::make_unique<frmAutoUpdate>();
    updateWindow_->show();
}

void CompositionRoot::CloseUpdateWindow() {
    updateWindow_.reset();
}

void CompositionRoot::Yield() {
    backends_.platform().loop.Yield();
}

void CompositionRoot::CreateMainWindow() {
    main_ = std::make_unique<frmMain>(MainWindowParts{
        .platform = backends_.platform(),
        .config = config_,
        .update = update_,
        .unitId = unitId_,
        .session = session_,
        .overlay = overlay_,
        .shortcutDialog = shortcutDialog_,
    });
    main_->Load();
}

void CompositionRoot::ShowMainWindow() {
    main_->show();
}

void CompositionRoot::CloseMainWindowFromCode() {
    main_->CloseFromCode();
}

}  // namespace velmora::app
