#include "app/win32/RichResultBox.h"

#include <richedit.h>

#include <string>

namespace velmora::app::win32 {

namespace {
// A position past the text: the control clamps it to the end.
constexpr int kEnd = 0x7FFFFFFF;
}  // namespace

bool RichResultBox::LoadLibraryOnce() {
    static const bool loaded = LoadLibraryW(L"Msftedit.dll") != nullptr;
    return loaded;
}

const wchar_t* RichResultBox::ClassName() {
    return LoadLibraryOnce() ? MSFTEDIT_CLASS : L"EDIT";
}

RichResultBox::RichResultBox(HWND box) : box_(box) {}

void RichResultBox::InsertFormatted(const std::wstring& text) {
    // The format goes onto the empty selection at the caret, so the inserted text takes it.
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR | CFM_BOLD | CFM_ITALIC;
    const relay::TextFormat& f = Format();
    cf.crTextColor = static_cast<COLORREF>(f.color);
    cf.dwEffects = (f.bold ? CFE_BOLD : 0) | (f.italic ? CFE_ITALIC : 0);
    SendMessageW(box_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    SendMessageW(box_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void RichResultBox::Insert(const std::u16string& text) {
    // The control keeps a paragraph end as one CR; CR LF (or a lone LF) is one line end.
    std::wstring t;
    t.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        t.push_back(c == u'\n' ? L'\r' : static_cast<wchar_t>(c));
    }
    InsertFormatted(t);
}

void RichResultBox::FocusAndNewLine() {
    // SetFocus runs both boxes' focus handlers before it returns, as the keystrokes would.
    SetFocus(box_);
    SendMessageW(box_, EM_SETSEL, kEnd, kEnd);
    InsertFormatted(L"\r");
}

void RichResultBox::NewLineAtEnd() {
    SendMessageW(box_, EM_SETSEL, kEnd, kEnd);
    InsertFormatted(L"\r");
}

void RichResultBox::ScrollToEnd() {
    SendMessageW(box_, EM_SETSEL, kEnd, kEnd);
    SendMessageW(box_, EM_SCROLLCARET, 0, 0);
}

}  // namespace velmora::app::win32
