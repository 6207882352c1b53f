// The Win32 front end's own windows, in process: the result box's formats, the send keys, the
// snapshot overlay, the send shortcut dialog and the main window's tip panel, driven through
// their real controls.
#include "app/win32/Win32Ui.h"

#include <commctrl.h>
#include <ole2.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/core/Program.h"
#include "app/win32/RichResultBox.h"
#include "app/win32/Win32FrontEnd.h"
#include "app/win32/frmMain.h"
#include "app/win32/frmSettingSendShortcut.h"
#include "app/win32/frmSnapShot.h"
#include "support/TempDir.h"

#include "Win32TestSupport.h"

namespace {

using namespace velmora;
using namespace velmora::app::win32;

using velmora::app::Program;
using velmora::platform::win32::test::After;

frmMain& MainOf(Program& root) {
    return static_cast<frmMain&>(*root.MainWindow());
}

struct Format {
    COLORREF color;
    bool bold;
    bool italic;
};

Format FormatAt(HWND box, int position) {
    SendMessageW(box, EM_SETSEL, position, position + 1);
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    SendMessageW(box, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    return {cf.crTextColor, (cf.dwEffects & CFE_BOLD) != 0, (cf.dwEffects & CFE_ITALIC) != 0};
}

TEST(RichResultBoxTest, EveryInsertionTakesTheFormatAndUnsetAttributesPersist) {
    ASSERT_TRUE(RichResultBox::LoadLibraryOnce()) << "no rich edit control";
    HWND box = CreateWindowExW(0, RichResultBox::ClassName(), L"", WS_POPUP | ES_MULTILINE, 0, 0,
                               300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(box, nullptr);
    RichResultBox r(box);
    r.SetColor(relay::kBlue);
    r.SetBold(true);
    r.Insert(u"ab");
    r.SetItalic(true);  // colour and bold stay as they were
    r.Insert(u"c\r\nd");
    r.SetColor(relay::kRed);
    r.SetBold(false);
    r.SetItalic(false);
    r.Insert(u"e");

    struct Row {
        int position;
        COLORREF color;
        bool bold;
        bool italic;
    } rows[] = {{0, relay::kBlue, true, false},
                {1, relay::kBlue, true, false},
                {2, relay::kBlue, true, true},
                {4, relay::kBlue, true, true},
                {5, relay::kRed, false, false}};
    for (const Row& row : rows) {
        const Format f = FormatAt(box, row.position);
        EXPECT_EQ(f.color, row.color) << "at " << row.position;
        EXPECT_EQ(f.bold, row.bold) << "at " << row.position;
        EXPECT_EQ(f.italic, row.italic) << "at " << row.position;
    }
    // CR LF is one paragraph end: "abc", "de".
    wchar_t text[32] = {};
    GetWindowTextW(box, text, 32);
    EXPECT_STREQ(text, L"abc\r\nde");
    DestroyWindow(box);
}

platform::Bitmap Picture(int w, int h) {
    platform::Bitmap b;
    b.width = w;
    b.height = h;
    b.pixels.assign(static_cast<size_t>(w) * h, 0xFF336699u);
    return b;
}

TEST(SnapShotOverlayTest, APressAnywhereGivesItsPointAndEscGivesNone) {
    frmSnapShot overlay;
    const platform::Rect cover{0, 0, 400, 300};
    After(300, [&] {
        HWND w = reinterpret_cast<HWND>(static_cast<INT_PTR>(overlay.WindowId()));
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
        PostMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(123, 45));
    });
    std::optional<platform::Point> press = overlay.ShowModal(cover, Picture(400, 300));
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(*press, (platform::Point{123, 45}));
    HWND pressed = reinterpret_cast<HWND>(static_cast<INT_PTR>(overlay.WindowId()));
    EXPECT_FALSE(IsWindowVisible(pressed)) << "hidden before the caller looks under the point";
    overlay.DestroyWindow();
    EXPECT_FALSE(IsWindow(pressed));

    After(300, [&] {
        PostMessageW(reinterpret_cast<HWND>(static_cast<INT_PTR>(overlay.WindowId())), WM_KEYDOWN,
                     VK_ESCAPE, 0);
    });
    EXPECT_FALSE(overlay.ShowModal(cover, platform::Bitmap{}).has_value());
    overlay.DestroyWindow();
}

TEST(SendShortcutDialogTest, ButtonsSetOrClearTheFieldsAndEscKeepsThem) {
    frmSettingSendShortcut dialog;
    auto choose = [&](int control, int key, int button) {
        After(300, [&dialog, control, key, button] {
            ASSERT_NE(dialog.hwnd(), nullptr);
            SendMessageW(dialog.cboCtrl, CB_SETCURSEL, control, 0);
            SendMessageW(dialog.cboKey, CB_SETCURSEL, key, 0);
            if (button != 0)
                SendMessageW(button == 1 ? dialog.cmdOK : dialog.cmdCancel, BM_CLICK, 0, 0);
            else
                PostMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
        });
        dialog.ShowModal();
    };
    choose(2, 19, 1);  // ALT, "S", 完成
    EXPECT_EQ(dialog.mControl, 18);
    EXPECT_EQ(dialog.mKey, 'S');
    choose(1, 0, 0);  // closed: nothing changes
    EXPECT_EQ(dialog.mControl, 18);
    EXPECT_EQ(dialog.mKey, 'S');
    choose(1, 0, 2);  // 取消 clears
    EXPECT_EQ(dialog.mControl, 0);
    EXPECT_EQ(dialog.mKey, 0);
    choose(0, 0, 1);  // (无), {Enter}
    EXPECT_EQ(dialog.mControl, 0);
    EXPECT_EQ(dialog.mKey, VK_RETURN);
    EXPECT_EQ(dialog.hwnd(), nullptr) << "the window goes after each use";
}

// A child's rectangle in its parent's client coordinates.
RECT Placed(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool Inside(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(MainWindowTipTest, ALongTipShowsWholeAndAShortOneKeepsTheDesignPlace) {
    constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const bool autostartBefore = RegGetValueW(HKEY_CURRENT_USER, kRun, L"velmora", RRF_RT_REG_SZ,
                                              nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    TempDir home;
    const auto file = home.path() / "velmora.conf";
    WriteFile(file, "[inplace]\nshortcut=\n");  // no global chord taken by a test
    _putenv_s("VELMORA_PAGE_BASE", "127.0.0.1:1");
    const HRESULT ole = OleInitialize(nullptr);  // the panes need it, as at the program's start
    {
        Win32FrontEnd frontEnd;
        Program root(frontEnd, file);
        root.CreateMainWindow();
        frmMain& w = MainOf(root);
        ShowWindow(w.hwnd(), SW_SHOWNOACTIVATE);
        const std::u16string sentence =
            u"这里没有能把中文翻译成英语的引擎：本机离线引擎只支持所列的欧洲语言对。"
            u"请在 设置 → 翻译引擎 中添加一个在线引擎并填写密钥。";
        const std::u16string tips[] = {
            sentence, sentence + sentence + sentence, std::u16string(120, u'译'),
            sentence + sentence + sentence + sentence + sentence + sentence};
        RECT client;
        GetClientRect(w.hwnd(), &client);
        for (const std::u16string& tip : tips) {
            const int index = static_cast<int>(&tip - tips);
            w.Controller().ShowTip(tip);
            const RECT panel = Placed(w.picTips);
            const RECT label = Placed(w.lblTips);
            EXPECT_TRUE(IsWindowVisible(w.picTips)) << index;
            EXPECT_TRUE(Inside(client, panel)) << index;
            EXPECT_EQ(panel.bottom, 601) << "the bottom edge stays where the design has it";
            EXPECT_TRUE(Inside({0, 0, panel.right - panel.left, panel.bottom - panel.top}, label))
                << index;
            // The text as the label draws it, wrapped at its width, within its height.
            HDC dc = GetDC(w.lblTips);
            const HGDIOBJ old = SelectObject(
                dc, reinterpret_cast<HGDIOBJ>(SendMessageW(w.lblTips, WM_GETFONT, 0, 0)));
            RECT needed{0, 0, label.right - label.left, 0};
            DrawTextW(dc, reinterpret_cast<const wchar_t*>(tip.c_str()), -1, &needed,
                      DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
            SelectObject(dc, old);
            ReleaseDC(w.lblTips, dc);
            EXPECT_LE(needed.right, label.right - label.left) << index;
            EXPECT_LE(needed.bottom, label.bottom - label.top) << index;
            // Nothing stacks over it: the panel is what the top of its middle shows.
            const POINT top{(panel.left + panel.right) / 2, panel.top + 2};
            EXPECT_EQ(ChildWindowFromPointEx(w.hwnd(), top, CWP_SKIPINVISIBLE), w.picTips) << index;
        }
        w.Controller().ShowTip(u"设置完成");
        const RECT panel = Placed(w.picTips);
        const RECT label = Placed(w.lblTips);
        EXPECT_EQ(std::vector<LONG>({panel.left, panel.top, panel.right, panel.bottom}),
                  std::vector<LONG>({88, 568, 193, 601}));
        EXPECT_EQ(std::vector<LONG>({label.left, label.top, label.right, label.bottom}),
                  std::vector<LONG>({0, 16, 105, 41}));
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    _putenv_s("VELMORA_PAGE_BASE", "");
    if (!autostartBefore) RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun, L"velmora");
}

}  // namespace
