#include "app/win32/frmMain.h"

#include <commctrl.h>
#include <richedit.h>

#include <vector>

#include "app/core/TipPanel.h"
#include "app/win32/Win32Ui.h"
#include "app/win32/frmMainLook.h"

// The window's controls and menus, where the design places them, the events they forward, and
// its painting.
namespace velmora::app::win32 {

using namespace look;

namespace {

void RoundBox(HDC dc, const RECT& r, COLORREF fill, COLORREF border, int radius) {
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, border);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

void FillBack(HDC dc, const RECT& r) {
    HBRUSH b = CreateSolidBrush(kBackground);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

// A button face: background, rounded body, centred caption.
ImageControl::Painter Button(const wchar_t* caption, COLORREF fill, COLORREF text, int inset) {
    return [caption, fill, text, inset](HDC dc, const RECT& r) {
        FillBack(dc, r);
        RECT body{r.left + 1, r.top + inset, r.right - 1, r.bottom - 1};
        RoundBox(dc, body, fill, kAccentDark, 8);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, text);
        HGDIOBJ old = SelectObject(dc, UiFont(13, true));
        DrawTextW(dc, caption, -1, &body, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
    };
}

// The three picker glyphs: a button, an input line, a page of history.
ImageControl::Painter PickerGlyph(Picker which, bool pressed) {
    return [which, pressed](HDC dc, const RECT& r) {
        FillBack(dc, r);
        const int top = pressed ? 5 : 2;
        RECT cell{r.left + 2, r.top + top, r.right - 2, r.bottom - 3};
        RoundBox(dc, cell, pressed ? RGB(0xc9, 0xdc, 0xf2) : RGB(0xff, 0xff, 0xff), kAccent, 6);
        HPEN pen = CreatePen(PS_SOLID, 2, kInk);
        HGDIOBJ old = SelectObject(dc, pen);
        const int cx = (cell.left + cell.right) / 2;
        const int cy = (cell.top + cell.bottom) / 2;
        switch (which) {
            case Picker::SendButton:
                RoundRect(dc, cx - 8, cy - 5, cx + 8, cy + 5, 4, 4);
                break;
            case Picker::SendArea:
                MoveToEx(dc, cx - 8, cy + 4, nullptr);
                LineTo(dc, cx + 8, cy + 4);
                MoveToEx(dc, cx - 6, cy - 5, nullptr);
                LineTo(dc, cx - 6, cy + 2);
                break;
            case Picker::ReturnArea:
                for (int dy : {-6, -1, 4}) {
                    MoveToEx(dc, cx - 7, cy + dy, nullptr);
                    LineTo(dc, cx + 7, cy + dy);
                }
                break;
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    };
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* name, DWORD style, DWORD exStyle, int id,
           int x, int y, int w, int h) {
    HWND c = CreateWindowExW(exStyle, cls, name, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, x,
                             y, w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), FALSE);
    return c;
}

}  // namespace

void frmMain::CreateControls() {
    SetTimer(hwnd_, kTmrRefresh, Heartbeat::kTickMs, nullptr);

    cmdSend = Child(hwnd_, L"BUTTON", L"发送指令", BS_PUSHBUTTON, 0, kCmdSend, 368, 544, 89, 17);

    txtResult = Child(hwnd_, RichResultBox::ClassName(), L"",
                      WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_TABSTOP, 0,
                      kTxtResult, 8, 8, 337, 404);
    SendMessageW(txtResult, EM_SETBKGNDCOLOR, 0, RGB(0xff, 0xff, 0xff));
    SetWindowSubclass(txtResult, TxtResultProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

    const wchar_t* tipsClass = RegisterClassOnce(L"VelmoraTips", TipsProc, nullptr, tipsBrush_);
    picTips =
        CreateWindowExW(0, tipsClass, L"picTips", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                        kTipPanelDesign.x, kTipPanelDesign.y, kTipPanelDesign.width,
                        kTipPanelDesign.height, hwnd_, nullptr, GetModuleHandleW(nullptr), this);
    // Wraps between words, and inside a word longer than the line (SS_EDITCONTROL).
    lblTips =
        Child(picTips, L"STATIC", L"", SS_CENTER | SS_EDITCONTROL | SS_NOPREFIX, 0, 0,
              kTipLabelDesign.x, kTipLabelDesign.y, kTipLabelDesign.width, kTipLabelDesign.height);

    WebBrowser2 = std::make_unique<WebPane>(hwnd_, L"WebBrowser2", 344, 416, 169, 225);
    WebBrowser1 = std::make_unique<WebPane>(hwnd_, L"WebBrowser1", 344, 8, 169, 406);

    // A drop-down's height includes its list; the closed box is 21 high.
    cboOtherLan = Child(hwnd_, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0,
                        kCboOtherLan, 72, 412, 81, 300);
    cboMyLan = Child(hwnd_, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0,
                     kCboMyLan, 232, 419, 113, 300);
    for (HWND c : {cboOtherLan, cboMyLan}) {
        SendMessageW(c, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 15);
        SendMessageW(c, CB_SETMINVISIBLE, 15, 0);
    }

    txtSend = Child(hwnd_, L"EDIT", L"",
                    ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP, 0,
                    kTxtSend, 8, 440, 337, 163);
    SetWindowSubclass(txtSend, TxtSendProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

    imgSettingClicked = std::make_unique<ImageControl>(
        hwnd_, L"imgSettingClicked", 13, 605, 73, 38,
        Button(L"设置", kAccentDark, RGB(255, 255, 255), 5), false, true);
    imgSetting =
        std::make_unique<ImageControl>(hwnd_, L"imgSetting", 8, 608, 73, 33,
                                       Button(L"设置", RGB(0xf4, 0xf8, 0xfc), kInk, 2), true);
    imgReturnAreaClicked =
        std::make_unique<ImageControl>(hwnd_, L"imgReturnAreaClicked", 150, 605, 30, 38,
                                       PickerGlyph(Picker::ReturnArea, true), false, true);
    imgSendAreaClicked =
        std::make_unique<ImageControl>(hwnd_, L"imgSendAreaClicked", 119, 605, 30, 38,
                                       PickerGlyph(Picker::SendArea, true), false, true);
    imgSendButtonClicked =
        std::make_unique<ImageControl>(hwnd_, L"imgSendButtonClicked", 88, 605, 30, 38,
                                       PickerGlyph(Picker::SendButton, true), false, true);
    imgReturnArea = std::make_unique<ImageControl>(hwnd_, L"imgReturnArea", 149, 608, 28, 33,
                                                   PickerGlyph(Picker::ReturnArea, false), true);
    imgSendArea = std::make_unique<ImageControl>(hwnd_, L"imgSendArea", 120, 608, 28, 33,
                                                 PickerGlyph(Picker::SendArea, false), true);
    imgSendButton = std::make_unique<ImageControl>(hwnd_, L"imgSendButton", 88, 608, 28, 33,
                                                   PickerGlyph(Picker::SendButton, false), true);
    imgSendMouseDown = std::make_unique<ImageControl>(
        hwnd_, L"imgSendMouseDown", 240, 605, 98, 38,
        Button(L"发送", kAccentDark, RGB(255, 255, 255), 5), false, true);
    imgSendMask =
        std::make_unique<ImageControl>(hwnd_, L"imgSendMask", 240, 608, 105, 33,
                                       Button(L"发送", kAccent, RGB(255, 255, 255), 2), true);
    lblTimeKeeper = Child(hwnd_, L"STATIC", L"0", SS_CENTER, 0, 0, 184, 616, 57, 17);
    SendMessageW(lblTimeKeeper, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(14, true)), FALSE);

    // Earlier controls stack above later ones, so the tip panel floats over the input box and
    // each pressed look over its image.
    // A long tip's panel grows up over the result box, so it stacks above that too.
    const std::vector<HWND> order = {picTips,
                                     cmdSend,
                                     txtResult,
                                     WebBrowser2->hwnd(),
                                     WebBrowser1->hwnd(),
                                     cboOtherLan,
                                     cboMyLan,
                                     txtSend,
                                     imgSettingClicked->hwnd(),
                                     imgSetting->hwnd(),
                                     imgReturnAreaClicked->hwnd(),
                                     imgSendAreaClicked->hwnd(),
                                     imgSendButtonClicked->hwnd(),
                                     imgReturnArea->hwnd(),
                                     imgSendArea->hwnd(),
                                     imgSendButton->hwnd(),
                                     imgSendMouseDown->hwnd(),
                                     imgSendMask->hwnd(),
                                     lblTimeKeeper};
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        SetWindowPos(*it, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    imgSetting->pressed = [this] { imgSettingClicked->SetVisible(true); };
    imgSetting->released = [this] {
        imgSettingClicked->SetVisible(false);
        controller_.OnSettingIconReleased();
    };
    WirePicker(*imgSendArea, *imgSendAreaClicked, Picker::SendArea);
    WirePicker(*imgReturnArea, *imgReturnAreaClicked, Picker::ReturnArea);
    WirePicker(*imgSendButton, *imgSendButtonClicked, Picker::SendButton);
    imgSendMask->pressed = [this] { imgSendMouseDown->SetVisible(true); };
    imgSendMask->released = [this] {
        imgSendMouseDown->SetVisible(false);
        cmdSend_Click();
    };
}

void frmMain::CreateMenus() {
    menuBar_ = CreateMenu();
    mnuPopup = CreatePopupMenu();
    AppendMenuW(mnuPopup, MF_STRING, kMnuRestore, L"还原(&R)");
    AppendMenuW(mnuPopup, MF_SEPARATOR, 0, nullptr);  // mnuSep
    AppendMenuW(mnuPopup, MF_STRING, kMnuExit, L"退出(&X)");
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuPopup), L"弹出窗口");

    mnuSetting = CreatePopupMenu();
    AppendMenuW(mnuSetting, MF_STRING, kMnuSetReturnArea, L"设置返回结果框(&R)");
    AppendMenuW(mnuSetting, MF_STRING, kMnuSetInputArea, L"设置输入框(&I)");
    AppendMenuW(mnuSetting, MF_SEPARATOR, 0, nullptr);  // sep
    AppendMenuW(mnuSetting, MF_STRING, kMnuSetSendButton, L"设置发送按钮(&B)");
    AppendMenuW(mnuSetting, MF_STRING, kMnuSettingSendShortcut, L"设置发送快捷键(&S)");
    AppendMenuW(mnuSetting, MF_SEPARATOR, 0, nullptr);  // mnuSep2
    AppendMenuW(mnuSetting, MF_STRING, kMnuHelp, L"帮助(&H)");
    AppendMenuW(mnuSetting, MF_STRING | (controller_.EngineSettingsAvailable() ? 0 : MF_GRAYED),
                kMnuEngineSettings, L"翻译引擎(&E)...");
    AppendMenuW(mnuSetting, MF_STRING, kMnuInPlaceSettings, L"就地翻译(&I)...");
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuSetting), L"设置窗口");
}

void frmMain::WirePicker(ImageControl& icon, ImageControl& pressedLook, Picker picker) {
    icon.moved = [this, picker] { controller_.OnPickerHover(picker); };
    icon.pressed = [&pressedLook] { pressedLook.SetVisible(true); };
    icon.released = [this, &pressedLook, picker] {
        pressedLook.SetVisible(false);
        controller_.OnPickerReleased(picker);
    };
}

void frmMain::PaintBackground(HDC dc) {
    RECT r;
    GetClientRect(hwnd_, &r);
    FillRect(dc, &r, background_);
    // Cards behind the two text boxes.
    RoundBox(dc, RECT{5, 5, 348, 415}, RGB(0xff, 0xff, 0xff), RGB(0xc5, 0xd3, 0xe2), 10);
    RoundBox(dc, RECT{5, 437, 348, 606}, RGB(0xff, 0xff, 0xff), RGB(0xc5, 0xd3, 0xe2), 10);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kInk);
    HGDIOBJ old = SelectObject(dc, UiFont());
    RECT other{8, 414, 70, 434};
    DrawTextW(dc, L"对方语言", -1, &other, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    RECT mine{160, 421, 230, 441};
    DrawTextW(dc, L"我的语言", -1, &mine, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
}

LRESULT CALLBACK frmMain::TipsProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<frmMain>(hwnd, msg, lp);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT r;
            GetClientRect(hwnd, &r);
            HBRUSH border = CreateSolidBrush(RGB(0xe5, 0xc9, 0x6b));
            FrameRect(dc, &r, border);
            DeleteObject(border);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(0xa0, 0x8a, 0x3c));
            HGDIOBJ old = SelectObject(dc, UiFont(10, false));
            RECT caption{6, 1, 105, 16};
            DrawTextW(dc, L"操作提示", -1, &caption, DT_LEFT | DT_TOP | DT_SINGLELINE);
            SelectObject(dc, old);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, RGB(0x6b, 0x52, 0x00));
            SetBkColor(dc, kTipsBack);
            return reinterpret_cast<LRESULT>(self->tipsBrush_);
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
