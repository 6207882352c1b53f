#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include "relay/IResultBox.h"

namespace velmora::app::win32 {

// txtResult as the relay writes it: a rich edit control written at its insertion point with a
// current format whose attributes persist until set again.
class RichResultBox : public relay::IResultBox {
  public:
    // Loads the rich edit library; false when the system has none.
    static bool LoadLibraryOnce();
    // The window class to create the box with (RICHEDIT50W, or a plain edit without it).
    static const wchar_t* ClassName();

    explicit RichResultBox(HWND box);
    void SetColor(std::uint32_t bgr) override;
    void SetBold(bool on) override;
    void SetItalic(bool on) override;
    void Insert(const std::u16string& text) override;
    void FocusAndNewLine() override;
    void NewLineAtEnd() override;
    void ScrollToEnd() override;

    // The format at the insertion point, for checks.
    std::uint32_t Color() const { return color_; }
    bool Bold() const { return bold_; }
    bool Italic() const { return italic_; }

  private:
    void InsertFormatted(const std::wstring& text);
    HWND box_;
    std::uint32_t color_ = relay::kBlack;
    bool bold_ = false;
    bool italic_ = false;
};

}  // namespace velmora::app::win32
