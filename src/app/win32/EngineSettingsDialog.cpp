#include "app/win32/EngineSettingsDialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "app/core/EngineGuide.h"
#include "app/win32/DpapiKeyCodec.h"
#include "platform/Utf8.h"

namespace velmora::app::win32 {

namespace {

constexpr COLORREF kErrorInk = RGB(0xb0, 0x00, 0x20);
constexpr COLORREF kGoodInk = RGB(0x1f, 0x6f, 0x2b);

HWND Label(HWND parent, const wchar_t* text, int x, int y, int w, int h) {
    return CreateChild(parent, L"STATIC", text, SS_LEFT | SS_NOPREFIX, -1, x, y, w, h);
}

void SetText(HWND w, const std::string& utf8) {
    SetWindowTextW(w, W(platform::Utf8Decode(utf8)));
}

void SetHint(HWND edit, const std::string& utf8) {
    const std::u16string hint = platform::Utf8Decode(utf8);
    SendMessageW(edit, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(W(hint)));
}

// The field as typed, without the blanks a paste brings along.
std::string Trimmed(HWND edit) {
    std::wstring text = WindowText(edit);
    const auto blank = [](wchar_t c) {
        return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
    };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    return platform::Utf8Encode(U(text.substr(start)));
}

}  // namespace

EngineSettingsDialog::EngineSettingsDialog(std::filesystem::path configFile, EngineTest test)
    : openUrl([](const std::string& url) {
          const std::u16string wide = platform::Utf8Decode(url);
          ShellExecuteW(nullptr, L"open", W(wide), nullptr, nullptr, SW_SHOWNORMAL);
      }),
      file_(std::move(configFile)),
      test_(std::move(test)) {}

std::vector<std::string> EngineSettingsDialog::OfferedEngines() {
    std::vector<std::string> names = KnownEngines();
    // The offline engine runs Linux programs.
    names.erase(std::remove(names.begin(), names.end(), "apertium"), names.end());
    return names;
}

bool EngineSettingsDialog::ShowModal(HWND owner) {
    return RunModal({kClassName, kCaption, 760, 418, ICC_LISTVIEW_CLASSES}, owner);
}

void EngineSettingsDialog::CreateControls() {
    // Creation order is the tab order.
    lstEngines = CreateChild(hwnd_, WC_LISTVIEWW, L"",
                             WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                 LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                             kLstEngines, 8, 8, 240, 318);
    ListView_SetExtendedListViewStyle(lstEngines, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 230;
    ListView_InsertColumn(lstEngines, 0, &column);
    cmdUp =
        CreateChild(hwnd_, L"BUTTON", L"上移", WS_TABSTOP | BS_PUSHBUTTON, kCmdUp, 256, 8, 65, 23);
    cmdDown = CreateChild(hwnd_, L"BUTTON", L"下移", WS_TABSTOP | BS_PUSHBUTTON, kCmdDown, 256, 37,
                          65, 23);
    lblName = Label(hwnd_, L"", 330, 8, 422, 18);
    SendMessageW(lblName, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(13, true)), FALSE);
    lblNeeds = Label(hwnd_, L"", 330, 28, 422, 32);
    lblOffline = Label(hwnd_, L"", 330, 62, 422, 18);
    lblCoverage = Label(hwnd_, L"", 330, 82, 422, 84);
    cmdKeyPage = CreateChild(hwnd_, L"BUTTON", L"", WS_TABSTOP | BS_PUSHBUTTON, kCmdKeyPage, 330,
                             168, 100, 23);
    lblUrl = Label(hwnd_, L"地址：", 330, 203, 50, 18);
    txtUrl = CreateChild(hwnd_, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kTxtUrl, 382, 200, 370,
                         22, WS_EX_CLIENTEDGE);
    lblKey = Label(hwnd_, L"密钥：", 330, 231, 50, 18);
    txtKey = CreateChild(hwnd_, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, kTxtKey,
                         382, 228, 370, 22, WS_EX_CLIENTEDGE);
    lblRegion = Label(hwnd_, L"区域：", 330, 259, 50, 18);
    txtRegion = CreateChild(hwnd_, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kTxtRegion, 382, 256,
                            370, 22, WS_EX_CLIENTEDGE);
    cmdTest = CreateChild(hwnd_, L"BUTTON", L"测试", WS_TABSTOP | BS_PUSHBUTTON, kCmdTest, 330, 286,
                          65, 23);
    EnableWindow(cmdTest, static_cast<bool>(test_));
    lblTestResult = Label(hwnd_, L"", 403, 289, 349, 40);
    lblKeyStore = Label(hwnd_, L"", 8, 334, 744, 18);
    lblError = Label(hwnd_, L"", 8, 356, 744, 18);
    lblNote = Label(hwnd_, L"确定后立即生效", 8, 389, 400, 18);
    cmdOK = CreateChild(hwnd_, L"BUTTON", L"确定", WS_TABSTOP | BS_DEFPUSHBUTTON, kCmdOK, 614, 384,
                        65, 23);
    cmdCancel = CreateChild(hwnd_, L"BUTTON", L"取消", WS_TABSTOP | BS_PUSHBUTTON, kCmdCancel, 687,
                            384, 65, 23);
}

void EngineSettingsDialog::InsertRow(int row, const std::string& name, bool checked) {
    // The row shows the engine's name for the user and keeps its identifier's place among the
    // known engines.
    const std::vector<std::string>& known = KnownEngines();
    const auto at = std::find(known.begin(), known.end(), name);
    if (at == known.end()) return;
    const std::u16string text = platform::Utf8Decode(std::string(GuideOf(name).name));
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(W(text));
    item.lParam = at - known.begin();
    const int inserted = ListView_InsertItem(lstEngines, &item);
    ListView_SetCheckState(lstEngines, inserted, checked);
}

void EngineSettingsDialog::Load() {
    const Configuration config = LoadSettingsFile(file_, nullptr, DpapiKeyCodec());
    loaded_ = EngineEditsOf(config);
    keysToSeal_ = config.keysToSeal;
    edits_ = loaded_;
    int row = 0;
    for (const EngineListRow& r : EngineListOrder(config, OfferedEngines()))
        InsertRow(row++, r.name, r.used);
    SetWindowTextW(lblKeyStore, L"密钥保存在：配置文件 (已为本用户加密)");
    ListView_SetItemState(lstEngines, 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ShowEngine(0);
}

std::string EngineSettingsDialog::EngineAt(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(lstEngines, &item)) return {};
    const std::vector<std::string>& known = KnownEngines();
    const auto index = static_cast<std::size_t>(item.lParam);
    return index < known.size() ? known[index] : std::string();
}

int EngineSettingsDialog::SelectedRow() const {
    return ListView_GetNextItem(lstEngines, -1, LVNI_SELECTED);
}

void EngineSettingsDialog::ShowEngine(int row) {
    const int count = ListView_GetItemCount(lstEngines);
    shown_ = row >= 0 && row < count ? EngineAt(row) : std::string();
    const EngineSettings& s = edits_[shown_];
    const EngineFields fields = FieldsOf(shown_);
    const EngineGuide guide = GuideOf(shown_);
    SetText(lblName, std::string(guide.name));
    SetText(lblNeeds, std::string(guide.needs));
    SetText(lblOffline, OfflineLine(guide));
    SetText(lblCoverage, CoverageLine(shown_, {}));  // the offline engine is not offered here
    SetText(cmdKeyPage, std::string(guide.linkText) + "…");
    ShowWindow(cmdKeyPage, guide.linkUrl.empty() ? SW_HIDE : SW_SHOW);
    filling_ = true;
    SetText(txtUrl, s.url);
    EnableWindow(txtUrl, fields.url);
    SetHint(txtUrl, fields.urlHint);
    SetText(txtKey, s.key);
    EnableWindow(txtKey, fields.key);
    SetHint(txtKey, fields.keyHint);
    SetText(txtRegion, s.region);
    ShowWindow(txtRegion, fields.region ? SW_SHOW : SW_HIDE);
    ShowWindow(lblRegion, fields.region ? SW_SHOW : SW_HIDE);
    filling_ = false;
    SetWindowTextW(lblTestResult, L"");
    EnableWindow(cmdUp, row > 0);
    EnableWindow(cmdDown, row >= 0 && row + 1 < count);
}

void EngineSettingsDialog::Move(int by) {
    const int from = SelectedRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= ListView_GetItemCount(lstEngines)) return;
    const std::string name = EngineAt(from);
    const bool checked = ListView_GetCheckState(lstEngines, from) != FALSE;
    filling_ = true;  // the rows' own selection changes show nothing new
    ListView_DeleteItem(lstEngines, from);
    InsertRow(to, name, checked);
    filling_ = false;
    ListView_SetItemState(lstEngines, to, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(lstEngines, to, FALSE);
    ShowEngine(to);
}

void EngineSettingsDialog::RunTest() {
    if (!test_ || shown_.empty()) return;
    testOk_ = true;
    SetWindowTextW(lblTestResult, L"正在测试……");
    UpdateWindow(lblTestResult);
    const auto [ok, text] = test_(shown_, edits_[shown_]);
    testOk_ = ok;
    SetText(lblTestResult, TestResultLine(ok, text));
}

void EngineSettingsDialog::FieldChanged(int id) {
    if (filling_ || shown_.empty()) return;
    EngineSettings& s = edits_[shown_];
    if (id == kTxtUrl) s.url = Trimmed(txtUrl);
    if (id == kTxtKey) s.key = Trimmed(txtKey);
    if (id == kTxtRegion) s.region = Trimmed(txtRegion);
}

void EngineSettingsDialog::cmdOK_Click() {
    std::vector<std::string> enabled;
    const int count = ListView_GetItemCount(lstEngines);
    for (int row = 0; row < count; ++row) {
        if (ListView_GetCheckState(lstEngines, row)) enabled.push_back(EngineAt(row));
    }
    std::string why = CheckEngineSettings(enabled, edits_);
    if (why.empty())
        why = SaveEngineSettings(file_, enabled, loaded_, edits_, keysToSeal_, DpapiKeyCodec());
    if (!why.empty()) {
        ShowSaveError(why);
        return;
    }
    Finish(true);
}

LRESULT EngineSettingsDialog::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            const int code = HIWORD(wp);
            if (code == EN_CHANGE) {
                FieldChanged(id);
            } else if (id == kCmdOK || id == IDOK) {
                if (code == BN_CLICKED) cmdOK_Click();
            } else if (id == kCmdCancel || id == IDCANCEL) {
                if (code == BN_CLICKED) Finish(false);
            } else if (code == BN_CLICKED) {
                if (id == kCmdUp) Move(-1);
                if (id == kCmdDown) Move(1);
                if (id == kCmdTest) RunTest();
                if (id == kCmdKeyPage && openUrl && !GuideOf(shown_).linkUrl.empty())
                    openUrl(std::string(GuideOf(shown_).linkUrl));
            }
            return 0;
        }
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr->idFrom == kLstEngines && hdr->code == LVN_ITEMCHANGED && !filling_) {
                const auto* change = reinterpret_cast<const NMLISTVIEW*>(lp);
                if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                    !(change->uOldState & LVIS_SELECTED))
                    ShowEngine(change->iItem);
            }
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            const HWND control = reinterpret_cast<HWND>(lp);
            if (control != lblError && control != lblTestResult) break;
            return Ink(wp, control == lblError || !testOk_ ? kErrorInk : kGoodInk);
        }
        default:
            break;
    }
    return HandleDefault(msg, wp, lp);
}

}  // namespace velmora::app::win32
