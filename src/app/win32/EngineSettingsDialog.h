#pragma once

#include "app/win32/SettingsDialog.h"  // windows.h, without its Yield macro

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/core/SettingsForms.h"

namespace velmora::app::win32 {

// Translates the sample through one engine alone, built from the settings as shown: true and
// the translation, or false and why not (never a key).
using EngineTest =
    std::function<std::pair<bool, std::string>(const std::string& engine, const EngineSettings&)>;

// The engine list, order and per-engine address, key and region ("翻译引擎设置"), each engine
// with its name for the user, what it needs, whether it is offline, its languages and a button
// that opens its key page in the browser. Reads the configuration file when shown; 确定 writes the
// list, addresses and keys to it (Windows keeps the keys there, encrypted for the user, and a key
// found there as typed is encrypted by the next save) and closes only once written; 取消 writes
// nothing. The caller puts a saved change to work.
class EngineSettingsDialog : public SettingsDialog {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraEngineSettings";
    static constexpr const wchar_t* kCaption = L"翻译引擎设置";
    enum ControlId {
        kLstEngines = 101,
        kCmdUp,
        kCmdDown,
        kTxtUrl,
        kTxtKey,
        kTxtRegion,
        kCmdTest,
        kCmdOK,
        kCmdCancel,
        kCmdKeyPage,
    };

    EngineSettingsDialog(std::filesystem::path configFile, EngineTest test);

    // Shows the dialog over owner (disabled meanwhile) until it is closed; true when saved.
    bool ShowModal(HWND owner);

    // The engines offered: all but those Windows cannot run.
    static std::vector<std::string> OfferedEngines();

    // Opens a key page; the shell's default browser unless replaced.
    std::function<void(const std::string& url)> openUrl;

    HWND lstEngines = nullptr;  // a list view with a check box per engine
    HWND cmdUp = nullptr;
    HWND cmdDown = nullptr;
    HWND lblName = nullptr;
    HWND lblNeeds = nullptr;
    HWND lblOffline = nullptr;
    HWND lblCoverage = nullptr;
    HWND cmdKeyPage = nullptr;  // hidden for engines without a key page
    HWND lblUrl = nullptr;
    HWND txtUrl = nullptr;
    HWND lblKey = nullptr;
    HWND txtKey = nullptr;
    HWND lblRegion = nullptr;
    HWND txtRegion = nullptr;
    HWND cmdTest = nullptr;
    HWND lblTestResult = nullptr;
    HWND lblKeyStore = nullptr;

  private:
    void CreateControls() override;
    void Load() override;
    HWND FirstFocus() const override { return lstEngines; }
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
    void ShowEngine(int row);
    void Move(int by);
    void RunTest();
    void FieldChanged(int id);
    void cmdOK_Click();
    std::string EngineAt(int row) const;
    int SelectedRow() const;
    void InsertRow(int row, const std::string& name, bool checked);

    std::filesystem::path file_;
    EngineTest test_;
    EngineEdits loaded_;
    EngineEdits edits_;
    std::set<std::string> keysToSeal_;
    std::string shown_;
    bool filling_ = false;  // fields are being filled from edits_, not typed
    bool testOk_ = false;
};

}  // namespace velmora::app::win32
