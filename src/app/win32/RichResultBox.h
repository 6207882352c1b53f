#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include "relay/ResultFormat.h"

namespace velmora::app::win32 {

// txtResult as the relay writes it: a rich edit control written at its insertion point with a
// current format whose attributes persist until set again.
class RichResultBox : public relay::FormatKeepingBox {
  public:
    // Loads the rich edit library; false when the system has none.
    static bool LoadLibraryOnce();
    // The window class to create the box with (RICHEDIT50W, or a plain edit without it).
    static const wchar_t* ClassName();

    explicit RichResultBox(HWND box);
    void Insert(const std::u16string& text) override;
    void FocusAndNewLine() override;
    void NewLineAtEnd() override;
    void ScrollToEnd() override;

  private:
    void InsertFormatted(const std::wstring& text);
    HWND box_;
};

}  // namespace velmora::app::win32
