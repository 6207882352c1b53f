#pragma once

#include "app/win32/SettingsDialog.h"  // windows.h, without its Yield macro

#include <filesystem>
#include <string>

namespace velmora::app::win32 {

// The in-place translation's global shortcut and whether it sends after the paste ("就地翻译").
// Reads the configuration file when shown; 确定 writes [inplace] to it and closes only once the
// shortcut is usable and the file written; 取消 writes nothing. Changes take effect at the next
// start.
class InPlaceSettingsDialog : public SettingsDialog {
  public:
    static constexpr const wchar_t* kClassName = L"VelmoraInPlaceSettings";
    static constexpr const wchar_t* kCaption = L"就地翻译";
    enum ControlId { kTxtShortcut = 101, kCmdClear, kChkSend, kCmdOK, kCmdCancel };

    explicit InPlaceSettingsDialog(std::filesystem::path configFile);

    // Shows the dialog over owner (disabled meanwhile) until it is closed; true when saved.
    bool ShowModal(HWND owner);

    // The hot key control's value (HKM_GETHOTKEY) as ParseShortcut reads it; empty for none.
    static std::string ChordText(WORD hotkey);

    HWND lblShortcut = nullptr;
    HWND txtShortcut = nullptr;  // a hot key control: records one chord
    HWND cmdClear = nullptr;
    HWND chkSend = nullptr;

  private:
    void CreateControls() override;
    void Load() override;
    HWND FirstFocus() const override { return txtShortcut; }
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
    void cmdOK_Click();

    std::filesystem::path file_;
    // The shortcut as loaded and the control's value for it: a Super chord, which the control
    // cannot show, is kept while the control holds what it was given.
    std::string loadedText_;
    WORD loadedHotkey_ = 0;
};

}  // namespace velmora::app::win32
