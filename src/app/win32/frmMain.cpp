#include "app/win32/frmMain.h"

#include "target/SendChord.h"

#include <commctrl.h>
#include <imm.h>
#include <richedit.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "app/core/Autostart.h"
#include "app/core/CloseDecision.h"
#include "app/core/TipPanel.h"
#include "app/win32/Win32Ui.h"
#include "app/win32/frmHelp.h"
#include "app/win32/frmInPlaceSettings.h"
#include "platform/Utf8.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::app::win32 {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr COLORREF kBackground = RGB(0xe8, 0xef, 0xf7);
constexpr COLORREF kInk = RGB(0x2b, 0x3a, 0x4e);
constexpr COLORREF kAccent = RGB(0x2f, 0x7d, 0xd1);
constexpr COLORREF kAccentDark = RGB(0x1f, 0x5f, 0xa8);
constexpr COLORREF kTipsBack = RGB(0xff, 0xfb, 0xe6);
constexpr UINT kTrayPollMs = 2000;
constexpr UINT_PTR kSubclassId = 1;

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

enum class Picker { SendButton, SendArea, ReturnArea };

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

bool Down(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

}  // namespace

frmMain::frmMain(const MainWindowParts& parts)
    : State(parts.session.State),
      platform_(parts.platform),
      config_(parts.config),
      showEngineSettings_(parts.showEngineSettings),
      settingsSaved_(parts.settingsSaved),
      update_(parts.update),
      unitId_(parts.unitId),
      session_(parts.session),
      overlay_(parts.overlay),
      shortcutDialog_(parts.shortcutDialog),
      heartbeat_(platform_.clock, platform_.loop,
                 [&update = update_, &unitId = unitId_] { update.GetLatestVersion(unitId); }) {
    background_ = CreateSolidBrush(kBackground);
    tipsBrush_ = CreateSolidBrush(kTipsBack);
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    const wchar_t* cls = RegisterClassOnce(kClassName, Proc, nullptr, nullptr);
    const SIZE outer = OuterSize(kStyle, 0, kClientWidth, kClientHeight);
    // The stored caption; the load handler replaces it before the window is first shown.
    hwnd_ = CreateWindowExW(0, cls, L"Quillet", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.cx,
                            outer.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw std::runtime_error("cannot create the main window");
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon(false)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon(true)));
    CreateControls();
    CreateMenus();
    resultBox_ = std::make_unique<RichResultBox>(txtResult);
    session_.Attach(*this, *resultBox_);
}

frmMain::~frmMain() {
    // No handler may reach a session that is detached or a window half gone.
    if (IsWindow(txtSend)) RemoveWindowSubclass(txtSend, TxtSendProc, kSubclassId);
    if (IsWindow(txtResult)) RemoveWindowSubclass(txtResult, TxtResultProc, kSubclassId);
    session_.Detach();
    if (IsWindow(hwnd_)) {
        DeleteTrayIcon();
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (menuBar_) DestroyMenu(menuBar_);
    DeleteObject(background_);
    DeleteObject(tipsBrush_);
}

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
        POINT at{10, 515};
        ClientToScreen(hwnd_, &at);
        PopupMenuAt(mnuSetting, at);
    };
    WirePicker(*imgSendArea, *imgSendAreaClicked, L"设置输入框位置", State.InputAreaTarget);
    WirePicker(*imgReturnArea, *imgReturnAreaClicked, L"设置返回框位置", State.ReturnAreaTarget);
    WirePicker(*imgSendButton, *imgSendButtonClicked, L"设置发送按钮位置", State.SendButtonTarget);
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
    AppendMenuW(mnuSetting, MF_STRING | (showEngineSettings_ ? 0 : MF_GRAYED), kMnuEngineSettings,
                L"翻译引擎(&E)...");
    AppendMenuW(mnuSetting, MF_STRING, kMnuInPlaceSettings, L"就地翻译(&I)...");
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuSetting), L"设置窗口");
}

void frmMain::WirePicker(ImageControl& icon, ImageControl& pressedLook, const wchar_t* tip,
                         target::TargetPoint& target) {
    icon.moved = [this, tip] {
        SetTip(tip);
        ShowWindow(picTips, SW_SHOWNA);
    };
    icon.pressed = [&pressedLook] { pressedLook.SetVisible(true); };
    icon.released = [this, &pressedLook, &target] {
        pressedLook.SetVisible(false);
        PickTarget(target);
    };
}

void frmMain::PickTarget(target::TargetPoint& target) {
    if (target::RunPick(platform_, overlay_, target) == target::PickOutcome::OwnWindow) {
        ShowTip(std::u16string(target::kPickOwnWindow));
        return;
    }
    if (&target == &State.ReturnAreaTarget) session_.OnReturnAreaPicked();
}

void frmMain::Load() {
    SetWindowTextW(hwnd_, kCaption);
    FillLanguageLists();
    const std::wstring base(W(platform::Utf8Decode(config_.pageBase)));
    WebBrowser1->Navigate2(base + L"/ad1.php");
    WebBrowser2->Navigate2(base + L"/ad2.php");
    EnsureAutostart(platform_);
}

void frmMain::FillLanguageLists() {
    SendMessageW(cboOtherLan, CB_RESETCONTENT, 0, 0);
    SendMessageW(cboMyLan, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& desc : translate::clsGoogleLanguages::Shared().getAllDescs()) {
        SendMessageW(cboOtherLan, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(desc)));
        SendMessageW(cboMyLan, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(desc)));
    }
    SendMessageW(cboOtherLan, CB_SETCURSEL, 0, 0);
    SendMessageW(cboMyLan, CB_SETCURSEL, 0, 0);
}

void frmMain::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

void frmMain::CloseFromCode() {
    closingFromCode_ = true;
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    closingFromCode_ = false;
}

void frmMain::OnClose() {
    CloseReason reason = CloseReason::User;
    if (closingFromCode_)
        reason = CloseReason::FromCode;
    else if (sessionEnding_)
        reason = CloseReason::SessionEnd;
    const bool trayAvailable = FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
    switch (DecideClose(State.ExitRequested, reason, trayAvailable)) {
        case CloseAction::RemoveIconAndClose:
            DeleteTrayIcon();
            platform_.loop.Yield();
            DestroyWindow(hwnd_);
            break;
        case CloseAction::HideToTray:
            ShowTrayIcon();
            ShowWindow(hwnd_, SW_HIDE);
            break;
        case CloseAction::MinimizeInstead:
            ShowWindow(hwnd_, SW_MINIMIZE);
            WaitForTray();
            break;
        case CloseAction::LetClose:
            DestroyWindow(hwnd_);
            break;
    }
}

NOTIFYICONDATAW frmMain::TrayData(UINT flags) const {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd_;
    // One icon per window, under a fixed id others can name (an icon handle cannot be learned
    // from another process under Wine).
    nid.uID = kTrayIconId;
    nid.uFlags = flags;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = AppIcon(true);
    wcsncpy(nid.szTip, kTrayTip, ARRAYSIZE(nid.szTip) - 1);
    return nid;
}

void frmMain::ShowTrayIcon() {
    // A second add while the icon is there leaves the one icon as it is.
    if (trayAdded_) return;
    NOTIFYICONDATAW nid = TrayData(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    trayAdded_ = Shell_NotifyIconW(NIM_ADD, &nid) || Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void frmMain::DeleteTrayIcon() {
    if (!trayAdded_) return;
    NOTIFYICONDATAW nid = TrayData(0);
    Shell_NotifyIconW(NIM_DELETE, &nid);
    trayAdded_ = false;
}

void frmMain::WaitForTray() {
    // At logon the shell's tray may come up after the program; a cheap poll is enough, and it
    // runs only while the window waits minimised.
    SetTimer(hwnd_, kTrayWait, kTrayPollMs, nullptr);
}

void frmMain::PopupMenuAt(HMENU menu, POINT screen) {
    // A pop-up menu of a window that is not in front would not close when the user clicks
    // elsewhere.
    SetForegroundWindow(hwnd_);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                   hwnd_, nullptr);
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void frmMain::PopupTrayMenu() {
    POINT at;
    GetCursorPos(&at);
    PopupMenuAt(mnuPopup, at);
}

void frmMain::RestoreFromTray() {
    ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
}

void frmMain::ExitProgram() {
    if (Attached()) Monitor().RequestExit();
    State.ExitRequested = true;
    CloseFromCode();
    platform_.process.ExitNow(0);
    std::_Exit(0);  // a backend's ExitNow never returns; this keeps the promise regardless
}

void frmMain::EndProgram() {
    ExitProgram();
}

void frmMain::SetTranslating(bool on) {
    if (on) {
        translatingSince_ = GetTickCount64();
        progressShown_ = false;
        SetTimer(hwnd_, kProgress, 250, nullptr);
        return;
    }
    KillTimer(hwnd_, kProgress);
    if (progressShown_) HideTips();
    progressShown_ = false;
}

void frmMain::HideTips() {
    SetWindowTextW(lblTips, L"");
    ShowWindow(picTips, SW_HIDE);
}

void frmMain::OnCommand(UINT id) {
    switch (id) {
        case kMnuRestore:
            RestoreFromTray();
            break;
        case kMnuExit:
            ExitProgram();
        case kMnuSetReturnArea:
            PickTarget(State.ReturnAreaTarget);
            break;
        case kMnuSetInputArea:
            PickTarget(State.InputAreaTarget);
            break;
        case kMnuSetSendButton:
            PickTarget(State.SendButtonTarget);
            break;
        case kMnuSettingSendShortcut:
            target::RunSendShortcutSetting(shortcutDialog_, State.SendShortcutControl,
                                           State.SendShortcutKey);
            break;
        case kMnuHelp:
            frmHelp::ShowHelp(hwnd_, std::wstring(W(platform::Utf8Decode(config_.pageBase))));
            break;
        case kMnuEngineSettings:
            ShowEngineSettings();
            break;
        case kMnuInPlaceSettings: {
            frmInPlaceSettings dialog(config_.file);
            if (dialog.ShowModal(hwnd_) && settingsSaved_) settingsSaved_();
            break;
        }
        default:
            break;
    }
}

void frmMain::cmdSend_Click() {
    if (Attached()) session_.Outgoing().cmdSend_Click();
}

void frmMain::Timer1_Timer() {
    if (Attached()) Monitor().Timer1_Timer();
}

void frmMain::tmrRefresh_Timer() {
    // Never inside a relay job: the next tick (30 s on) queries instead.
    heartbeat_.Tick();
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

LRESULT CALLBACK frmMain::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<frmMain>(hwnd, msg, lp);
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT frmMain::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
        // The shell started again: the icon it lost goes back.
        if (trayAdded_) {
            trayAdded_ = false;
            ShowTrayIcon();
        }
        return 0;
    }
    switch (msg) {
        case WM_ERASEBKGND:
            PaintBackground(reinterpret_cast<HDC>(wp));
            return 1;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            if (reinterpret_cast<HWND>(lp) == lblTimeKeeper) SetTextColor(dc, kAccentDark);
            SetBkColor(dc, kBackground);
            return reinterpret_cast<LRESULT>(background_);
        }
        case WM_COMMAND:
            if (lp == 0) {
                OnCommand(LOWORD(wp));
            } else if (LOWORD(wp) == kCmdSend && HIWORD(wp) == BN_CLICKED) {
                cmdSend_Click();
            }
            return 0;
        case WM_TIMER:
            switch (wp) {
                case kTmrRefresh:
                    tmrRefresh_Timer();
                    break;
                case kTimer1:
                    Timer1_Timer();
                    break;
                case kProgress: {
                    const ULONGLONG ms = GetTickCount64() - translatingSince_;
                    // Only on the window itself: from the tray it would be a message a turn.
                    if (ms >= relay::kProgressAfterMs && IsWindowVisible(hwnd_)) {
                        ShowTip(relay::TranslatingTip(static_cast<std::int64_t>(ms)));
                        progressShown_ = true;
                    }
                    break;
                }
                case kTrayWait:
                    if (!IsIconic(hwnd_) || !IsWindowVisible(hwnd_)) {
                        KillTimer(hwnd_, kTrayWait);  // the user brought it back
                    } else if (FindWindowW(L"Shell_TrayWnd", nullptr)) {
                        KillTimer(hwnd_, kTrayWait);
                        ShowTrayIcon();
                        ShowWindow(hwnd_, SW_HIDE);
                    }
                    break;
                default:
                    break;
            }
            return 0;
        case kOfferEnginesMessage:
            ShowEngineSettings();
            return 0;
        case kTrayMessage:
            HideTips();
            if (LOWORD(lp) == WM_LBUTTONUP) RestoreFromTray();
            if (LOWORD(lp) == WM_RBUTTONUP) PopupTrayMenu();
            return 0;
        case WM_MOUSEMOVE:
            HideTips();
            return 0;
        case WM_SHOWWINDOW:
            // Back from the tray (or shown at all): a pane whose page could not be loaded
            // tries again.
            if (wp) {
                for (WebPane* pane : {WebBrowser1.get(), WebBrowser2.get()})
                    if (pane) pane->Shown();
            }
            break;
        case WM_ACTIVATE:
            if (Attached()) Monitor().OnActivationChanged();
            // The default handler would put the focus on the window itself; give it back to the
            // control that had it (txtSend at first), where typing and the idle countdown live.
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND f = GetFocus();
                if (f && IsChild(hwnd_, f)) focusBefore_ = f;
            } else if (!HIWORD(wp)) {
                SetFocus(focusBefore_ && IsWindow(focusBefore_) ? focusBefore_ : txtSend);
                return 0;
            }
            break;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_QUERYENDSESSION:
            sessionEnding_ = true;
            return TRUE;
        case WM_ENDSESSION:
            // A cancelled logoff: the close box hides to the tray again.
            if (!wp) sessionEnding_ = false;
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd_, kTmrRefresh);
            KillTimer(hwnd_, kTimer1);
            KillTimer(hwnd_, kTrayWait);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
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

LRESULT CALLBACK frmMain::TxtSendProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                      DWORD_PTR self) {
    auto* form = reinterpret_cast<frmMain*>(self);
    if (!form->Attached()) return DefSubclassProc(hwnd, msg, wp, lp);
    return form->TxtSendMessage(msg, wp, lp);
}

LRESULT frmMain::TxtSendMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            swallowChar_ = false;
            // Esc while a send is being translated abandons it; otherwise Esc is the box's own.
            if (wp == VK_ESCAPE && !Down(VK_CONTROL) && !Down(VK_MENU) && !Down(VK_SHIFT) &&
                session_.Outgoing().Cancel()) {
                swallowChar_ = true;
                return 0;
            }
            Monitor().OnSendBoxKeyDown();
            const bool ctrl = Down(VK_CONTROL);
            const bool alt = Down(VK_MENU);
            if (target::IsSendChord(static_cast<int>(wp), ctrl, alt, Down(VK_SHIFT),
                                    Down(VK_LWIN) || Down(VK_RWIN))) {
                // The chord's character (LF, or the Alt+S beep) must not reach the box.
                swallowChar_ = true;
                cmdSend_Click();
                return 0;
            }
            if (wp == VK_TAB && !ctrl && !alt) {
                // Tab moves on, as in a dialog, instead of typing a tab.
                swallowChar_ = true;
                HWND next = GetNextDlgTabItem(hwnd_, txtSend, Down(VK_SHIFT));
                if (next) SetFocus(next);
                return 0;
            }
            break;
        }
        case WM_CHAR:
        case WM_SYSCHAR:
            if (swallowChar_) {
                swallowChar_ = false;
                return 0;
            }
            break;
        case WM_IME_COMPOSITION:
        case WM_IME_ENDCOMPOSITION:
            // Keys an input method takes arrive as its composition, not as key presses.
            Monitor().OnSendBoxKeyDown();
            break;
        case WM_SETFOCUS: {
            const LRESULT r = DefSubclassProc(txtSend, msg, wp, lp);
            SetTimer(hwnd_, kTimer1, 500, nullptr);
            return r;
        }
        case WM_KILLFOCUS: {
            const LRESULT r = DefSubclassProc(txtSend, msg, wp, lp);
            KillTimer(hwnd_, kTimer1);
            Monitor().OnSendBoxFocusLost();
            return r;
        }
        default:
            break;
    }
    return DefSubclassProc(txtSend, msg, wp, lp);
}

LRESULT CALLBACK frmMain::TxtResultProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                        DWORD_PTR self) {
    auto* form = reinterpret_cast<frmMain*>(self);
    const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
    if ((msg == WM_SETFOCUS || msg == WM_KILLFOCUS) && form->Attached())
        form->Monitor().OnResultBoxFocusChanged(msg == WM_SETFOCUS);
    return r;
}

std::u16string frmMain::SendText() {
    // The edit box keeps CR LF, as the rest of the program counts lines.
    return U(WindowText(txtSend));
}

void frmMain::ClearSendText() {
    SetWindowTextW(txtSend, L"");
}

void frmMain::SetSendText(const std::u16string& text) {
    SetWindowTextW(txtSend, W(text));
    const int end = GetWindowTextLengthW(txtSend);
    SendMessageW(txtSend, EM_SETSEL, end, end);
    SendMessageW(txtSend, EM_SCROLLCARET, 0, 0);
}

void frmMain::FocusSendBox() {
    // The focus handlers of both boxes run before SetFocus returns.
    SetFocus(txtSend);
}

bool frmMain::IsComposing() {
    HIMC context = ImmGetContext(txtSend);
    if (!context) return false;
    const LONG bytes = ImmGetCompositionStringW(context, GCS_COMPSTR, nullptr, 0);
    ImmReleaseContext(txtSend, context);
    return bytes > 0;
}

void frmMain::SetSendMaskVisible(bool visible) {
    imgSendMask->SetVisible(visible);
}

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

std::u16string frmMain::MyLanguageDesc() {
    return Selected(cboMyLan);
}

std::u16string frmMain::OtherLanguageDesc() {
    return Selected(cboOtherLan);
}

void frmMain::SetTimeKeeperCaption(const std::u16string& caption) {
    SetWindowTextW(lblTimeKeeper, W(caption));
}

void frmMain::SetTimeKeeperVisible(bool visible) {
    ShowWindow(lblTimeKeeper, visible ? SW_SHOWNA : SW_HIDE);
}

bool frmMain::IsMainWindowActive() {
    return GetActiveWindow() == hwnd_;
}

platform::WinHandle frmMain::MainWindowHandle() {
    return ToHandle(hwnd_);
}

void frmMain::ShowEngineSettings() {
    if (showEngineSettings_) showEngineSettings_();
}

void frmMain::SetTip(const wchar_t* text) {
    SetWindowTextW(lblTips, text);
    // Measured as the static control draws it.
    constexpr UINT kDraw = DT_NOPREFIX | DT_EXPANDTABS | DT_CALCRECT;
    HDC dc = GetDC(lblTips);
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(lblTips, WM_GETFONT, 0, 0)));
    const auto measure = [&](int width, UINT flags) {
        RECT r{0, 0, width, 0};
        DrawTextW(dc, text, -1, &r, kDraw | flags);
        return r;
    };
    const TipLayout layout = LayOutTip(measure(1 << 20, 0).right, [&](int width) {
        return static_cast<int>(measure(width, DT_WORDBREAK | DT_EDITCONTROL).bottom);
    });
    SelectObject(dc, oldFont);
    ReleaseDC(lblTips, dc);
    // Centred like the design's one line; several lines read better from the left.
    const LONG_PTR style =
        GetWindowLongPtrW(lblTips, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
    SetWindowLongPtrW(lblTips, GWL_STYLE,
                      style | (layout.label == kTipLabelDesign ? SS_CENTER : SS_LEFT));
    const auto place = [](HWND w, const TipRect& r) {
        SetWindowPos(w, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(picTips, layout.panel);
    place(lblTips, layout.label);
    InvalidateRect(picTips, nullptr, TRUE);
    InvalidateRect(lblTips, nullptr, TRUE);
}

void frmMain::ShowTip(const std::u16string& text) {
    SetTip(W(text));
    ShowWindow(picTips, SW_SHOWNA);
    // Hidden in the tray nobody sees the tip panel (an in-place translation runs from there):
    // the tray icon says it too.
    if (!IsWindowVisible(hwnd_) && trayAdded_) {
        NOTIFYICONDATAW nid = TrayData(NIF_INFO);
        wcsncpy(nid.szInfoTitle, kCaption, ARRAYSIZE(nid.szInfoTitle) - 1);
        wcsncpy(nid.szInfo, W(text), ARRAYSIZE(nid.szInfo) - 1);
        nid.dwInfoFlags = NIIF_INFO;
        Shell_NotifyIconW(NIM_MODIFY, &nid);
    }
}

}  // namespace velmora::app::win32
