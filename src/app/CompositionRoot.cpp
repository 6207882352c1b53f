#include "app/CompositionRoot.h"

#include <cstdio>

#include "app/frmAutoUpdate.h"
#include "app/frmEngineSettings.h"
#include "app/frmMain.h"
#include "translate/clsGoogleLanguages.h"
#include "update/mduUnitId.h"

namespace velmora::app {

namespace {

EngineServices ServicesOf(Backends& b) {
    platform::Platform& p = b.platform();
    return EngineServices{.http = p.http,
                          .codePage = p.codePage,
                          .loop = p.loop,
                          .programs = b.programs(),
                          .clock = p.clock};
}

Configuration Load(const std::filesystem::path& file, KeyVault& vault) {
    Diagnostics diagnostics;
    Configuration config =
        LoadConfiguration(ProcessEnvironment, file, diagnostics, VaultKeyLookup(vault));
    // Optional keys (a LibreTranslate server's) live in the keyring too.
    FillKeysFromVault(vault, config);
    for (const auto& line : diagnostics) std::fprintf(stderr, "velmora: %s\n", line.c_str());
    return config;
}

}  // namespace

CompositionRoot::CompositionRoot(const std::filesystem::path& configFile)
    : vault_(configFile),
      config_(Load(configFile, vault_)),
      unitId_(update::mduUnitId::GetUnitId(backends_.platform().processorId)),
      update_(backends_.platform(), update::UpdateConfig{.baseUrl = config_.updateBaseUrl},
              backends_.downloadHttp()),
      engines_(config_, ServicesOf(backends_)),
      session_(backends_.platform(), engines_.Translator(),
               translate::clsGoogleLanguages::Shared()) {}

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
        .showEngineSettings = [this] { ShowEngineSettings(); },
    });
    main_->Load();
}

void CompositionRoot::ShowEngineSettings() {
    frmEngineSettings dialog(
        vault_,
        [this](const std::string& name, const EngineSettings& settings) {
            const TestSample sample = DefaultTestSample(name);
            auto [ok, text] =
                EngineSet::TryEngine(name, settings, config_, ServicesOf(backends_),
                                     sample.text.toStdU16String(), sample.src, sample.dst);
            return std::pair{ok, QString::fromStdString(text)};
        },
        main_.get());
    dialog.exec();
}

void CompositionRoot::ShowMainWindow() {
    main_->show();
}

void CompositionRoot::CloseMainWindowFromCode() {
    main_->CloseFromCode();
}

}  // namespace velmora::app
