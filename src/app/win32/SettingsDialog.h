#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <string>

namespace velmora::app::win32 {

// What the settings dialogs share: a modal frame of their own window class over the owner, a
// note, an error line, 确定 and 取消. 确定 closes the dialog only once the dialog has saved.
class SettingsDialog {
  public:
    SettingsDialog(const SettingsDialog&) = delete;
    SettingsDialog& operator=(const SettingsDialog&) = delete;

    // While the dialog is shown; null otherwise.
    HWND hwnd() const { return hwnd_; }
    HWND lblNote = nullptr;
    HWND lblError = nullptr;
    HWND cmdOK = nullptr;
    HWND cmdCancel = nullptr;

  protected:
    struct Frame {
        const wchar_t* className;
        const wchar_t* caption;
        int clientWidth;
        int clientHeight;
        DWORD commonControls;  // ICC_* classes the controls need
    };

    SettingsDialog() = default;
    virtual ~SettingsDialog() = default;

    // Shows the dialog over owner (disabled meanwhile) until it is closed; true when saved.
    bool RunModal(const Frame& frame, HWND owner);
    virtual void CreateControls() = 0;
    virtual void Load() = 0;
    virtual HWND FirstFocus() const = 0;
    // The dialog's own messages; what it leaves goes to HandleDefault.
    virtual LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) = 0;
    LRESULT HandleDefault(UINT msg, WPARAM wp, LPARAM lp);

    // The dialog ends: saved hides it at once.
    void Finish(bool saved);
    // The reason the file was not saved, on the error line.
    void ShowSaveError(const std::string& why);
    // WM_CTLCOLORSTATIC's answer for a label written in ink on the dialog's face.
    static LRESULT Ink(WPARAM dc, COLORREF ink);

    HWND hwnd_ = nullptr;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool done_ = false;
    bool saved_ = false;
};

}  // namespace velmora::app::win32
