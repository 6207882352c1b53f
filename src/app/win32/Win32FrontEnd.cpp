#include "app/win32/Win32FrontEnd.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/win32/DpapiKeyCodec.h"
#include "app/win32/EngineSettingsDialog.h"
#include "app/win32/frmMain.h"
#include "platform/Utf8.h"
#include "platform/win32/Win32Hotkey.h"

namespace velmora::app::win32 {

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

void Win32FrontEnd::ShowUpdateWindow() {
    updateWindow_ = std::make_unique<frmAutoUpdate>();
    updateWindow_->Show();
}

std::unique_ptr<IMainWindow> Win32FrontEnd::CreateMainWindow(MainController& controller) {
    return std::make_unique<frmMain>(controller);
}

bool Win32FrontEnd::RunEngineSettings(IMainWindow& owner, const std::filesystem::path& configFile,
                                      const EngineTrial& trial) {
    EngineSettingsDialog dialog(configFile, trial);
    return dialog.ShowModal(static_cast<frmMain&>(owner).hwnd());
}

std::unique_ptr<platform::IHotkey> Win32FrontEnd::NewHotkey(std::string&) {
    return std::make_unique<platform::win32::Win32Hotkey>();
}

}  // namespace velmora::app::win32
