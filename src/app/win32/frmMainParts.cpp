#include "app/win32/frmMainParts.h"

#include <imm.h>

#include "app/core/TipPanel.h"
#include "platform/Utf8.h"

namespace velmora::app::win32 {

namespace {

std::u16string Selected(HWND combo) {
    const LRESULT at = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, at, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(
        SendMessageW(combo, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(text.data()))));
    return U(text);
}

}  // namespace

void Win32SendBox::SetText(const std::u16string& text) {
    SetWindowTextW(box_, W(text));
    const int end = GetWindowTextLengthW(box_);
    SendMessageW(box_, EM_SETSEL, end, end);
    SendMessageW(box_, EM_SCROLLCARET, 0, 0);
}

bool Win32SendBox::IsComposing() {
    HIMC context = ImmGetContext(box_);
    if (!context) return false;
    const LONG bytes = ImmGetCompositionStringW(context, GCS_COMPSTR, nullptr, 0);
    ImmReleaseContext(box_, context);
    return bytes > 0;
}

std::u16string Win32LanguageLists::MyDesc() {
    return Selected(mine_);
}

std::u16string Win32LanguageLists::OtherDesc() {
    return Selected(other_);
}

void Win32LanguageLists::Fill(const std::vector<std::u16string>& descs) {
    SendMessageW(other_, CB_RESETCONTENT, 0, 0);
    SendMessageW(mine_, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& desc : descs) {
        SendMessageW(other_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(desc)));
        SendMessageW(mine_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(desc)));
    }
    SendMessageW(other_, CB_SETCURSEL, 0, 0);
    SendMessageW(mine_, CB_SETCURSEL, 0, 0);
}

void Win32TipPanel::Show(const std::u16string& tip) {
    const wchar_t* text = W(tip);
    SetWindowTextW(label_, text);
    // Measured as the static control draws it.
    constexpr UINT kDraw = DT_NOPREFIX | DT_EXPANDTABS | DT_CALCRECT;
    HDC dc = GetDC(label_);
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label_, WM_GETFONT, 0, 0)));
    const auto measure = [&](int width, UINT flags) {
        RECT r{0, 0, width, 0};
        DrawTextW(dc, text, -1, &r, kDraw | flags);
        return r;
    };
    const TipLayout layout = LayOutTip(measure(1 << 20, 0).right, [&](int width) {
        return static_cast<int>(measure(width, DT_WORDBREAK | DT_EDITCONTROL).bottom);
    });
    SelectObject(dc, oldFont);
    ReleaseDC(label_, dc);
    // Centred like the design's one line; several lines read better from the left.
    const LONG_PTR style =
        GetWindowLongPtrW(label_, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
    SetWindowLongPtrW(label_, GWL_STYLE,
                      style | (layout.label == kTipLabelDesign ? SS_CENTER : SS_LEFT));
    const auto place = [](HWND w, const ControlRect& r) {
        SetWindowPos(w, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(panel_, layout.panel);
    place(label_, layout.label);
    InvalidateRect(panel_, nullptr, TRUE);
    InvalidateRect(label_, nullptr, TRUE);
    ShowWindow(panel_, SW_SHOWNA);
}

void Win32TipPanel::Hide() {
    SetWindowTextW(label_, L"");
    ShowWindow(panel_, SW_HIDE);
}

void Win32Panes::Navigate(const std::string& top, const std::string& bottom) {
    top_.Navigate2(std::wstring(W(platform::Utf8Decode(top))));
    bottom_.Navigate2(std::wstring(W(platform::Utf8Decode(bottom))));
}

}  // namespace velmora::app::win32
