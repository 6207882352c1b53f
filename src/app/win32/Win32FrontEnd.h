#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/core/OwningFrontEnd.h"
#include "app/win32/Win32Ui.h"
#include "app/win32/frmAutoUpdate.h"
#include "app/win32/frmSettingSendShortcut.h"
#include "app/win32/frmSnapShot.h"

namespace velmora::app::win32 {

// The configuration file: %APPDATA%\velmora\velmora.conf (API keys included, encrypted for the
// user: Windows has no keyring the program uses).
std::filesystem::path Win32ConfigFile();

// Reads the configuration, its keys decrypted, and leaves out engines Windows cannot run (the
// offline engine needs Linux programs), saying so in diagnostics.
Configuration LoadWin32Configuration(const std::filesystem::path& file, Diagnostics& diagnostics);

// Writes one line of diagnostics where a windowed program can show it.
void Report(const std::string& line);

// Windows' part of the program: the Win32 backends and the system's own windows. Lives on the
// thread that runs the message loop.
class Win32FrontEnd : public OwningFrontEnd<frmSnapShot, frmSettingSendShortcut> {
  public:
    Win32FrontEnd() = default;
    Win32FrontEnd(const Win32FrontEnd&) = delete;
    Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

    void Report(const std::string& line) override { win32::Report(line); }
    Configuration ReadConfiguration(const std::filesystem::path& file,
                                    Diagnostics& diagnostics) override {
        return LoadWin32Configuration(file, diagnostics);
    }
    void ShowUpdateWindow() override;
    void CloseUpdateWindow() override { updateWindow_.reset(); }
    std::unique_ptr<IMainWindow> CreateMainWindow(MainController& controller) override;
    bool RunEngineSettings(IMainWindow& owner, const std::filesystem::path& configFile,
                           const EngineTrial& trial) override;
    std::unique_ptr<platform::IHotkey> NewHotkey(std::string& why) override;

  private:
    std::unique_ptr<frmAutoUpdate> updateWindow_;
};

}  // namespace velmora::app::win32
