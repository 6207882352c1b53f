// A whole conversation through velmora.exe under Wine, as a user has it: the stand-in chat
// window (win32chat) with a scripted peer, a LibreTranslate stand-in on loopback, the three
// targets picked on the snapshot overlay by real clicks, messages sent from the main window and
// the peer's answers read back by the program's idle capture.

#include "LibreStandIn.h"
// After winsock2.h (from the stand-in's header), which must come before windows.h.
#include "platform/win32/Win32TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;
using platform::win32::test::PumpFor;
using platform::win32::test::PumpUntil;

// The front end's windows as it creates them: classes, captions and control ids.
constexpr wchar_t kMainClass[] = L"VelmoraMain";
constexpr wchar_t kOverlayClass[] = L"VelmoraSnapShot";
constexpr wchar_t kImageClass[] = L"VelmoraImage";
constexpr int kTxtResultId = 102;
constexpr int kCboOtherLanId = 103;
constexpr int kTxtSendId = 105;
// win32chat's controls.
constexpr wchar_t kChatClass[] = L"Win32ChatWindow";
constexpr int kChatHistoryId = 101;
constexpr int kChatInputId = 102;
constexpr int kChatSendId = 103;

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"velmora";

// Where the chat window is placed, away from the main window's corner.
constexpr RECT kChatPlace{720, 60, 720 + 520, 60 + 500};
constexpr POINT kMainPlace{10, 10};

// One exchange: what we type (Chinese) and what the chat window must get; what the peer answers
// (English) and what must show in the result box.
struct Exchange {
    std::wstring typed, sent, reply, replyTranslated;
};

std::string Utf8(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The text of another process's window, asked for with a bound.
std::wstring TextOf(HWND h) {
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &n)) return L"?";
    std::wstring text(n + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 3000, &got))
        return L"?";
    text.resize(std::min<std::size_t>(got, n));
    return text;
}

// Rich edit boxes may end paragraphs with CR alone: every line end becomes LF.
std::wstring Lines(std::wstring text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Text taken literally inside a regular expression.
std::wstring Literal(const std::wstring& text) {
    static const std::wstring special = L"\\^$.|?*+()[]{}";
    std::wstring out;
    for (wchar_t c : text) {
        if (special.find(c) != std::wstring::npos) out += L'\\';
        out += c;
    }
    return out;
}

std::size_t Count(const std::wstring& text, const std::wstring& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

POINT Centre(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A left click where the user would make it: the pointer moves there, then the button goes down
// and up through the system's input queue.
void ClickAt(POINT p) {
    SetCursorPos(p.x, p.y);
    PumpFor(80);
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in[0], sizeof(INPUT));
    PumpFor(60);
    SendInput(1, &in[1], sizeof(INPUT));
    PumpFor(80);
}

// Keys pressed in order and released in reverse, through the system's input queue.
void PressChord(std::initializer_list<WORD> keys) {
    for (WORD k : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k;
        SendInput(1, &in, sizeof(INPUT));
        PumpFor(40);
    }
    for (auto k = std::rbegin(keys); k != std::rend(keys); ++k) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *k;
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(1, &in, sizeof(INPUT));
        PumpFor(40);
    }
}

// A direct child of parent by class and caption.
HWND Child(HWND parent, const wchar_t* cls, const wchar_t* caption) {
    return FindWindowExW(parent, nullptr, cls, caption);
}

HWND VisibleOverlay() {
    HWND h = FindWindowW(kOverlayClass, nullptr);
    return h && IsWindowVisible(h) ? h : nullptr;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

void DeleteRunEntry() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kRunValue);
        RegCloseKey(key);
    }
}

// A loopback port nobody listens on: whatever is sent there is refused at once.
int ClosedPort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

class E2eConversationTest : public ::testing::Test {
  protected:
    // Chinese <-> English, whole texts; the stand-in knows nothing else.
    const std::vector<Exchange> exchanges_ = {
        {L"你好", L"hello", L"Hello, are you there?", L"你好，你在吗？"},
        {L"很高兴认识你", L"nice to meet you", L"Nice to meet you too", L"我也很高兴认识你"},
    };
    // Typed straight into the chat window, then translated where it stands.
    const std::wstring inPlaceTyped_ = L"明天见", inPlaceTranslated_ = L"see you tomorrow";

    void SetUp() override {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        DeleteRunEntry();
        ASSERT_EQ(FindWindowW(kMainClass, nullptr), nullptr)
            << "another velmora is running in this Wine prefix";

        std::vector<std::pair<std::string, std::string>> glossary;
        for (const auto& e : exchanges_) {
            glossary.emplace_back(Utf8(e.typed), Utf8(e.sent));
            glossary.emplace_back(Utf8(e.replyTranslated), Utf8(e.reply));
        }
        glossary.emplace_back(Utf8(inPlaceTyped_), Utf8(inPlaceTranslated_));
        service_ = std::make_unique<LibreStandIn>(glossary);
        std::string why;
        ASSERT_TRUE(service_->Start(why)) << why;

        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = fs::path(temp) / (L"velmora-e2e-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / L"appdata" / L"velmora");
        exe_ = folder_ / L"velmora.exe";
        fs::copy_file(platform::win32::test::WindowsPath(VELMORA_EXE), exe_);

        // The one engine, at the stand-in; nothing else reaches past loopback.
        std::ofstream(folder_ / L"appdata" / L"velmora" / L"velmora.conf", std::ios::binary)
            << "[translation]\r\nengines = libretranslate\r\n\r\n[libretranslate]\r\nurl = "
               "http://127.0.0.1:"
            << service_->port() << "/translate\r\n";
        // The child inherits the environment: its settings folder, and refused addresses for
        // the vendor's pages and updates.
        SetEnvironmentVariableW(L"APPDATA", (folder_ / L"appdata").c_str());
        const std::wstring nowhere = L"127.0.0.1:" + std::to_wstring(ClosedPort());
        SetEnvironmentVariableW(L"VELMORA_UPDATE_URL", (L"http://" + nowhere).c_str());
        SetEnvironmentVariableW(L"VELMORA_PAGE_BASE", nowhere.c_str());
        for (const wchar_t* name : {L"VELMORA_ENGINES", L"VELMORA_TRANSLATE_URL"})
            SetEnvironmentVariableW(name, nullptr);

        // The peer answers once after each message of ours.
        std::string replies;
        for (const auto& e : exchanges_) replies += Utf8(e.reply) + "\n";
        std::ofstream(folder_ / L"replies.txt", std::ios::binary) << replies;
        chatLog_ = folder_ / L"sent.log";
        chatTitle_ = L"velmora e2e chat " + std::to_wstring(GetCurrentProcessId());
        chat_ = std::make_unique<platform::win32::test::Process>(
            L"\"" + platform::win32::test::WindowsPath(VELMORA_WIN32CHAT) + L"\" --title \"" +
            chatTitle_ + L"\" --geometry " + std::to_wstring(kChatPlace.left) + L"," +
            std::to_wstring(kChatPlace.top) + L"," +
            std::to_wstring(kChatPlace.right - kChatPlace.left) + L"," +
            std::to_wstring(kChatPlace.bottom - kChatPlace.top) +
            L" --me Me --peer Alice --send-key enter --reply-delay 400 --replies \"" +
            (folder_ / L"replies.txt").wstring() + L"\" --log \"" + chatLog_.wstring() + L"\"");
        ASSERT_TRUE(chat_->started());
        ASSERT_TRUE(PumpUntil(
            [&] {
                chatWindow_ = FindWindowW(kChatClass, chatTitle_.c_str());
                return chatWindow_ && IsWindowVisible(chatWindow_);
            },
            20000))
            << "the chat window did not appear";
        chatHistory_ = GetDlgItem(chatWindow_, kChatHistoryId);
        chatInput_ = GetDlgItem(chatWindow_, kChatInputId);
        chatSend_ = GetDlgItem(chatWindow_, kChatSendId);
        ASSERT_TRUE(chatHistory_ && chatInput_ && chatSend_);

        velmora_ = std::make_unique<platform::win32::test::Process>(L"\"" + exe_.wstring() + L"\"");
        ASSERT_TRUE(velmora_->started());
        ASSERT_TRUE(PumpUntil(
            [&] {
                main_ = FindWindowW(kMainClass, nullptr);
                return (main_ && IsWindowVisible(main_)) || velmora_->Exited(0);
            },
            30000));
        ASSERT_TRUE(main_ && IsWindowVisible(main_)) << "velmora's main window did not appear";
        // Placed apart from the chat window, so neither covers what is clicked on the other.
        SetWindowPos(main_, nullptr, kMainPlace.x, kMainPlace.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT last{};
        ASSERT_TRUE(PumpUntil(
            [&] {
                RECT a{}, b{};
                GetWindowRect(main_, &a);
                GetWindowRect(chatWindow_, &b);
                const bool same = EqualRect(&a, &last);
                last = a;
                RECT both{};
                return same && !IntersectRect(&both, &a, &b) && a.left < 300;
            },
            10000))
            << "the main window did not settle apart from the chat window";
        PumpFor(300);
    }

    void TearDown() override {
        // Killed, as a user's session end would leave them: nothing may outlive the test.
        velmora_.reset();
        chat_.reset();
        service_.reset();
        DeleteRunEntry();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        WSACleanup();
    }

    // Presses one of the main window's picker images, then clicks the target on the overlay.
    void Pick(const wchar_t* icon, HWND target) {
        SCOPED_TRACE(Utf8(icon));
        HWND image = Child(main_, kImageClass, icon);
        ASSERT_NE(image, nullptr) << "no picker image";
        ClickAt(Centre(image));
        HWND overlay = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (overlay = VisibleOverlay()) != nullptr; }, 10000))
            << "the snapshot overlay did not appear";
        PumpFor(400);  // painted, and its modal loop running
        ClickAt(Centre(target));
        ASSERT_TRUE(PumpUntil([&] { return VisibleOverlay() == nullptr; }, 10000))
            << "the snapshot overlay did not close";
        PumpFor(400);
    }

    // A moment when the program is not about to capture: the idle countdown has at least two
    // seconds left, or it is not counting. Only narrows a race; a timeout goes on regardless.
    void WaitForQuietMoment() {
        HWND keeper = FindWindowExW(main_, nullptr, L"Static", nullptr);
        PumpUntil(
            [&] {
                if (!keeper || !IsWindowVisible(keeper)) return true;
                const std::wstring t = TextOf(keeper);
                return t == L"5" || t == L"4" || t == L"3";
            },
            10000);
    }

    // What the program shows about its state, for a failure's message.
    std::string State() {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
        auto name = [&](HWND h) {
            if (!h) return std::string("none");
            wchar_t cls[64] = {};
            GetClassNameW(h, cls, 64);
            return Utf8(cls) + "(" + Utf8(TextOf(h)).substr(0, 20) + ")";
        };
        HWND keeper = FindWindowExW(main_, nullptr, L"Static", nullptr);
        HWND tips = FindWindowExW(main_, nullptr, L"VelmoraTips", nullptr);
        HWND tip = tips ? FindWindowExW(tips, nullptr, L"Static", nullptr) : nullptr;
        return "foreground " + name(GetForegroundWindow()) + ", velmora's active " +
               name(info.hwndActive) + ", focus " + name(info.hwndFocus) + ", countdown " +
               (keeper && IsWindowVisible(keeper) ? Utf8(TextOf(keeper)) : "hidden") + ", tip " +
               (tips && IsWindowVisible(tips) && tip ? Utf8(TextOf(tip)) : "hidden");
    }

    std::wstring ResultText() { return Lines(TextOf(GetDlgItem(main_, kTxtResultId))); }

    std::unique_ptr<LibreStandIn> service_;
    fs::path folder_, exe_, chatLog_;
    std::wstring chatTitle_;
    std::unique_ptr<platform::win32::test::Process> chat_, velmora_;
    HWND chatWindow_ = nullptr, chatHistory_ = nullptr, chatInput_ = nullptr, chatSend_ = nullptr;
    HWND main_ = nullptr;
};

TEST_F(E2eConversationTest, MessagesGoOutTranslatedAndAnswersComeBackTranslated) {
    // The three targets, as a user sets them: input box, history, send button.
    ASSERT_NO_FATAL_FAILURE(Pick(L"imgSendArea", chatInput_));
    ASSERT_NO_FATAL_FAILURE(Pick(L"imgReturnArea", chatHistory_));
    ASSERT_NO_FATAL_FAILURE(Pick(L"imgSendButton", chatSend_));

    // The other party writes English; ours stays the first row, simplified Chinese.
    HWND other = GetDlgItem(main_, kCboOtherLanId);
    DWORD_PTR english = static_cast<DWORD_PTR>(CB_ERR);
    SendMessageTimeoutW(other, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(L"英语"), SMTO_ABORTIFHUNG, 3000, &english);
    ASSERT_NE(english, static_cast<DWORD_PTR>(CB_ERR)) << "no 英语 in the other language list";
    SendMessageTimeoutW(other, CB_SETCURSEL, english, 0, SMTO_ABORTIFHUNG, 3000, nullptr);

    HWND txtSend = GetDlgItem(main_, kTxtSendId);
    HWND sendImage = Child(main_, kImageClass, L"imgSendMask");
    ASSERT_TRUE(txtSend && sendImage);

    std::string expectedLog;
    for (std::size_t i = 0; i < exchanges_.size(); ++i) {
        const Exchange& e = exchanges_[i];
        SCOPED_TRACE("exchange " + std::to_string(i + 1) + ": " + Utf8(e.typed));

        // Typed into txtSend (its text set directly: synthetic keys cannot type Chinese), then
        // sent with the main window's send image.
        ClickAt(Centre(txtSend));
        ASSERT_TRUE(PumpUntil([&] { return FocusOf(main_) == txtSend; }, 5000))
            << "a click on txtSend did not focus it";
        WaitForQuietMoment();
        SendMessageTimeoutW(txtSend, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(e.typed.c_str()),
                            SMTO_ABORTIFHUNG, 3000, nullptr);
        ASSERT_EQ(TextOf(txtSend), e.typed);
        ClickAt(Centre(sendImage));

        // The chat window got the translation and nothing else, sent by its own button.
        expectedLog += Utf8(e.sent) + "\n";
        const bool delivered = PumpUntil([&] { return ReadAll(chatLog_) == expectedLog; }, 30000);
        EXPECT_TRUE(delivered) << State() << "\nchat log:\n"
                               << ReadAll(chatLog_) << "expected:\n"
                               << expectedLog;
        EXPECT_TRUE(PumpUntil([&] { return TextOf(txtSend).empty(); }, 5000))
            << "the sent text stayed in txtSend";
        const std::wregex echo(L"我说 \\d\\d:\\d\\d:\\d\\d\\n" +
                               Literal(e.typed + L"(译文:" + e.sent + L")\n"));
        EXPECT_TRUE(std::regex_search(ResultText(), echo)) << "no echo in txtResult:\n"
                                                           << Utf8(ResultText());

        // The user goes on typing where they were: the send hands the focus back to txtSend,
        // where the idle countdown runs. If it does not, a user clicks there, and so do we, to
        // see the rest of the conversation.
        EXPECT_TRUE(PumpUntil([&] { return FocusOf(main_) == txtSend; }, 5000))
            << "after the send the focus is not back in txtSend (" << State() << ")";
        if (FocusOf(main_) != txtSend) ClickAt(Centre(txtSend));

        // The peer answers; the idle capture brings the answer over, translated.
        ASSERT_TRUE(PumpUntil(
            [&] { return TextOf(chatHistory_).find(e.reply) != std::wstring::npos; }, 10000))
            << "the peer did not answer";
        const std::wstring incoming = e.reply + L"(译文：" + e.replyTranslated + L")\n";
        const bool answered =
            PumpUntil([&] { return ResultText().find(incoming) != std::wstring::npos; }, 60000);
        EXPECT_TRUE(answered) << "the answer did not show translated in txtResult (" << State()
                              << "):\n"
                              << Utf8(ResultText());
        EXPECT_TRUE(std::regex_search(
            ResultText(), std::wregex(L"(^|\\n)Alice \\d\\d:\\d\\d:\\d\\d\\n" + Literal(incoming))))
            << "the answer is not under the peer's speaker line:\n"
            << Utf8(ResultText());
        // A conversation gone astray says nothing more about the later exchanges.
        if (!delivered || !answered) return;
    }

    // Every text crossed exactly once each way: later captures passed over what earlier ones
    // had shown, and our own lines were never taken for the peer's.
    const std::wstring result = ResultText();
    for (const auto& e : exchanges_) {
        EXPECT_EQ(Count(result, L"(译文：" + e.replyTranslated + L")"), 1u) << Utf8(e.reply);
        EXPECT_EQ(Count(result, L"(译文:" + e.sent + L")"), 1u) << Utf8(e.typed);
        EXPECT_EQ(Count(result, e.sent + L"(译文："), 0u)
            << "our own message shown as the peer's: " << Utf8(e.sent);
    }
    EXPECT_FALSE(std::regex_search(result, std::wregex(L"(^|\\n)Me \\d\\d:\\d\\d:\\d\\d\\n")))
        << "our own speaker line shown as incoming:\n"
        << Utf8(result);

    // What the service was asked: each text once, in order, with the LibreTranslate codes of
    // the two languages, as JSON without a key (none is configured).
    std::vector<std::string> asked, want;
    for (const auto& r : service_->Requests()) {
        if (r.path != "/translate") continue;
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.status, 200) << r.body;
        EXPECT_NE(r.contentType.find("application/json"), std::string::npos) << r.contentType;
        EXPECT_EQ(r.format, "text");
        EXPECT_FALSE(r.hasApiKey);
        asked.push_back(r.source + ">" + r.target + " " + r.q);
    }
    for (const auto& e : exchanges_) {
        want.push_back("zh>en " + Utf8(e.typed));
        want.push_back("en>zh " + Utf8(e.reply));
    }
    EXPECT_EQ(asked, want);

    // Translation in place: text typed in the chat window's own input box is replaced by its
    // translation when the shortcut (Ctrl+Alt+Y unless configured) is pressed there; nothing
    // is sent, as the configuration does not ask for it.
    const auto translations = [&] {
        std::vector<std::string> out;
        for (const auto& r : service_->Requests())
            if (r.path == "/translate") out.push_back(r.source + ">" + r.target + " " + r.q);
        return out;
    };
    const std::size_t before = translations().size();
    // An idle capture under way when the user moves to the chat window gives the foreground
    // back to the main window as it ends; the user then clicks again, and so do we.
    bool inChat = false;
    for (int attempt = 0; attempt < 8 && !inChat; ++attempt) {
        ClickAt(Centre(chatInput_));
        inChat = true;
        for (int ms = 0; ms < 1500 && inChat; ms += 50) {
            PumpFor(50);
            inChat = GetForegroundWindow() == chatWindow_ && FocusOf(chatWindow_) == chatInput_;
        }
    }
    ASSERT_TRUE(inChat) << "the chat input does not keep the focus (" << State() << ")";
    SendMessageTimeoutW(chatInput_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(inPlaceTyped_.c_str()),
                        SMTO_ABORTIFHUNG, 3000, nullptr);
    PressChord({VK_CONTROL, VK_MENU, 'Y'});
    EXPECT_TRUE(PumpUntil([&] { return TextOf(chatInput_) == inPlaceTranslated_; }, 20000))
        << "the chat input holds \"" << Utf8(TextOf(chatInput_)) << "\" (" << State() << ")";
    PumpFor(500);
    EXPECT_EQ(ReadAll(chatLog_), expectedLog) << "in place sent something";
    const auto after = translations();
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.back(), "zh>en " + Utf8(inPlaceTyped_));
}

}  // namespace
}  // namespace velmora::e2e
