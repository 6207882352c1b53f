#include "app/core/Program.h"

#include "app/core/SettingsForms.h"
#include "platform/Utf8.h"
#include "translate/clsGoogleLanguages.h"
#include "update/mduUnitId.h"

namespace velmora::app {

namespace {
constexpr int kApplyPollMs = 100;
}

Program::Program(IFrontEnd& frontEnd, const std::filesystem::path& configFile)
    : frontEnd_(frontEnd),
      config_(Read(configFile)),
      unitId_(update::mduUnitId::GetUnitId(frontEnd.Ports().processorId)),
      update_(frontEnd.Ports(), update::UpdateConfig{.baseUrl = config_.updateBaseUrl},
              frontEnd.DownloadHttp()),
      engines_(config_, Services()),
      session_(frontEnd.Ports(), engines_.Translator(), translate::clsGoogleLanguages::Shared()),
      applySettings_([this] { return JobRunning(); }, [this] { ApplySettingsNow(); }) {
    session_.SetInPlaceSend(config_.inPlaceSend);
}

Program::~Program() {
    *alive_ = false;
    // No shortcut may reach a session whose window is gone; the chord is given back here.
    hotkey_.reset();
    // The window goes before its controller, and both before the session they are attached to.
    main_.reset();
    controller_.reset();
    frontEnd_.CloseUpdateWindow();
}

Configuration Program::Read(const std::filesystem::path& file) {
    Diagnostics diagnostics;
    Configuration config = frontEnd_.ReadConfiguration(file, diagnostics);
    for (const auto& line : diagnostics) frontEnd_.Report(line);
    return config;
}

EngineServices Program::Services() {
    platform::Platform& p = frontEnd_.Ports();
    return EngineServices{.http = p.http,
                          .codePage = p.codePage,
                          .loop = p.loop,
                          .programs = frontEnd_.Programs(),
                          .clock = p.clock,
                          .log = [&fe = frontEnd_](const std::string& line) { fe.Report(line); }};
}

StartOutcome Program::Start(const std::string& argumentText) {
    return Main(argumentText, frontEnd_.Ports().process.ProgramFolder(), unitId_, update_, *this);
}

void Program::Yield() {
    frontEnd_.Ports().loop.Yield();
}

void Program::CreateMainWindow() {
    controller_ = std::make_unique<MainController>(MainWindowParts{
        .platform = frontEnd_.Ports(),
        .config = config_,
        .update = update_,
        .unitId = unitId_,
        .session = session_,
        .overlay = frontEnd_.Overlay(),
        .shortcutDialog = frontEnd_.ShortcutDialog(),
        .showEngineSettings = [this] { ShowEngineSettings(); },
        .settingsSaved = [this] { ApplySavedSettings(); },
    });
    main_ = frontEnd_.CreateMainWindow(*controller_);
    controller_->Load();
    StartInPlace();
}

void Program::ShowMainWindow() {
    main_->Show();
}

void Program::CloseMainWindowFromCode() {
    controller_->CloseFromCode();
}

void Program::ShowEngineSettings() {
    const EngineTrial trial = [this](const std::string& name, const EngineSettings& settings) {
        const TestSample sample = DefaultTestSample(name);
        return EngineSet::TryEngine(name, settings, config_, Services(), sample.text, sample.src,
                                    sample.dst);
    };
    if (main_ && frontEnd_.RunEngineSettings(*main_, config_.file, trial)) ApplySavedSettings();
}

void Program::StartInPlace() {
    hotkey_.reset();
    if (!config_.inPlaceShortcut) return;  // off, or malformed (already said at load)
    const std::string name = ShortcutText(*config_.inPlaceShortcut);
    std::string why;
    std::unique_ptr<platform::IHotkey> hotkey = frontEnd_.NewHotkey(why);
    if (hotkey && !hotkey->Register(*config_.inPlaceShortcut, why)) hotkey.reset();
    if (!hotkey) {
        frontEnd_.Report("in-place translation shortcut " + name + ": " + why);
        controller_->ShowTip(u"就地翻译快捷键 " + platform::Utf8Decode(name) +
                             (why == platform::kHotkeyTaken ? u" 已被其他程序占用" : u" 无法使用"));
        return;
    }
    hotkey->SetHandler([this] { OnInPlaceShortcut(); });
    hotkey_ = std::move(hotkey);
}

void Program::OnInPlaceShortcut() {
    if (!session_.Attached()) return;
    // Settings saved from here on wait: the shortcut's objects are on the stack.
    struct InShortcut {
        int& depth;
        explicit InShortcut(int& d) : depth(d) { ++depth; }
        ~InShortcut() { --depth; }
    } inShortcut{inShortcut_};
    session_.InPlace().OnShortcut();
}

bool Program::JobRunning() const {
    const relay::RelayState& s = session_.State;
    return inShortcut_ > 0 || session_.Scheduler.Busy() || s.SendRunning || s.CaptureRunning ||
           s.InPlaceRunning;
}

void Program::ApplySavedSettings() {
    // One watch for the job's end, however often settings are saved meanwhile.
    if (!applySettings_.Request() && !polling_) PollSavedSettings();
}

void Program::PollSavedSettings() {
    polling_ = true;
    frontEnd_.Ports().loop.After(kApplyPollMs, [this, alive = alive_] {
        if (!*alive) return;
        polling_ = false;
        if (!applySettings_.Poll() && applySettings_.Pending()) PollSavedSettings();
    });
}

void Program::ApplySettingsNow() {
    config_ = Read(config_.file);
    engines_.Reload(config_);
    session_.SetInPlaceSend(config_.inPlaceSend);
    StartInPlace();
}

}  // namespace velmora::app
