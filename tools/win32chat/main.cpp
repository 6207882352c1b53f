// win32chat: a plain Win32 chat window whose other party is scripted, standing in for an IM
// client in the Windows build's tests.

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ChatText.h"

namespace {

const char* kHelp =
    "win32chat [options]\n"
    "  --title TEXT         window title (default \"win32chat - chat with Peer\")\n"
    "  --geometry X,Y,W,H   window place and size (default 60,60,520,480)\n"
    "  --me NAME            our speaker name (default Me)\n"
    "  --peer NAME          the other party's name (default Peer)\n"
    "  --send-key KEY       enter or ctrl-enter (default enter); the button always sends\n"
    "  --replies FILE       the peer's answers, one a line (UTF-8; \\n \\t \\\\ escapes;\n"
    "                       # comments), one used after each message we send\n"
    "  --reply-delay MS     delay of each answer (default 300)\n"
    "  --log FILE           append every sent message there, one UTF-8 line each\n"
    "                       (line breaks as \\n, backslashes doubled)\n"
    "Controls: history (id 101, read-only), input (id 102), Send button (id 103).\n"
    "History lines end in CR LF; a message is \"Name 12:34:56\" and its lines indented.\n";

constexpr int kHistoryId = 101;
constexpr int kInputId = 102;
constexpr int kSendId = 103;
constexpr int kMargin = 8;
constexpr int kButtonW = 80;
constexpr int kButtonH = 28;
constexpr wchar_t kWindowClass[] = L"Win32ChatWindow";

struct Options {
    std::wstring title;
    int x = 60, y = 60, w = 520, h = 480;
    std::wstring me = L"Me";
    std::wstring peer = L"Peer";
    bool ctrlEnterSends = false;
    std::vector<std::wstring> replies;
    int replyDelayMs = 300;
    std::wstring logPath;
};

struct App {
    Options options;
    HWND window = nullptr;
    HWND history = nullptr;
    HWND input = nullptr;
    HWND send = nullptr;
    WNDPROC inputProc = nullptr;
    WNDPROC historyProc = nullptr;
    bool dropNextChar = false;  // the character message of a key we acted on ourselves
    std::size_t nextReply = 0;
    std::deque<std::wstring> dueReplies;  // answers waiting for their timers, in order
    UINT_PTR nextTimer = 1;
};
App app;

void AppendMessage(const std::wstring& name, const std::wstring& text) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    const std::wstring block = win32chat::MessageBlock(name, t.wHour, t.wMinute, t.wSecond, text);
    const int end = GetWindowTextLengthW(app.history);
    SendMessageW(app.history, EM_SETSEL, end, end);
    SendMessageW(app.history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(block.c_str()));
    SendMessageW(app.history, EM_SCROLLCARET, 0, 0);
}

std::wstring InputText() {
    const int n = GetWindowTextLengthW(app.input);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(app.input, text.data(), n + 1)));
    return text;
}

void Send() {
    const std::wstring text = InputText();
    if (text.empty()) return;  // chat programs refuse to send nothing
    if (!app.options.logPath.empty()) {
        // Opened and closed each time, so a reader sees the line at once.
        std::ofstream log(app.options.logPath.c_str(), std::ios::binary | std::ios::app);
        log << win32chat::LogLine(text);
    }
    SetWindowTextW(app.input, L"");
    AppendMessage(app.options.me, text);
    if (app.nextReply < app.options.replies.size()) {
        app.dueReplies.push_back(app.options.replies[app.nextReply++]);
        SetTimer(app.window, app.nextTimer++, static_cast<UINT>(app.options.replyDelayMs), nullptr);
    }
}

bool Held(int vk) {
    return GetKeyState(vk) < 0;
}

// The input box: Ctrl+A selects everything (the system's edit control leaves that to its
// owner) and the send key sends.
LRESULT CALLBACK InputProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYDOWN) {
        const bool ctrl = Held(VK_CONTROL);
        if (wp == 'A' && ctrl && !Held(VK_MENU)) {
            SendMessageW(hwnd, EM_SETSEL, 0, -1);
            app.dropNextChar = true;
            return 0;
        }
        if (wp == VK_RETURN && hwnd == app.input && !Held(VK_SHIFT) &&
            ctrl == app.options.ctrlEnterSends) {
            Send();
            app.dropNextChar = true;
            return 0;
        }
        app.dropNextChar = false;
    } else if (msg == WM_CHAR && app.dropNextChar) {
        app.dropNextChar = false;
        if (wp == 1 || wp == L'\r' || wp == L'\n') return 0;
    }
    return CallWindowProcW(hwnd == app.history ? app.historyProc : app.inputProc, hwnd, msg, wp,
                           lp);
}

void Layout(int width, int height) {
    const int inner = width - 2 * kMargin;
    const int inputH = (height - 4 * kMargin - kButtonH) / 4;
    const int historyH = height - 4 * kMargin - kButtonH - inputH;
    MoveWindow(app.history, kMargin, kMargin, inner, historyH, TRUE);
    MoveWindow(app.input, kMargin, 2 * kMargin + historyH, inner, inputH, TRUE);
    MoveWindow(app.send, width - kMargin - kButtonW, height - kMargin - kButtonH, kButtonW,
               kButtonH, TRUE);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            Layout(LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_SETFOCUS:
            SetFocus(app.input);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wp) == kSendId && HIWORD(wp) == BN_CLICKED) {
                Send();
                SetFocus(app.input);
            }
            return 0;
        case WM_TIMER:
            KillTimer(hwnd, wp);
            if (!app.dueReplies.empty()) {
                AppendMessage(app.options.peer, app.dueReplies.front());
                app.dueReplies.pop_front();
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "win32chat: %s\n%s", message.c_str(), kHelp);
    return 2;
}

bool ParseInt(const std::wstring& s, int& out) {
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    const long v = std::wcstol(s.c_str(), &end, 10);
    if (*end != L'\0') return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseGeometry(const std::wstring& s, Options& o) {
    int v[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t comma = i < 3 ? s.find(L',', start) : s.size();
        if (comma == std::wstring::npos || !ParseInt(s.substr(start, comma - start), v[i]))
            return false;
        start = comma + 1;
    }
    o.x = v[0];
    o.y = v[1];
    o.w = v[2];
    o.h = v[3];
    return o.w > 0 && o.h > 0;
}

// Reads the options; an empty string when they are good, else what is wrong.
std::string ParseOptions(const std::vector<std::wstring>& args, Options& o) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::wstring& name = args[i];
        if (name == L"--help") return "help";
        if (i + 1 >= args.size()) return "missing value of " + win32chat::ToUtf8(name);
        const std::wstring& value = args[++i];
        if (name == L"--title") {
            o.title = value;
        } else if (name == L"--geometry") {
            if (!ParseGeometry(value, o)) return "--geometry takes X,Y,W,H";
        } else if (name == L"--me") {
            o.me = value;
        } else if (name == L"--peer") {
            o.peer = value;
        } else if (name == L"--send-key") {
            if (value != L"enter" && value != L"ctrl-enter")
                return "--send-key takes enter or ctrl-enter";
            o.ctrlEnterSends = value == L"ctrl-enter";
        } else if (name == L"--replies") {
            std::ifstream in(value.c_str(), std::ios::binary);
            if (!in) return "cannot read " + win32chat::ToUtf8(value);
            o.replies = win32chat::ParseReplies(
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        } else if (name == L"--reply-delay") {
            if (!ParseInt(value, o.replyDelayMs) || o.replyDelayMs < 0) return "bad --reply-delay";
        } else if (name == L"--log") {
            o.logPath = value;
        } else {
            return "unknown option " + win32chat::ToUtf8(name);
        }
    }
    if (o.title.empty()) o.title = L"win32chat - chat with " + o.peer;
    return {};
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv, argv + (argv ? argc : 0));
    LocalFree(argv);
    const std::string error = ParseOptions(args, app.options);
    if (error == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (!error.empty()) return Fail(error);

    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassW(&wc)) return Fail("cannot register the window class");

    const Options& o = app.options;
    app.window = CreateWindowExW(0, kWindowClass, o.title.c_str(), WS_OVERLAPPEDWINDOW, o.x, o.y,
                                 o.w, o.h, nullptr, nullptr, instance, nullptr);
    if (!app.window) return Fail("cannot create the window");
    auto control = [&](const wchar_t* cls, DWORD style, DWORD exStyle, int id,
                       const wchar_t* text) {
        HWND h = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                 app.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance, nullptr);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
        return h;
    };
    const DWORD multiLine = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
    app.history = control(L"EDIT", multiLine | ES_READONLY, WS_EX_CLIENTEDGE, kHistoryId, L"");
    app.input = control(L"EDIT", multiLine | ES_WANTRETURN, WS_EX_CLIENTEDGE, kInputId, L"");
    app.send = control(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, kSendId, L"Send");
    SendMessageW(app.history, EM_SETLIMITTEXT, 0, 0);  // no 32K cap on a long conversation
    app.inputProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(app.input, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InputProc)));
    app.historyProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(app.history, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InputProc)));
    RECT client{};
    GetClientRect(app.window, &client);
    Layout(client.right, client.bottom);

    ShowWindow(app.window, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(app.window);
    SetFocus(app.input);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
