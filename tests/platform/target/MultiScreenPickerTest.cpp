// The snapshot picker on desktops whose device pixels differ from Qt's coordinates: two
// monitors side by side, and Qt scale factors. Each case runs in a child process on an Xvfb of
// its own, as the layout and QT_SCALE_FACTOR must be in place before Qt starts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "RandrMonitors.h"
#include "platform/SystemScreen.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtEventLoop.h"
#include "target/SnapShotPick.h"
#include "target/mduMouse.h"
#include "target/qt/frmSnapShot.h"

// Xlib last: its macros clash with names in Qt's headers.
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"

#include <X11/Xutil.h>

extern char** environ;

namespace velmora::target {
namespace {

using platform::Rect;
using platform::WinHandle;

// Where the target window's clickable child lies, in device pixels, and the point picked in it.
constexpr int kChildLeft = 50, kChildTop = 40, kChildWidth = 200, kChildHeight = 120;
constexpr int kClientX = 37, kClientY = 23;

struct Layout {
    const char* name;
    int width;
    int height;
    std::vector<MonitorRect> monitors;  // empty: the server's own single monitor
    const char* scale;
    int windowX;  // the target window's top-left corner in root pixels
    int windowY;
};

// ---- parent side: one Xvfb and one child process per layout ----

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return 0;
    return pid;
}

// Waits for a child at most timeoutMs; kills it on time-out. Returns its exit code, or -1.
int WaitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0;; waited += 50) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (waited >= timeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

class Xvfb {
  public:
    Xvfb(int width, int height) {
        struct stat st;
        int n = 71;
        while (stat(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), &st) == 0 ||
               stat(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), &st) == 0)
            ++n;
        display = ":" + std::to_string(n);
        // The server ends with its last client, and our connection stays open until the case
        // is over: so the monitors set below last, and a test killed midway leaves no server.
        pid_ = Spawn({"Xvfb", display, "-screen", "0",
                      std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                      "tcp", "-terminate"},
                     {});
        for (int i = 0; pid_ && !keepAlive_ && i < 100; ++i) {
            keepAlive_ = XOpenDisplay(display.c_str());
            if (!keepAlive_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ready = keepAlive_ != nullptr;
    }
    ~Xvfb() {
        if (keepAlive_) XCloseDisplay(keepAlive_);
        if (!pid_) return;
        kill(pid_, SIGTERM);
        WaitExit(pid_, 5000);
    }
    std::string display;
    bool ready = false;

  private:
    pid_t pid_ = 0;
    Display* keepAlive_ = nullptr;
};

void PrintTo(const Layout& l, std::ostream* os) {
    *os << l.name;
}

class MultiScreenPicker : public ::testing::TestWithParam<Layout> {};

TEST_P(MultiScreenPicker, PickedPointAndInjectedClickAreInDevicePixels) {
    const Layout& l = GetParam();
    Xvfb server(l.width, l.height);
    ASSERT_TRUE(server.ready) << "Xvfb did not start on " << server.display;
    if (!l.monitors.empty()) {
        ASSERT_EQ(SetMonitors(server.display, l.monitors), "");
    }
    const int screens = l.monitors.empty() ? 1 : static_cast<int>(l.monitors.size());
    pid_t child = Spawn({"/proc/self/exe", "--gtest_filter=PickerChild.*"},
                        // No session bus: one started for the display would outlive the case and
                        // keep the server alive.
                        {"DISPLAY=" + server.display, std::string("QT_SCALE_FACTOR=") + l.scale,
                         "DBUS_SESSION_BUS_ADDRESS=disabled:",
                         "VELMORA_PICKER_CHILD=" + std::to_string(screens) + "," +
                             std::to_string(l.windowX) + "," + std::to_string(l.windowY)});
    ASSERT_NE(child, 0);
    EXPECT_EQ(WaitExit(child, 60000), 0) << "the child's failures are printed above";
}

const std::vector<MonitorRect> kSideBySide = {{0, 0, 1280, 900}, {1280, 0, 1280, 900}};
// The first monitor is the primary one: here the right one, and the left one is smaller.
const std::vector<MonitorRect> kPrimaryRight = {{1024, 0, 1280, 900}, {0, 132, 1024, 768}};

// The target window sits on the second monitor where there are two, at odd places, so that a
// halved or rounded coordinate cannot land on it by chance.
const Layout kLayouts[] = {
    {"SecondOfTwoScreens", 2560, 900, kSideBySide, "1", 1580, 210},
    {"LeftOfTwoScreensRightIsPrimary", 2304, 900, kPrimaryRight, "1", 301, 331},
    {"ScaleFactor2", 1280, 900, {}, "2", 301, 211},
    {"ScaleFactor1_5", 1280, 900, {}, "1.5", 301, 211},
    {"SecondOfTwoScreensScaleFactor2", 2560, 900, kSideBySide, "2", 1581, 211},
    {"SecondOfTwoScreensScaleFactor1_5", 2560, 900, kSideBySide, "1.5", 1581, 211},
};
INSTANTIATE_TEST_SUITE_P(Layouts, MultiScreenPicker, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- child side: a real window at a known place, a pick on it, then an injected click ----

// The whole root window's colours as the X server holds them (the pointer is not in them).
std::vector<std::uint32_t> RootPixels(Display* d, int width, int height) {
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return {};
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xffffff);
    XDestroyImage(image);
    return pixels;
}

class PickerChild : public ::testing::Test {
  protected:
    PickerChild() : screen(clipboard) {
        std::sscanf(std::getenv("VELMORA_PICKER_CHILD"), "%d,%d,%d", &screens, &windowX, &windowY);
    }
    ~PickerChild() override {
        if (other) XCloseDisplay(other);
    }

    // A plain window that bypasses any window manager, so it sits exactly where asked, and a
    // child in it that reports its button presses on a connection of its own.
    void MakeTarget() {
        other = XOpenDisplay(nullptr);
        ASSERT_TRUE(other);
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = 0x3366cc;
        top = XCreateWindow(other, DefaultRootWindow(other), windowX, windowY, 400, 300, 0,
                            CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel, &a);
        a.background_pixel = 0xcc6633;
        a.event_mask = ButtonPressMask;
        inner = XCreateWindow(other, top, kChildLeft, kChildTop, kChildWidth, kChildHeight, 0,
                              CopyFromParent, InputOutput, CopyFromParent,
                              CWBackPixel | CWEventMask, &a);
        XMapWindow(other, inner);
        XMapRaised(other, top);
        XSync(other, False);
        loop.Wait(300);
    }

    platform::Platform Bundle() {
        return platform::Platform{.input = input,
                                  .windows = windows,
                                  .clipboard = clipboard,
                                  .screen = screen,
                                  .http = fakes.http,
                                  .regex = fakes.regex,
                                  .codePage = fakes.codePage,
                                  .clock = fakes.clock,
                                  .loop = loop,
                                  .keyStore = fakes.keyStore,
                                  .processorId = fakes.processorId,
                                  .process = fakes.process,
                                  .messageBox = fakes.messageBox,
                                  .accessibility = fakes.accessibility};
    }

    int screens = 0, windowX = 0, windowY = 0;
    Display* other = nullptr;
    Window top = 0, inner = 0;
    frmSnapShot overlay;
    platform::fake::FakePlatform fakes;
    platform::qt::QtEventLoop loop;
    platform::SystemClipboard clipboard{loop};
    platform::SystemScreen screen;
    platform::x11::XDisplay display;
    platform::SystemInput input{std::make_unique<platform::SystemInput::State>(display)};
    platform::x11::X11Windows windows{display, loop};
};

TEST_F(PickerChild, PicksAndClicks) {
    // Without the layout in place the test would prove nothing.
    ASSERT_EQ(QGuiApplication::screens().size(), screens);
    const int rootW = DisplayWidth(display.get(), display.ScreenNumber());
    const int rootH = DisplayHeight(display.get(), display.ScreenNumber());
    EXPECT_EQ(screen.VirtualScreen(), (Rect{0, 0, rootW, rootH}));
    ASSERT_NO_FATAL_FAILURE(MakeTarget());
    const std::vector<std::uint32_t> before = RootPixels(other, rootW, rootH);
    ASSERT_FALSE(before.empty());

    const int x = windowX + kChildLeft + kClientX, y = windowY + kChildTop + kClientY;
    // Corners of the root window and of each monitor, which the overlay must all cover.
    std::vector<platform::Point> corners = {{0, 0}, {rootW - 1, rootH - 1}, {x, y}};
    for (const QScreen* s : QGuiApplication::screens())
        corners.push_back({s->geometry().left() + 1, s->geometry().top() + 1});

    std::vector<std::uint32_t> shown;
    std::vector<platform::Point> uncovered;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!overlay.window() || !overlay.window()->isVisible()) return;
        // The overlay's windows, however many it uses.
        std::set<WinHandle> ids;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == QStringLiteral("frmSnapShot"))
                ids.insert(static_cast<WinHandle>(w->winId()));
        if (!ids.count(windows.WindowFromPoint({x, y}))) return;
        poll.stop();
        loop.Wait(300);  // painted
        for (auto c : corners)
            if (!ids.count(windows.WindowFromPoint(c))) uncovered.push_back(c);
        shown = RootPixels(other, rootW, rootH);
        input.MoveCursor(x, y);
        loop.Wait(50);
        input.LeftDown();
        input.LeftUp();
    });
    poll.start();
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [this] {
        if (overlay.window()) overlay.window()->close();
    });
    deadline.start(8000);
    TargetPoint target;
    auto p = Bundle();
    RunPick(p, overlay, target);
    poll.stop();

    for (auto c : uncovered) ADD_FAILURE() << "overlay misses " << c.x << "," << c.y;
    // The overlay shows the frozen desktop pixel for pixel, each at its own place.
    ASSERT_EQ(shown.size(), before.size());
    size_t firstDiff = 0;
    while (firstDiff < shown.size() && shown[firstDiff] == before[firstDiff]) ++firstDiff;
    EXPECT_EQ(firstDiff, shown.size())
        << "the picture differs from " << firstDiff % rootW << "," << firstDiff / rootW;

    EXPECT_EQ(target.ScreenCursorX, x);
    EXPECT_EQ(target.ScreenCursorY, y);
    EXPECT_EQ(static_cast<Window>(target.WinHwnd), inner);
    const int left = windowX + kChildLeft, topY = windowY + kChildTop;
    EXPECT_EQ((Rect{target.WinLeft, target.WinTop, target.WinRight, target.WinButtom}),
              (Rect{left, topY, left + kChildWidth, topY + kChildHeight}));
    EXPECT_EQ(target.ClientCursorX, kClientX);
    EXPECT_EQ(target.ClientCursorY, kClientY);

    // The stored point, clicked later through XTest, lands on the same window at the same point.
    XSync(other, True);
    ClickAt(input, loop, target.ScreenCursorX, target.ScreenCursorY, 50);
    XEvent press{};
    bool got = loop.WaitUntil(
        [&] {
            while (XPending(other)) {
                XNextEvent(other, &press);
                if (press.type == ButtonPress) return true;
            }
            return false;
        },
        3000);
    ASSERT_TRUE(got) << "no click arrived on the target";
    EXPECT_EQ(press.xbutton.window, inner);
    EXPECT_EQ(press.xbutton.x, kClientX);
    EXPECT_EQ(press.xbutton.y, kClientY);
}

}  // namespace
}  // namespace velmora::target

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("VELMORA_PICKER_CHILD")) {
        // The parent needs no display; its cases start the children.
        std::string filter = ::testing::GTEST_FLAG(filter);
        ::testing::GTEST_FLAG(filter) =
            filter + (filter.find('-') == std::string::npos ? "-" : ":") + "PickerChild.*";
        return RUN_ALL_TESTS();
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
