// The clipboard, the screen capture, the global shortcut and activation against windows of the
// test's own and a second process, under Wine in the test desktop.

#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "support/Finish.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/SystemScreen.h"
#include "platform/VirtualKey.h"
#include "platform/win32/Win32Clipboard.h"
#include "platform/win32/Win32Hotkey.h"
#include "platform/win32/Win32Input.h"
#include "platform/win32/Win32Windows.h"

namespace velmora::platform::win32 {
namespace {

using test::PumpFor;
using test::PumpUntil;

constexpr std::uint8_t kVkF9 = 0x78;
constexpr HotkeyChord kChord{kHotkeyControl | kHotkeyShift, kVkF9};
constexpr wchar_t kHolderVariable[] = L"VELMORA_TEST_HOTKEY_HOLDER";

// Started again as the second process of the shortcut test, the program holds the chord
// until told to let go, and ends before any test runs.
[[maybe_unused]] const bool kHolder = [] {
    wchar_t ready[MAX_PATH];
    if (!GetEnvironmentVariableW(kHolderVariable, ready, MAX_PATH)) return false;
    Win32Hotkey hotkey;
    std::string why;
    const bool held = hotkey.Register(kChord, why);
    const std::wstring done = std::wstring(ready) + L".done";
    HANDLE f = CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, held ? "1" : "0", 1, &n, nullptr);
    CloseHandle(f);
    PumpUntil([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
    hotkey.Unregister();
    ExitProcess(0);
}();

// A plain window of one colour, on top of everything.
class ColourWindow {
  public:
    ColourWindow(const Rect& at, COLORREF colour) : brush_(CreateSolidBrush(colour)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = brush_;
        wc.lpszClassName = kClass;
        UnregisterClassW(kClass, wc.hInstance);
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClass, L"colour",
                                WS_POPUP | WS_VISIBLE, at.left, at.top, at.right - at.left,
                                at.bottom - at.top, nullptr, nullptr, wc.hInstance, nullptr);
        UpdateWindow(hwnd_);
        PumpFor(300);
    }
    ~ColourWindow() {
        Destroy();
        UnregisterClassW(kClass, GetModuleHandleW(nullptr));
        DeleteObject(brush_);
    }
    ColourWindow(const ColourWindow&) = delete;
    ColourWindow& operator=(const ColourWindow&) = delete;
    void MoveTo(int x, int y) {
        SetWindowPos(hwnd_, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE);
        UpdateWindow(hwnd_);
        PumpFor(300);
    }
    void Destroy() {
        if (hwnd_) DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    HWND hwnd() const { return hwnd_; }

  private:
    static constexpr wchar_t kClass[] = L"VelmoraTestColour";
    HBRUSH brush_;
    HWND hwnd_ = nullptr;
};

class Win32BackendTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_FALSE(input.AnyKeyDown()); }
    void PressChord(bool repeatKey = false) {
        input.KeyDown(vk::Control);
        input.KeyDown(vk::Shift);
        input.KeyDown(kVkF9);
        if (repeatKey) input.KeyDown(kVkF9);  // what auto-repeat of a held key sends
        input.KeyUp(kVkF9);
        input.KeyUp(vk::Shift);
        input.KeyUp(vk::Control);
    }
    test::PumpLoop loop;
    SystemInput input{std::make_unique<SystemInput::State>()};
    Win32Windows windows{loop};
    SystemClipboard clipboard{loop};
};

TEST_F(Win32BackendTest, ClipboardTextRoundTrips) {
    const std::vector<std::u16string> texts = {u"plain",
                                               u"中文 和 日本語のテキスト",
                                               u"two\r\nlines\r\n",
                                               u"emoji \U0001F600 pair",
                                               std::u16string(5000, u'x'),
                                               u""};
    for (const auto& t : texts) {
        ASSERT_TRUE(clipboard.SetText(t));
        EXPECT_EQ(clipboard.Text(), t) << "text of " << t.size() << " units";
        EXPECT_TRUE(clipboard.Image().empty());
    }
    ASSERT_TRUE(clipboard.SetText(u"gone soon"));
    ASSERT_TRUE(clipboard.Clear());
    EXPECT_EQ(clipboard.Text(), std::u16string());
}

TEST_F(Win32BackendTest, ClipboardImageRoundTripsAndReplacesText) {
    ASSERT_TRUE(clipboard.SetText(u"before"));
    Bitmap b;
    b.width = 3;
    b.height = 2;
    b.pixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456, 0xFFFFFFFF, 0xFF000000};
    ASSERT_TRUE(clipboard.SetImage(b));
    Bitmap back = clipboard.Image();
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.pixels, b.pixels);
    EXPECT_EQ(clipboard.Text(), std::u16string());

    Bitmap none;
    EXPECT_FALSE(clipboard.SetImage(none));
    EXPECT_EQ(clipboard.Image().pixels, b.pixels);  // a refused image leaves the clipboard be
}

TEST_F(Win32BackendTest, EveryFormatAnotherProgramPutOnTheClipboardComesBack) {
    // Another program's text, image and a format of its own, set the way it would.
    Bitmap b;
    b.width = 2;
    b.height = 2;
    b.pixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456};
    ASSERT_TRUE(clipboard.SetImage(b));
    HANDLE dib = nullptr;
    std::string dibBytes;
    {
        ASSERT_TRUE(OpenClipboard(nullptr));
        dib = GetClipboardData(CF_DIB);
        ASSERT_NE(dib, nullptr);
        dibBytes.assign(static_cast<const char*>(GlobalLock(dib)), GlobalSize(dib));
        GlobalUnlock(dib);
        EmptyClipboard();
        auto put = [](UINT format, const void* data, std::size_t size) {
            HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
            std::memcpy(GlobalLock(h), data, size);
            GlobalUnlock(h);
            return SetClipboardData(format, h) != nullptr;
        };
        const wchar_t text[] = L"the user's own text";
        const char own[] = "\x01\x02 private bytes";
        EXPECT_TRUE(put(CF_UNICODETEXT, text, sizeof text));
        EXPECT_TRUE(put(CF_DIB, dibBytes.data(), dibBytes.size()));
        EXPECT_TRUE(put(RegisterClipboardFormatW(L"Velmora Test Format"), own, sizeof own));
        CloseClipboard();
    }
    const auto saved = clipboard.Save();
    ASSERT_TRUE(saved.has_value());
    ASSERT_TRUE(clipboard.SetText(u"the translation"));
    ASSERT_TRUE(clipboard.Restore(*saved));

    EXPECT_EQ(clipboard.Text(), std::u16string(u"the user's own text"));
    EXPECT_EQ(clipboard.Image().pixels, b.pixels);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE own = GetClipboardData(RegisterClipboardFormatW(L"Velmora Test Format"));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(own))), "\x01\x02 private bytes");
    GlobalUnlock(own);
    CloseClipboard();
}

TEST_F(Win32BackendTest, ClipboardChangesWakeTheLoop) {
    const int before = loop.wakes;
    ASSERT_TRUE(clipboard.SetText(u"wake up"));
    EXPECT_TRUE(PumpUntil([&] { return loop.wakes > before; }, 2000));
}

// A DIB as other programs put it on the clipboard: 24 bits, rows padded to four bytes,
// bottom-up or top-down.
std::vector<unsigned char> Dib24(int width, int height, bool topDown,
                                 const std::vector<std::uint32_t>& rgb) {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = topDown ? -height : height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    std::vector<unsigned char> out(sizeof h + stride * height, 0xEE);
    std::memcpy(out.data(), &h, sizeof h);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = out.data() + sizeof h + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = rgb[static_cast<std::size_t>(y) * width + x];
            row[x * 3] = p & 0xFF;
            row[x * 3 + 1] = (p >> 8) & 0xFF;
            row[x * 3 + 2] = (p >> 16) & 0xFF;
        }
    }
    return out;
}

TEST(Win32Dib, OtherDepthsAndOrdersReadAsOpaquePixels) {
    const std::vector<std::uint32_t> rgb = {0x102030, 0x405060, 0x708090,
                                            0xA0B0C0, 0xD0E0F0, 0x010203};
    std::vector<std::uint32_t> expected;
    for (auto p : rgb) expected.push_back(p | 0xFF000000u);
    for (bool topDown : {false, true}) {
        auto dib = Dib24(3, 2, topDown, rgb);
        Bitmap b = BitmapFromDib(dib.data(), dib.size());
        EXPECT_EQ(b.width, 3);
        EXPECT_EQ(b.height, 2);
        EXPECT_EQ(b.pixels, expected) << (topDown ? "top-down" : "bottom-up");
        // Cut short, the same bytes hold no whole image.
        EXPECT_TRUE(BitmapFromDib(dib.data(), dib.size() - 1).empty());
        EXPECT_TRUE(BitmapFromDib(dib.data(), sizeof(BITMAPINFOHEADER) - 1).empty());
    }
}

TEST_F(Win32BackendTest, CaptureHoldsTheVirtualScreenWithAWindowAtItsPlace) {
    SystemScreen screen(clipboard);
    const Rect v = screen.VirtualScreen();
    ASSERT_GT(v.right - v.left, 0);
    ASSERT_GT(v.bottom - v.top, 0);
    EXPECT_EQ(v.right - v.left, GetSystemMetrics(SM_CXSCREEN));  // one monitor in the desktop
    const std::uint32_t colour = 0xFF129A34;
    ColourWindow w({300, 200, 460, 320}, RGB(0x12, 0x9A, 0x34));
    auto pixel = [&](const Bitmap& b, int x, int y) {
        return b.pixels[static_cast<std::size_t>(y - v.top) * b.width + (x - v.left)];
    };
    struct Place {
        int x, y;
    };
    for (Place at : {Place{300, 200}, Place{700, 500}}) {
        w.MoveTo(at.x, at.y);
        ASSERT_TRUE(clipboard.SetText(u"not an image"));
        screen.CaptureToClipboard();
        Bitmap shot = clipboard.Image();
        ASSERT_EQ(shot.width, v.right - v.left);
        ASSERT_EQ(shot.height, v.bottom - v.top);
        EXPECT_EQ(pixel(shot, at.x + 5, at.y + 5), colour);
        EXPECT_EQ(pixel(shot, at.x + 150, at.y + 110), colour);
        EXPECT_NE(pixel(shot, at.x - 5, at.y - 5), colour);
        EXPECT_NE(pixel(shot, at.x + 165, at.y + 125), colour);
    }
}

TEST_F(Win32BackendTest, SetForegroundWindowReportsWhetherItTook) {
    ColourWindow a({100, 100, 300, 250}, RGB(200, 0, 0));
    ColourWindow b({400, 100, 600, 250}, RGB(0, 0, 200));
    EXPECT_TRUE(platform::test::Finish(loop, windows.SetForegroundWindow(ToHandle(a.hwnd()))));
    EXPECT_EQ(windows.FocusedWindow(), ToHandle(a.hwnd()));
    EXPECT_TRUE(platform::test::Finish(loop, windows.SetForegroundWindow(ToHandle(b.hwnd()))));
    EXPECT_EQ(windows.FocusedWindow(), ToHandle(b.hwnd()));
    const WinHandle gone = ToHandle(a.hwnd());
    a.Destroy();
    EXPECT_FALSE(windows.IsWindow(gone));
    EXPECT_FALSE(platform::test::Finish(loop, windows.SetForegroundWindow(gone)));
    EXPECT_FALSE(platform::test::Finish(loop, windows.SetForegroundWindow(0)));
}

TEST_F(Win32BackendTest, AWatchedWindowIsTheSameWindowUntilItCloses) {
    ColourWindow picked({100, 100, 300, 250}, RGB(200, 0, 0));
    const WinHandle handle = ToHandle(picked.hwnd());
    windows.Watch(handle);
    // Its process and class are read back each time: the same window passes every time.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(windows.IsWindow(handle));
    // Another program's window, watched too, stays itself.
    const WinHandle desktop = ToHandle(GetDesktopWindow());
    windows.Watch(desktop);
    EXPECT_TRUE(windows.IsWindow(desktop));
    picked.Destroy();
    EXPECT_FALSE(windows.IsWindow(handle));
}

TEST_F(Win32BackendTest, OwnWindowsAreTold) {
    ColourWindow mine({100, 100, 300, 250}, RGB(0, 200, 0));
    EXPECT_TRUE(windows.IsOwnWindow(ToHandle(mine.hwnd())));
    // The desktop window belongs to the shell's process.
    EXPECT_FALSE(windows.IsOwnWindow(ToHandle(GetDesktopWindow())));
    const WinHandle gone = ToHandle(mine.hwnd());
    mine.Destroy();
    EXPECT_FALSE(windows.IsOwnWindow(gone));
}

TEST_F(Win32BackendTest, CursorMovesWhereAsked) {
    for (Point p : {Point{10, 20}, Point{640, 450}, Point{1000, 30}}) {
        input.MoveCursor(p.x, p.y);
        EXPECT_EQ(input.CursorPos(), p);
    }
}

TEST_F(Win32BackendTest, AnyKeyDownFollowsAHeldKey) {
    EXPECT_FALSE(input.AnyKeyDown());
    input.KeyDown(vk::Shift);
    EXPECT_TRUE(PumpUntil([&] { return input.AnyKeyDown(); }, 1000));
    input.KeyUp(vk::Shift);
    EXPECT_TRUE(PumpUntil([&] { return !input.AnyKeyDown(); }, 1000));
}

// A captioned window: the window manager gives it the X focus when it is mapped.
class FramedWindow {
  public:
    FramedWindow(int x, int y)
        : hwnd_(CreateWindowExW(0, L"STATIC", L"framed", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                                200, 150, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {
        PumpFor(300);
    }
    ~FramedWindow() { DestroyWindow(hwnd_); }
    FramedWindow(const FramedWindow&) = delete;
    FramedWindow& operator=(const FramedWindow&) = delete;
    WinHandle handle() const { return ToHandle(hwnd_); }

  private:
    HWND hwnd_;
};

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST_F(Win32BackendTest, IsKeyDownSeesAHeldModifierLetGoUnderIt) {
    FramedWindow first(100, 100);
    ASSERT_TRUE(platform::test::Finish(loop, windows.SetForegroundWindow(first.handle())));
    EXPECT_FALSE(input.IsKeyDown(vk::Control));
    input.KeyDown(vk::Control);
    EXPECT_TRUE(input.IsKeyDown(vk::Control));
    EXPECT_FALSE(input.IsKeyDown(vk::Shift));
    if (UnderWine()) {
        // Wine lets go of the modifiers X does not see held when one of its windows gains the X
        // focus: the chat window's late focus did so in the middle of a Ctrl+A.
        FramedWindow second(400, 100);
        EXPECT_TRUE(PumpUntil([&] { return !input.IsKeyDown(vk::Control); }, 2000));
    }
    input.KeyUp(vk::Control);
    EXPECT_TRUE(PumpUntil([&] { return !input.IsKeyDown(vk::Control); }, 1000));
}

TEST_F(Win32BackendTest, HotkeyRunsOncePerPressUntilUnregistered) {
    // Something of ours has the focus, as a user would have some window in front.
    ColourWindow front({100, 100, 300, 250}, RGB(90, 90, 90));
    platform::test::Finish(loop, windows.SetForegroundWindow(ToHandle(front.hwnd())));
    Win32Hotkey hotkey;
    int runs = 0;
    hotkey.SetHandler([&] { ++runs; });
    std::string why;
    ASSERT_TRUE(hotkey.Register(kChord, why)) << why;

    PressChord();
    EXPECT_TRUE(PumpUntil([&] { return runs == 1; }, 3000));
    PumpFor(300);
    EXPECT_EQ(runs, 1);
    // A held key repeating is still one press.
    PressChord(true);
    EXPECT_TRUE(PumpUntil([&] { return runs == 2; }, 3000));
    PumpFor(300);
    EXPECT_EQ(runs, 2);
    // The chord without one of its modifiers is not it.
    input.KeyDown(vk::Control);
    input.KeyDown(kVkF9);
    input.KeyUp(kVkF9);
    input.KeyUp(vk::Control);
    PumpFor(300);
    EXPECT_EQ(runs, 2);

    hotkey.Unregister();
    hotkey.Unregister();  // safe when nothing is held
    PressChord();
    PumpFor(500);
    EXPECT_EQ(runs, 2);
}

TEST_F(Win32BackendTest, HotkeyRefusesKeysItCannotMap) {
    Win32Hotkey hotkey;
    for (std::uint8_t key : {vk::Return, vk::Delete, std::uint8_t{0}}) {
        std::string why;
        EXPECT_FALSE(hotkey.Register({kHotkeyControl, key}, why)) << int(key);
        EXPECT_FALSE(why.empty());
        EXPECT_NE(why, kHotkeyTaken);
    }
}

TEST_F(Win32BackendTest, HotkeyHeldByAnotherProcessIsTaken) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring ready =
        std::wstring(temp) + L"velmora-hotkey-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring done = ready + L".done";
    DeleteFileW(ready.c_str());
    DeleteFileW(done.c_str());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(kHolderVariable, ready.c_str());
    test::Process holder(L"\"" + std::wstring(self) + L"\"");
    SetEnvironmentVariableW(kHolderVariable, nullptr);
    ASSERT_TRUE(holder.started());
    auto readyByte = [&] {
        HANDLE f = CreateFileW(ready.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return '\0';
        char c = '\0';
        DWORD n = 0;
        ReadFile(f, &c, 1, &n, nullptr);
        CloseHandle(f);
        return n == 1 ? c : '\0';
    };
    ASSERT_TRUE(PumpUntil([&] { return readyByte() != '\0'; }, 20000));
    ASSERT_EQ(readyByte(), '1') << "the other process could not take the chord";

    Win32Hotkey hotkey;
    std::string why;
    EXPECT_FALSE(hotkey.Register(kChord, why));
    EXPECT_EQ(why, kHotkeyTaken);
    // Another chord is free.
    EXPECT_TRUE(hotkey.Register({kHotkeyControl | kHotkeyAlt, vk::Letter('k')}, why)) << why;

    // Once the other program lets go, the chord is ours.
    CloseHandle(CreateFileW(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(holder.Exited(10000));
    EXPECT_TRUE(hotkey.Register(kChord, why)) << why;
    DeleteFileW(ready.c_str());
    DeleteFileW(done.c_str());
}

}  // namespace
}  // namespace velmora::platform::win32
