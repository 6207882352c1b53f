// The main window's web panes across the tray: their renderer process ends while the window is
// hidden there, and the pages load again when it is shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "app/frmMain.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtEventLoop.h"
#include "support/ProcFile.h"
#include "support/VendorServer.h"
#include "target/qt/frmSettingSendShortcut.h"
#include "target/qt/frmSnapShot.h"
#include "translate/clsGoogleLanguages.h"

using namespace velmora;
using State = QWebEnginePage::LifecycleState;

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// The web engine's renderers among this process's descendants: started as such, or forked by a
// zygote (they keep the zygote's command line, so the parent tells them apart).
int Renderers() {
    std::map<int, int> parent;
    std::map<int, bool> engine, renderer;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string text = velmora::testing::ReadProcFile(e.path() / "stat");
        const auto close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        int ppid = 0;
        rest >> state >> ppid;
        if (state == 'Z') continue;
        const int pid = std::stoi(name);
        parent[pid] = ppid;
        std::ifstream cmd(e.path() / "cmdline");
        std::string args((std::istreambuf_iterator<char>(cmd)), {});
        engine[pid] = args.find("QtWebEngineProcess") != std::string::npos;
        renderer[pid] = engine[pid] && args.find("--type=renderer") != std::string::npos;
    }
    int n = 0;
    for (const auto& [pid, isEngine] : engine) {
        if (!isEngine || !(renderer[pid] || engine[parent[pid]])) continue;
        for (int p = parent[pid]; p > 1; p = parent.count(p) ? parent[p] : 0) {
            if (p == getpid()) {
                ++n;
                break;
            }
        }
    }
    return n;
}

int CountRequests(const VendorServer& s, const std::string& path) {
    int n = 0;
    for (const auto& r : s.Requests()) n += r == "GET " + path;
    return n;
}

struct Fixture {
    explicit Fixture(const std::string& pageBase) { config.pageBase = pageBase; }

    platform::fake::FakePlatform fakes;
    platform::qt::QtEventLoop loop;
    platform::Platform platform{.input = fakes.input,
                                .windows = fakes.windows,
                                .clipboard = fakes.clipboard,
                                .screen = fakes.screen,
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
    update::NullUpdateServices update;
    struct NoTranslator : translate::ITranslator {
        std::u16string TranslateText(const std::u16string&, const std::string&,
                                     const std::string&) override {
            return {};
        }
    } translator;
    app::Configuration config;
    std::string unitId = "BFEBFBFF000906EA";
    relay::Session session{platform, translator, translate::clsGoogleLanguages::Shared()};
    target::frmSnapShot overlay;
    target::frmSettingSendShortcut shortcutDialog;
    app::MainController controller{app::MainWindowParts{.platform = platform,
                                                        .config = config,
                                                        .update = update,
                                                        .unitId = unitId,
                                                        .session = session,
                                                        .overlay = overlay,
                                                        .shortcutDialog = shortcutDialog}};
    app::frmMain window{controller};
};

}  // namespace

TEST(TrayPanes, InTheTrayThePanesFreeTheirRendererAndShownAgainLoadTheirPagesAnew) {
    VendorServer server({});
    Fixture f(server.host());
    app::QtWebPane* panes[] = {f.window.WebBrowser1, f.window.WebBrowser2};
    int completed[2] = {0, 0};
    bool ok[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        QObject::connect(panes[i], &app::QtWebPane::documentCompleted, [&, i](bool good) {
            ++completed[i];
            ok[i] = good;
        });
    }
    auto loadedTimes = [&](int n) { return completed[0] >= n && completed[1] >= n; };
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    ASSERT_TRUE(WaitFor([&] { return loadedTimes(1); }));
    ASSERT_TRUE(ok[0] && ok[1]);
    const QUrl urls[] = {panes[0]->view()->url(), panes[1]->view()->url()};
    // Both panes show one site: one renderer serves them.
    EXPECT_EQ(Renderers(), 1);

    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "the test desktop runs a tray";
    f.window.close();
    ASSERT_FALSE(f.window.isVisible());
    ASSERT_TRUE(f.window.Tray().Shown());
    for (auto* pane : panes) EXPECT_EQ(pane->view()->page()->lifecycleState(), State::Discarded);
    EXPECT_TRUE(WaitFor([] { return Renderers() == 0; }, 15000)) << Renderers() << " left";

    f.controller.RestoreFromTray();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    // From the server again, not from the engine's cache.
    EXPECT_TRUE(WaitFor([&] {
        return CountRequests(server, "/ad1.php") == 2 && CountRequests(server, "/ad2.php") == 2 &&
               loadedTimes(2) && ok[0] && ok[1];
    }));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(panes[i]->view()->page()->lifecycleState(), State::Active);
        EXPECT_EQ(panes[i]->view()->url(), urls[i]);
    }
    QTest::qWait(500);  // a second load would show up here
    EXPECT_EQ(CountRequests(server, "/ad1.php"), 2);
    EXPECT_EQ(CountRequests(server, "/ad2.php"), 2);
    EXPECT_EQ(Renderers(), 1);
}

TEST(TrayPanes, SwitchedOffThePanesMakeNoViewAndAskForNothing) {
    VendorServer server({});
    setenv("VELMORA_NO_PANES", "1", 1);
    Fixture f(server.host());
    unsetenv("VELMORA_NO_PANES");
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    QTest::qWait(2000);  // time enough for a pane to ask for its page
    EXPECT_EQ(f.window.WebBrowser1->view(), nullptr);
    EXPECT_EQ(f.window.WebBrowser2->view(), nullptr);
    EXPECT_EQ(CountRequests(server, "/ad1.php") + CountRequests(server, "/ad2.php"), 0);
    f.window.close();
    f.controller.RestoreFromTray();  // the tray round trip copes with empty panes
    EXPECT_TRUE(f.window.isVisible());
}

int main(int argc, char** argv) {
    app::QtWebPane::PrepareEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
