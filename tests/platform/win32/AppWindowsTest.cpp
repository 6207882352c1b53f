// The Win32 front end's own windows, in process: the result box's formats, the send keys, the
// snapshot overlay and the send shortcut dialog, driven through their real controls.
#include "app/win32/Win32Ui.h"

#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <functional>

#include "app/win32/RichResultBox.h"
#include "app/win32/frmMain.h"
#include "app/win32/frmSettingSendShortcut.h"
#include "app/win32/frmSnapShot.h"

#include "Win32TestSupport.h"

namespace {

using namespace velmora;
using namespace velmora::app::win32;

using velmora::platform::win32::test::After;

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

TEST(SendChordTest, OnlyCtrlEnterAndAltSSend) {
    struct Row {
        int vk;
        bool ctrl, alt, shift, win;
        bool sends;
    } rows[] = {
        {VK_RETURN, true, false, false, false, true},
        {'S', false, true, false, false, true},
        {VK_RETURN, false, false, false, false, false},
        {VK_RETURN, true, true, false, false, false},
        {VK_RETURN, true, false, true, false, false},
        {'S', true, false, false, false, false},
        {'S', false, true, false, true, false},
        {'A', false, true, false, false, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(IsSendChord(r.vk, r.ctrl, r.alt, r.shift, r.win), r.sends)
            << r.vk << " ctrl " << r.ctrl << " alt " << r.alt;
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

}  // namespace
