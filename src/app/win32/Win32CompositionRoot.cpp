#include "app/win32/Win32CompositionRoot.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/core/SettingsForms.h"
#include "app/win32/DpapiKeyCodec.h"
#include "app/win32/frmEngineSettings.h"
#include "platform/Utf8.h"
#include "platform/win32/Win32Hotkey.h"
#include "translate/clsGoogleLanguages.h"
#include "update/mduUnitId.h"

namespace velmora::app::win32 {

namespace {

EngineServices ServicesOf(Win32Backends& b) {
    platform::Platform& p = b.platform();
    return EngineServices{.http = p.http,
                          .codePage = p.codePage,
                          .loop = p.loop,
                          .programs = b.programs(),
                          .clock = p.clock,
                          .log = Report};
}

Configuration Load(const std::filesystem::path& file) {
    Diagnostics diagnostics;
    Configuration config = LoadWin32Configuration(file, diagnostics);
    for (const auto& line : diagnostics) Report(line);
    return config;
}

}  // namespace

void Report(const std::string& line) {
    const std::string text = "velmora: " + line + "\n";
    std::fputs(text.c_str(), stderr);
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(platform::Utf8Decode(text).c_str()));
}

std::filesystem::path Win32ConfigFile() {
    std::filesystem::path base;
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData) {
        base = appData;
    } else {
        wchar_t folder[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) base = folder;
    }
    return base / L"velmora" / L"velmora.conf";
}

Configuration LoadWin32Configuration(const std::filesystem::path& file, Diagnostics& diagnostics) {
    Configuration config =
        LoadConfiguration(ProcessEnvironment, file, diagnostics, nullptr, DpapiKeyCodec());
    auto& engines = config.engines;
    const auto gone = std::remove(engines.begin(), engines.end(), std::string("apertium"));
    if (gone != engines.end()) {
        engines.erase(gone, engines.end());
        diagnostics.push_back(
            "engine apertium is not supported on Windows (it runs Linux programs); left out");
    }
    return config;
}

Win32CompositionRoot::Win32CompositionRoot(const std::filesystem::path& configFile)
    : config_(Load(configFile)),
      unitId_(update::mduUnitId::GetUnitId(backends_.platform().processorId)),
      update_(backends_.platform(), update::UpdateConfig{.baseUrl = config_.updateBaseUrl},
              backends_.downloadHttp()),
      engines_(config_, ServicesOf(backends_)),
      session_(backends_.platform(), engines_.Translator(),
               translate::clsGoogleLanguages::Shared()),
      applySettings_([this] { return JobRunning(); }, [this] { ApplySettingsNow(); }),
      applySettingsLater_(100, [this] {
          applySettings_.Poll();
          if (!applySettings_.Pending()) applySettingsLater_.Stop();
      }) {
    session_.SetInPlaceSend(config_.inPlaceSend);
}

Win32CompositionRoot::~Win32CompositionRoot() {
    // No shortcut may reach a session whose window is gone; the chord is given back here.
    hotkey_.reset();
    // The window goes before the session it is attached to.
    main_.reset();
    updateWindow_.reset();
}

StartOutcome Win32CompositionRoot::Start(const std::string& argumentText) {
    return Main(argumentText, backends_.platform().process.ProgramFolder(), unitId_, update_,
                *this);
}

void Win32CompositionRoot::ShowUpdateWindow() {
    updateWindow_ = std::make_unique<frmAutoUpdate>();
    updateWindow_->Show();
}

void Win32CompositionRoot::CloseUpdateWindow() {
    updateWindow_.reset();
}

void Win32CompositionRoot::Yield() {
    backends_.platform().loop.Yield();
}

void Win32CompositionRoot::CreateMainWindow() {
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

void Win32CompositionRoot::ShowEngineSettings() {
    frmEngineSettings dialog(
        config_.file, [this](const std::string& name, const EngineSettings& settings) {
            const TestSample sample = DefaultTestSample(name);
            return EngineSet::TryEngine(name, settings, config_, ServicesOf(backends_), sample.text,
                                        sample.src, sample.dst);
        });
    if (dialog.ShowModal(main_->hwnd())) ApplySavedSettings();
}

bool Win32CompositionRoot::JobRunning() const {
    const relay::RelayState& s = session_.State;
    return inShortcut_ > 0 || session_.Scheduler.Busy() || s.SendRunning || s.CaptureRunning ||
           s.InPlaceRunning;
}

void Win32CompositionRoot::ApplySavedSettings() {
    if (!applySettings_.Request()) applySettingsLater_.Start();
}

void Win32CompositionRoot::ApplySettingsNow() {
    config_ = Load(config_.file);
    engines_.Reload(config_);
    session_.SetInPlaceSend(config_.inPlaceSend);
    StartInPlace();
}

void Win32CompositionRoot::StartInPlace() {
    hotkey_.reset();
    if (!config_.inPlaceShortcut) return;  // off, or malformed (already said at load)
    const std::string name = ShortcutText(*config_.inPlaceShortcut);
    std::string why;
    auto hotkey = std::make_unique<platform::win32::Win32Hotkey>();
    if (!hotkey->Register(*config_.inPlaceShortcut, why)) {
        Report("in-place translation shortcut " + name + ": " + why);
        main_->ShowTip(u"就地翻译快捷键 " + platform::Utf8Decode(name) +
                       (why == platform::kHotkeyTaken ? u" 已被其他程序占用" : u" 无法使用"));
        return;
    }
    hotkey->SetHandler([this] { OnInPlaceShortcut(); });
    hotkey_ = std::move(hotkey);
}

void Win32CompositionRoot::OnInPlaceShortcut() {
    if (!session_.Attached()) return;
    // Settings saved from here on wait: the shortcut's objects are on the stack.
    struct InShortcut {
        int& depth;
        explicit InShortcut(int& d) : depth(d) { ++depth; }
        ~InShortcut() { --depth; }
    } inShortcut{inShortcut_};
    session_.InPlace().OnShortcut();
}

void Win32CompositionRoot::ShowMainWindow() {
    main_->Show();
}

void Win32CompositionRoot::CloseMainWindowFromCode() {
    main_->CloseFromCode();
}

}  // namespace velmora::app::win32
