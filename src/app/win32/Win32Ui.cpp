#include "app/win32/Win32Ui.h"

#include <map>
#include <utility>

namespace velmora::app::win32 {

namespace {

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFace(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &lf, FontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

const wchar_t* CjkFace() {
    static const wchar_t* face = [] {
        // Windows' own faces first; under Wine the host's fonts come through fontconfig.
        for (const wchar_t* f : {L"Microsoft YaHei", L"SimSun", L"WenQuanYi Micro Hei",
                                 L"Noto Sans CJK SC", L"Droid Sans Fallback"}) {
            if (HasFace(f)) return f;
        }
        return static_cast<const wchar_t*>(nullptr);
    }();
    return face;
}

}  // namespace

std::wstring WindowText(HWND w) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

HFONT UiFont(int pixelHeight, bool bold) {
    static std::map<std::pair<int, bool>, HFONT> fonts;
    auto& font = fonts[{pixelHeight, bold}];
    if (!font) {
        const wchar_t* face = CjkFace();
        if (face) {
            font = CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                               FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
        }
        if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    return font;
}

HFONT UiFont() {
    return UiFont(12, false);
}

HWND CreateChild(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x,
                 int y, int w, int h, DWORD exStyle) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), TRUE);
    return c;
}

const wchar_t* RegisterClassOnce(const wchar_t* name, WNDPROC proc, HCURSOR cursor,
                                 HBRUSH background) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, name, &existing)) return name;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = AppIcon(false);
    wc.hIconSm = AppIcon(true);
    wc.hCursor = cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
    return name;
}

HICON AppIcon(bool small) {
    static HICON big = nullptr;
    static HICON little = nullptr;
    HICON& icon = small ? little : big;
    if (!icon) {
        const int size = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
        icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    return icon;
}

void RunModalDialog(HWND& dialog, HWND owner, HWND focus, const std::function<bool()>& done) {
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    SetFocus(focus);
    RunModalLoop(done, dialog);
    // The owner is enabled again before the dialog goes, so it takes the activation.
    if (disableOwner) EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
        DestroyWindow(dialog);
    }
    dialog = nullptr;
}

void RunModalLoop(const std::function<bool()>& done, HWND dialog) {
    MSG msg;
    while (!done()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The outer loop must see the quit as well.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got < 0) return;
        if (dialog && IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HWND CreateDialogFrame(const wchar_t* className, WNDPROC proc, const wchar_t* caption, DWORD style,
                       int clientWidth, int clientHeight, HWND owner, void* self) {
    const wchar_t* cls =
        RegisterClassOnce(className, proc, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const SIZE outer = OuterSize(style, WS_EX_DLGMODALFRAME, clientWidth, clientHeight);
    return CreateWindowExW(WS_EX_DLGMODALFRAME, cls, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           outer.cx, outer.cy, owner, nullptr, GetModuleHandleW(nullptr), self);
}

SIZE OuterSize(DWORD style, DWORD exStyle, int clientWidth, int clientHeight) {
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace velmora::app::win32
