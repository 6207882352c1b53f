// The Win32 settings dialogs, in process under Wine: filled through their controls' own
// messages, saved with 确定 into a real configuration file, or cancelled.
#include "app/win32/Win32Ui.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <cstdlib>
#include <functional>
#include <regex>

#include "app/core/Program.h"
#include "app/win32/EngineSettingsDialog.h"
#include "app/win32/InPlaceSettingsDialog.h"
#include "app/win32/Win32FrontEnd.h"
#include "app/win32/frmMain.h"
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

void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
}

std::vector<std::wstring> Rows(const EngineSettingsDialog& d) {
    std::vector<std::wstring> rows;
    for (int i = 0; i < ListView_GetItemCount(d.lstEngines); ++i) {
        wchar_t text[64] = {};
        ListView_GetItemText(d.lstEngines, i, 0, text, 64);
        rows.push_back(std::wstring(text) + (ListView_GetCheckState(d.lstEngines, i) ? L"+" : L""));
    }
    return rows;
}

// Selects the row of the engine shown by that name, checks or clears its box, and shows its
// fields.
void Pick(EngineSettingsDialog& d, const wchar_t* engine, bool on) {
    for (int i = 0; i < ListView_GetItemCount(d.lstEngines); ++i) {
        wchar_t text[64] = {};
        ListView_GetItemText(d.lstEngines, i, 0, text, 64);
        if (std::wstring(text) != engine) continue;
        ListView_SetItemState(d.lstEngines, i, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetCheckState(d.lstEngines, i, on);
        return;
    }
    ADD_FAILURE() << "not listed";
}

// Whether the label's text, wrapped at its width as it draws it, fits its height.
bool FitsWrapped(HWND label) {
    RECT box;
    GetClientRect(label, &box);
    const std::wstring text = WindowText(label);
    HDC dc = GetDC(label);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, box.right, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return needed.bottom <= box.bottom;
}

struct EngineDialog {
    TempDir home;
    std::filesystem::path file = home.path() / "velmora" / "velmora.conf";
    std::vector<std::pair<std::string, app::EngineSettings>> calls;
    EngineSettingsDialog dialog{file,
                                [this](const std::string& engine, const app::EngineSettings& s) {
                                    calls.emplace_back(engine, s);
                                    return std::pair<bool, std::string>(false, "密钥无效");
                                }};
};

TEST(EngineSettingsDialogTest, OkSavesOrderChecksAddressesAndKeysIntoTheFile) {
    EngineDialog f;
    std::filesystem::create_directories(f.file.parent_path());
    WriteFile(f.file, "; mine\n[translation]\nengines=form\n");
    bool ran = false;
    After(300, [&] {
        EngineSettingsDialog& d = f.dialog;
        ASSERT_NE(d.hwnd(), nullptr);
        ran = true;
        EXPECT_EQ(WindowText(d.hwnd()), L"翻译引擎设置");
        EXPECT_EQ(WindowText(d.lblKeyStore), L"密钥保存在：配置文件 (已为本用户加密)");
        EXPECT_EQ(WindowText(d.lblNote), L"确定后立即生效");
        EXPECT_TRUE(GetWindowLongW(d.txtKey, GWL_STYLE) & ES_PASSWORD);
        EXPECT_EQ(Rows(d), (std::vector<std::wstring>{
                               L"网页表单翻译（旧版服务）+", L"LibreTranslate（自建或公共服务器）",
                               L"DeepL", L"Google 翻译", L"微软翻译", L"Apertium APy 服务器"}))
            << "the offline engine is not offered on Windows";
        // Every name shows whole beside its check box, and the column inside the list.
        RECT list;
        GetClientRect(d.lstEngines, &list);
        const int column = ListView_GetColumnWidth(d.lstEngines, 0);
        EXPECT_LE(column, list.right);
        for (const std::wstring& row : Rows(d)) {
            const std::wstring name = row.substr(0, row.find(L'+'));
            EXPECT_LE(ListView_GetStringWidth(d.lstEngines, name.c_str()) +
                          GetSystemMetrics(SM_CXSMICON) + 12,
                      column);
        }

        // deepl on with a key, moved to the top; libretranslate on but with no address yet.
        Pick(d, L"DeepL", true);
        EXPECT_FALSE(IsWindowVisible(d.txtRegion));
        SetWindowTextW(d.txtKey, L" dk-2:fx ");
        Click(d.cmdUp);
        Click(d.cmdUp);
        EXPECT_FALSE(IsWindowEnabled(d.cmdUp));
        Pick(d, L"微软翻译", false);
        EXPECT_TRUE(IsWindowVisible(d.txtRegion));
        SetWindowTextW(d.txtRegion, L"westeurope");
        Click(d.cmdTest);
        ASSERT_EQ(f.calls.size(), 1u);
        EXPECT_EQ(f.calls[0].first, "microsoft");
        EXPECT_EQ(f.calls[0].second.region, "westeurope") << "the test uses the unsaved fields";
        EXPECT_EQ(WindowText(d.lblTestResult), L"失败：密钥无效");
        Pick(d, L"LibreTranslate（自建或公共服务器）", true);
        EXPECT_EQ(WindowText(d.lblTestResult), L"") << "a result belongs to its engine";

        Click(d.cmdOK);
        EXPECT_TRUE(IsWindowVisible(d.hwnd())) << "stays open to be corrected";
        EXPECT_EQ(WindowText(d.lblError),
                  L"未能保存：引擎 LibreTranslate（自建或公共服务器） 需要填写地址");
        EXPECT_EQ(ReadFile(f.file), "; mine\n[translation]\nengines=form\n");

        SetWindowTextW(d.txtUrl, L"http://127.0.0.1:5000/translate");
        Pick(d, L"DeepL", true);
        EXPECT_EQ(WindowText(d.txtKey), L"dk-2:fx");
        Click(d.cmdOK);
    });
    EXPECT_TRUE(f.dialog.ShowModal(nullptr));
    EXPECT_TRUE(ran);
    EXPECT_EQ(f.dialog.hwnd(), nullptr) << "the window goes after each use";
    // The key is stored encrypted for the user.
    const std::string saved = ReadFile(f.file);
    EXPECT_EQ(saved.find("dk-2:fx"), std::string::npos) << saved;
    EXPECT_EQ(std::regex_replace(saved, std::regex("key=dpapi:[A-Za-z0-9+/]+=*\n"), "key=*\n"),
              "; mine\n[translation]\nengines=\"deepl, form, libretranslate\"\n"
              "\n[deepl]\nkey=*\n"
              "\n[libretranslate]\nurl=http://127.0.0.1:5000/translate\n"
              "\n[microsoft]\nregion=westeurope\n");

    // Reopened, it shows what was saved; 取消 and the close box write nothing.
    const auto before = std::filesystem::last_write_time(f.file);
    for (bool closeBox : {false, true}) {
        After(300, [&] {
            EngineSettingsDialog& d = f.dialog;
            ASSERT_NE(d.hwnd(), nullptr);
            EXPECT_EQ(Rows(d)[0], L"DeepL+");
            EXPECT_EQ(WindowText(d.txtKey), L"dk-2:fx");
            SetWindowTextW(d.txtKey, L"other");
            Pick(d, L"Google 翻译", true);
            if (closeBox)
                SendMessageW(d.hwnd(), WM_CLOSE, 0, 0);
            else
                Click(d.cmdCancel);
        });
        EXPECT_FALSE(f.dialog.ShowModal(nullptr));
    }
    EXPECT_EQ(std::filesystem::last_write_time(f.file), before);
}

TEST(EngineSettingsDialogTest, EachEngineSaysWhatItNeedsItsLanguagesAndOpensItsKeyPage) {
    EngineDialog f;
    std::vector<std::string> opened;
    f.dialog.openUrl = [&](const std::string& url) { opened.push_back(url); };
    bool ran = false;
    After(300, [&] {
        EngineSettingsDialog& d = f.dialog;
        ASSERT_NE(d.hwnd(), nullptr);
        ran = true;
        struct Row {
            const wchar_t* engine;
            const wchar_t* needs;     // a part of the line
            const wchar_t* coverage;  // a part of the line
            const char* keyPage;      // empty: no button
        } rows[] = {
            {L"DeepL", L"需要密钥", L"种，含中文；不支持：", "https://www.deepl.com/pro-api"},
            {L"Google 翻译", L"API 密钥", L"支持本程序全部 40 种语言，含中文。",
             "https://cloud.google.com/translate/docs/setup"},
            {L"网页表单翻译（旧版服务）", L"需要服务地址", L"可选本程序全部 40 种语言", ""},
        };
        for (const Row& r : rows) {
            Pick(d, r.engine, false);
            EXPECT_EQ(WindowText(d.lblName), r.engine);
            EXPECT_NE(WindowText(d.lblNeeds).find(r.needs), std::wstring::npos);
            EXPECT_EQ(WindowText(d.lblOffline), L"在线服务：需联网，文字会发送到该服务。");
            EXPECT_NE(WindowText(d.lblCoverage).find(r.coverage), std::wstring::npos)
                << "coverage of the row " << &r - rows;
            EXPECT_TRUE(FitsWrapped(d.lblCoverage)) << "coverage of the row " << &r - rows;
            opened.clear();
            EXPECT_EQ(IsWindowVisible(d.cmdKeyPage) != FALSE, *r.keyPage != 0);
            if (*r.keyPage) {
                EXPECT_EQ(WindowText(d.cmdKeyPage), L"获取密钥…");
                Click(d.cmdKeyPage);
                EXPECT_EQ(opened, std::vector<std::string>{r.keyPage});
            }
        }
        Click(d.cmdCancel);
    });
    EXPECT_FALSE(f.dialog.ShowModal(nullptr));
    EXPECT_TRUE(ran);
}

TEST(EngineSettingsDialogTest, CancelOnAFreshProfileCreatesNoFile) {
    EngineDialog f;
    After(300, [&] {
        Pick(f.dialog, L"Google 翻译", true);
        SetWindowTextW(f.dialog.txtKey, L"gk");
        Click(f.dialog.cmdCancel);
    });
    EXPECT_FALSE(f.dialog.ShowModal(nullptr));
    EXPECT_FALSE(std::filesystem::exists(f.file.parent_path()));
}

TEST(InPlaceSettingsDialogTest, TheChordAndSendAreSavedAndABadChordKeepsTheDialogOpen) {
    TempDir home;
    const auto file = home.path() / "velmora" / "velmora.conf";
    InPlaceSettingsDialog dialog(file);
    const auto hotkey = [&] {
        return LOWORD(SendMessageW(dialog.txtShortcut, HKM_GETHOTKEY, 0, 0));
    };
    After(300, [&] {
        ASSERT_NE(dialog.hwnd(), nullptr);
        EXPECT_EQ(WindowText(dialog.hwnd()), L"就地翻译");
        EXPECT_EQ(hotkey(), MAKEWORD('Y', HOTKEYF_CONTROL | HOTKEYF_ALT)) << "the default";
        EXPECT_EQ(SendMessageW(dialog.chkSend, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        SendMessageW(dialog.txtShortcut, HKM_SETHOTKEY, MAKEWORD('A', HOTKEYF_SHIFT), 0);
        Click(dialog.cmdOK);
        EXPECT_TRUE(IsWindowVisible(dialog.hwnd()));
        EXPECT_EQ(WindowText(dialog.lblError),
                  L"未能保存：快捷键须为 Ctrl、Alt 或 Super 加字母、数字，或 F1 到 F24");
        SendMessageW(dialog.txtShortcut, HKM_SETHOTKEY,
                     MAKEWORD(VK_F5, HOTKEYF_CONTROL | HOTKEYF_SHIFT), 0);
        Click(dialog.chkSend);
        Click(dialog.cmdOK);
    });
    EXPECT_TRUE(dialog.ShowModal(nullptr));
    EXPECT_EQ(ReadFile(file), "[inplace]\nshortcut=Ctrl+Shift+F5\nsend=true\n");

    // 不使用 turns it off; the default chord and an unticked send are not written.
    struct Step {
        std::function<void()> fill;
        const char* file;
    } steps[] = {
        {[&] { Click(dialog.cmdClear); }, "[inplace]\nshortcut=\nsend=true\n"},
        {[&] {
             SendMessageW(dialog.txtShortcut, HKM_SETHOTKEY,
                          MAKEWORD('Y', HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
             Click(dialog.chkSend);
         },
         "[inplace]\n"},
    };
    for (const Step& s : steps) {
        After(300, [&] {
            s.fill();
            Click(dialog.cmdOK);
        });
        EXPECT_TRUE(dialog.ShowModal(nullptr));
        EXPECT_EQ(ReadFile(file), s.file);
    }

    After(300, [&] {
        EXPECT_EQ(hotkey(), MAKEWORD('Y', HOTKEYF_CONTROL | HOTKEYF_ALT));
        SendMessageW(dialog.txtShortcut, HKM_SETHOTKEY, MAKEWORD('Q', HOTKEYF_ALT), 0);
        Click(dialog.cmdCancel);
    });
    EXPECT_FALSE(dialog.ShowModal(nullptr));
    EXPECT_EQ(ReadFile(file), "[inplace]\n");
}

TEST(InPlaceSettingsDialogTest, TheHotKeyControlsValueIsWrittenAsShortcutsAre) {
    struct Row {
        WORD hotkey;
        const char* text;
    } rows[] = {
        {MAKEWORD('Y', HOTKEYF_CONTROL | HOTKEYF_ALT), "Ctrl+Alt+Y"},
        {MAKEWORD('7', HOTKEYF_ALT | HOTKEYF_SHIFT), "Alt+Shift+7"},
        {MAKEWORD(VK_F24, 0), "F24"},
        {MAKEWORD(VK_RETURN, HOTKEYF_CONTROL), "Ctrl+#13"},
        {MAKEWORD(0, HOTKEYF_CONTROL), ""},
    };
    for (const Row& r : rows) EXPECT_EQ(InPlaceSettingsDialog::ChordText(r.hotkey), r.text);
}

// The program's own wiring: both settings entries are enabled and open their dialogs, modal
// over the main window, and what they save is put to work.
TEST(SettingsMenuTest, BothEntriesOpenTheirDialogsOverTheMainWindow) {
    constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const bool autostartBefore = RegGetValueW(HKEY_CURRENT_USER, kRun, L"velmora", RRF_RT_REG_SZ,
                                              nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    TempDir home;
    const auto file = home.path() / "velmora.conf";
    WriteFile(file, "[inplace]\nshortcut=\n");  // no global chord taken by a test
    _putenv_s("VELMORA_PAGE_BASE", "127.0.0.1:1");
    // As the program's start does: the main window's panes need OLE on this thread.
    const HRESULT ole = OleInitialize(nullptr);
    {
        Win32FrontEnd frontEnd;
        Program root(frontEnd, file);
        root.CreateMainWindow();
        const HWND main = MainOf(root).hwnd();
        struct Row {
            UINT command;
            const wchar_t* cls;
            int cancel;
        } rows[] = {
            {frmMain::kMnuEngineSettings, EngineSettingsDialog::kClassName,
             EngineSettingsDialog::kCmdCancel},
            {frmMain::kMnuInPlaceSettings, InPlaceSettingsDialog::kClassName,
             InPlaceSettingsDialog::kCmdCancel},
        };
        for (const Row& r : rows) {
            EXPECT_EQ(GetMenuState(MainOf(root).mnuSetting, r.command, MF_BYCOMMAND) &
                          (MF_GRAYED | MF_DISABLED),
                      0u);
            bool seen = false;
            After(300, [&] {
                HWND dialog = FindWindowW(r.cls, nullptr);
                ASSERT_NE(dialog, nullptr);
                seen = true;
                EXPECT_EQ(GetWindow(dialog, GW_OWNER), main);
                EXPECT_FALSE(IsWindowEnabled(main));
                Click(GetDlgItem(dialog, r.cancel));
            });
            SendMessageW(main, WM_COMMAND, r.command, 0);
            EXPECT_TRUE(seen);
            EXPECT_TRUE(IsWindowEnabled(main));
        }
        // 确定 puts a new chord to work at once: the root holds it, so no one else can.
        const UINT chord = MOD_CONTROL | MOD_ALT;
        ASSERT_TRUE(RegisterHotKey(nullptr, 7, chord, VK_F9)) << "the chord is free before";
        UnregisterHotKey(nullptr, 7);
        After(300, [&] {
            HWND dialog = FindWindowW(InPlaceSettingsDialog::kClassName, nullptr);
            ASSERT_NE(dialog, nullptr);
            SendMessageW(GetDlgItem(dialog, InPlaceSettingsDialog::kTxtShortcut), HKM_SETHOTKEY,
                         MAKEWORD(VK_F9, HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
            Click(GetDlgItem(dialog, InPlaceSettingsDialog::kCmdOK));
        });
        SendMessageW(main, WM_COMMAND, frmMain::kMnuInPlaceSettings, 0);
        EXPECT_FALSE(RegisterHotKey(nullptr, 7, chord, VK_F9)) << "the root did not take it";
        UnregisterHotKey(nullptr, 7);
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    _putenv_s("VELMORA_PAGE_BASE", "");
    if (!autostartBefore) RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun, L"velmora");
}

}  // namespace
