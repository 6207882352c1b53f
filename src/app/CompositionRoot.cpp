#include "app/CompositionRoot.h"

#include <cstdio>

#include "app/frmAutoUpdate.h"
#include "app/frmEngineSettings.h"
#include "app/frmMain.h"
#include "platform/Utf8.h"
#include "platform/qt/QtFdWatch.h"
#include "translate/clsGoogleLanguages.h"
#include "update/mduUnitId.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include "platform/x11/X11Hotkey.h"

namespace velmora::app {

namespace {

EngineServices ServicesOf(Backends& b) {
    platform::Platform& p = b.platform();
    return EngineServices{.http = p.http,
                          .codePage = p.codePage,
                          .loop = p.loop,
                          .programs = b.programs(),
                          .clock = p.clock,
                          .log = [](const std::string& line) {
                              std::fprintf(stderr, "velmora: %s\n", line.c_str());
                          }};
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
               translate::clsGoogleLanguages::Shared()),
      applySettings_([this] { return JobRunning(); }, [this] { ApplySettingsNow(); }) {
    session_.SetInPlaceSend(config_.inPlaceSend);
    applySettingsLater_.setInterval(100);
    QObject::connect(&applySettingsLater_, &QTimer::timeout, [this] {
        applySettings_.Poll();
        if (!applySettings_.Pending()) applySettingsLater_.stop();
    });
}

CompositionRoot::~CompositionRoot() {
    // No shortcut may reach a session whose window is gone; the grab is given back here.
    hotkeyWatch_.reset();
    hotkey_.reset();
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
        .settingsSaved = [this] { ApplySavedSettings(); },
    });
    main_->Load();
    StartInPlace();
}

void CompositionRoot::StartInPlace() {
    hotkeyWatch_.reset();
    hotkey_.reset();
    if (!config_.inPlaceShortcut) return;  // off, or malformed (already said at load)
    const std::string name = ShortcutText(*config_.inPlaceShortcut);
    std::string why;
    try {
        hotkey_ = std::make_unique<platform::x11::X11Hotkey>();
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (hotkey_ && !hotkey_->Register(*config_.inPlaceShortcut, why)) hotkey_.reset();
    if (!hotkey_) {
        std::fprintf(stderr, "velmora: in-place translation shortcut %s: %s\n", name.c_str(),
                     why.c_str());
        main_->ShowTip(u"就地翻译快捷键 " + platform::Utf8Decode(name) +
                       (why == platform::kHotkeyTaken ? u" 已被其他程序占用" : u" 无法使用"));
        return;
    }
    hotkey_->SetHandler([this] { OnInPlaceShortcut(); });
    hotkeyWatch_ =
        std::make_unique<platform::qt::QtFdWatch>(hotkey_->Fd(), [this] { hotkey_->Dispatch(); });
}

void CompositionRoot::OnInPlaceShortcut() {
    if (!session_.Attached()) return;
    // Settings saved from here on wait: the shortcut's objects are on the stack.
    struct InShortcut {
        int& depth;
        explicit InShortcut(int& d) : depth(d) { ++depth; }
        ~InShortcut() { --depth; }
    } inShortcut{inShortcut_};
    session_.InPlace().OnShortcut();
}

void CompositionRoot::ShowEngineSettings() {
    frmEngineSettings dialog(
        vault_,
        [this](const std::string& name, const EngineSettings& settings) {
            const TestSample sample = DefaultTestSample(name);
            auto [ok, text] = EngineSet::TryEngine(name, settings, config_, ServicesOf(backends_),
                                                   sample.text, sample.src, sample.dst);
            return std::pair{ok, QString::fromStdString(text)};
        },
        main_.get());
    if (dialog.exec() == QDialog::Accepted) ApplySavedSettings();
}

bool CompositionRoot::JobRunning() const {
    const relay::RelayState& s = session_.State;
    return inShortcut_ > 0 || session_.Scheduler.Busy() || s.SendRunning || s.CaptureRunning ||
           s.InPlaceRunning;
}

void CompositionRoot::ApplySavedSettings() {
    if (!applySettings_.Request()) applySettingsLater_.start();
}

void CompositionRoot::ApplySettingsNow() {
    config_ = Load(config_.file, vault_);
    engines_.Reload(config_);
    session_.SetInPlaceSend(config_.inPlaceSend);
    StartInPlace();
}

void CompositionRoot::ShowMainWindow() {
    main_->show();
}

void CompositionRoot::CloseMainWindowFromCode() {
    main_->CloseFromCode();
}

}  // namespace velmora::app
