#include "app/win32/frmMain.h"

#include "target/SendChord.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cstdlib>
#include <cwchar>
#include <utility>
#include <vector>

#include "app/win32/InPlaceSettingsDialog.h"
#include "app/win32/Win32Ui.h"
#include "app/win32/frmHelp.h"
#include "app/win32/frmMainLook.h"
#include "app/win32/frmMainParts.h"
#include "platform/Utf8.h"

namespace velmora::app::win32 {

using namespace look;

namespace {

bool Down(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

}  // namespace

frmMain::frmMain(MainController& controller) : State(controller.State()), controller_(controller) {
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
    CreateParts();
    resultBox_ = std::make_unique<RichResultBox>(txtResult);
    controller_.Attach(*this, *resultBox_);
}

frmMain::~frmMain() {
    // No handler may reach a session that is detached or a window half gone.
    if (IsWindow(txtSend)) RemoveWindowSubclass(txtSend, TxtSendProc, kSubclassId);
    if (IsWindow(txtResult)) RemoveWindowSubclass(txtResult, TxtResultProc, kSubclassId);
    controller_.Detach();
    if (IsWindow(hwnd_)) {
        trayIcon_->Remove();
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (menuBar_) DestroyMenu(menuBar_);
    DeleteObject(background_);
    DeleteObject(tipsBrush_);
}

void frmMain::CreateParts() {
    sendBox_ = std::make_unique<Win32SendBox>(txtSend);
    languages_ = std::make_unique<Win32LanguageLists>(cboMyLan, cboOtherLan);
    timeKeeper_ = std::make_unique<Win32TimeKeeper>(lblTimeKeeper);
    tipPanel_ = std::make_unique<Win32TipPanel>(picTips, lblTips);
    panes_ = std::make_unique<Win32Panes>(*WebBrowser1, *WebBrowser2);
    auto tray = std::make_unique<Win32TrayIcon>(hwnd_, kTrayIconId, kTrayMessage, kTrayTip);
    trayIcon_ = tray.get();
    tray_ = std::move(tray);
}

void frmMain::PopupSettingMenu() {
    POINT at{10, 515};
    ClientToScreen(hwnd_, &at);
    PopupMenuAt(mnuSetting, at);
}

void frmMain::SetCaption(const std::u16string& caption) {
    SetWindowTextW(hwnd_, W(caption));
}

void frmMain::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
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

void frmMain::RestoreAndActivate() {
    ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
}

void frmMain::OnCommand(UINT id) {
    static constexpr std::pair<UINT, MenuCommand> kCommands[] = {
        {kMnuRestore, MenuCommand::Restore},
        {kMnuExit, MenuCommand::Exit},
        {kMnuSetReturnArea, MenuCommand::SetReturnArea},
        {kMnuSetInputArea, MenuCommand::SetInputArea},
        {kMnuSetSendButton, MenuCommand::SetSendButton},
        {kMnuSettingSendShortcut, MenuCommand::SendShortcut},
        {kMnuHelp, MenuCommand::Help},
        {kMnuEngineSettings, MenuCommand::EngineSettings},
        {kMnuInPlaceSettings, MenuCommand::InPlaceSettings},
    };
    for (const auto& [menuId, command] : kCommands)
        if (menuId == id) controller_.OnMenu(command);
}

void frmMain::ShowHelp(const std::string& pageBase) {
    frmHelp::ShowHelp(hwnd_, std::wstring(W(platform::Utf8Decode(pageBase))));
}

bool frmMain::RunInPlaceSettings(const std::filesystem::path& configFile) {
    InPlaceSettingsDialog dialog(configFile);
    return dialog.ShowModal(hwnd_);
}

void frmMain::SetIdleTimerRunning(bool running) {
    if (running)
        SetTimer(hwnd_, kTimer1, 500, nullptr);
    else
        KillTimer(hwnd_, kTimer1);
}

void frmMain::cmdSend_Click() {
    controller_.OnSendClicked();
}

void frmMain::Timer1_Timer() {
    controller_.OnIdleTick();
}

void frmMain::tmrRefresh_Timer() {
    controller_.OnRefreshTick();
}

LRESULT CALLBACK frmMain::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<frmMain>(hwnd, msg, lp);
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT frmMain::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
        if (trayIcon_) trayIcon_->AddAgain();
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
                default:
                    break;
            }
            return 0;
        case kTrayMessage:
            if (LOWORD(lp) == WM_LBUTTONUP) controller_.OnTrayClick(true);
            if (LOWORD(lp) == WM_RBUTTONUP) controller_.OnTrayClick(false);
            return 0;
        case WM_MOUSEMOVE:
            controller_.OnMouseMove();
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
            controller_.OnActivationChanged();
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
            if (controller_.OnCloseRequested(true)) DestroyWindow(hwnd_);
            return 0;
        case WM_QUERYENDSESSION:
            controller_.OnSessionEnding(true);
            return TRUE;
        case WM_ENDSESSION:
            // A cancelled logoff: the close box hides to the tray again.
            if (!wp) controller_.OnSessionEnding(false);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd_, kTmrRefresh);
            KillTimer(hwnd_, kTimer1);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
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
            const bool ctrl = Down(VK_CONTROL);
            const bool alt = Down(VK_MENU);
            SendBoxKey key = SendBoxKey::Other;
            if (wp == VK_ESCAPE && !ctrl && !alt && !Down(VK_SHIFT))
                key = SendBoxKey::EscapeAlone;
            else if (target::IsSendChord(static_cast<int>(wp), ctrl, alt, Down(VK_SHIFT),
                                         Down(VK_LWIN) || Down(VK_RWIN)))
                key = SendBoxKey::SendChord;
            // A used-up key's character (LF, or the Alt+S beep) must not reach the box.
            swallowChar_ = controller_.OnSendBoxKey(key);
            if (swallowChar_) return 0;
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
            controller_.OnSendBoxComposition();
            break;
        case WM_SETFOCUS: {
            const LRESULT r = DefSubclassProc(txtSend, msg, wp, lp);
            controller_.OnSendBoxFocus(true);
            return r;
        }
        case WM_KILLFOCUS: {
            const LRESULT r = DefSubclassProc(txtSend, msg, wp, lp);
            controller_.OnSendBoxFocus(false);
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
    if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS)
        form->controller_.OnResultBoxFocus(msg == WM_SETFOCUS);
    return r;
}

platform::WinHandle frmMain::Handle() {
    return ToHandle(hwnd_);
}

}  // namespace velmora::app::win32
