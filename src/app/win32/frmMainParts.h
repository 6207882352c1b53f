#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <string>
#include <vector>

#include "app/core/IMainWindow.h"
#include "app/win32/Controls.h"

// The main window's parts over its Win32 controls; the window owns them and hands them out.
namespace velmora::app::win32 {

class Win32SendBox final : public relay::ISendBox {
  public:
    explicit Win32SendBox(HWND box) : box_(box) {}
    // The edit box keeps CR LF, as the rest of the program counts lines.
    std::u16string Text() override { return U(WindowText(box_)); }
    void Clear() override { SetWindowTextW(box_, L""); }
    void SetText(const std::u16string& text) override;
    // The focus handlers of both boxes run before SetFocus returns.
    void Focus() override { SetFocus(box_); }
    bool IsComposing() override;

  private:
    HWND box_;
};

class Win32LanguageLists final : public relay::ILanguageLists {
  public:
    Win32LanguageLists(HWND mine, HWND other) : mine_(mine), other_(other) {}
    std::u16string MyDesc() override;
    std::u16string OtherDesc() override;
    void Fill(const std::vector<std::u16string>& descs) override;

  private:
    HWND mine_;
    HWND other_;
};

class Win32TimeKeeper final : public relay::ITimeKeeper {
  public:
    explicit Win32TimeKeeper(HWND label) : label_(label) {}
    void SetCaption(const std::u16string& caption) override { SetWindowTextW(label_, W(caption)); }
    void SetVisible(bool visible) override { ShowWindow(label_, visible ? SW_SHOWNA : SW_HIDE); }

  private:
    HWND label_;
};

class Win32TipPanel final : public ITipPanel {
  public:
    Win32TipPanel(HWND panel, HWND label) : panel_(panel), label_(label) {}
    void Show(const std::u16string& tip) override;
    void Hide() override;

  private:
    HWND panel_;
    HWND label_;
};

class Win32Panes final : public IPanes {
  public:
    Win32Panes(WebPane& top, WebPane& bottom) : top_(top), bottom_(bottom) {}
    void Navigate(const std::string& top, const std::string& bottom) override;
    // The browser control keeps its page while hidden; back from the tray, a pane whose page
    // could not be loaded tries again (on WM_SHOWWINDOW).
    void SetDiscarded(bool) override {}

  private:
    WebPane& top_;
    WebPane& bottom_;
};

}  // namespace velmora::app::win32
