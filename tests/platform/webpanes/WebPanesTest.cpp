#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWebEngineView>
#include <functional>

#include "app/QtWebPane.h"
#include "app/core/HelpSize.h"
#include "app/frmAutoUpdate.h"
#include "app/frmHelp.h"
#include "support/Screenshot.h"
#include "support/VendorServer.h"

using namespace velmora::app;

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

QVariant RunJs(QWebEngineView* view, const QString& code) {
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(code, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    WaitFor([&] { return done; }, 10000);
    return result;
}

// A pane placed as in the main window, with a count of its completed documents.
struct Pane {
    QtWebPane* pane;
    int completed = 0;
    bool lastOk = false;
    Pane(QWidget* host, QRect at) : pane(new QtWebPane(host)) {
        pane->setGeometry(at);
        QObject::connect(pane, &QtWebPane::documentCompleted, [this](bool ok) {
            ++completed;
            lastOk = ok;
        });
    }
    bool Load(const QString& address) {
        int before = completed;
        pane->Navigate2(address);
        return WaitFor([&] { return completed > before; });
    }
};

int CountRequests(const VendorServer& s, const std::string& path) {
    int n = 0;
    for (const auto& r : s.Requests()) n += r == "GET " + path;
    return n;
}

}  // namespace

TEST(WebPanes, AddressWithoutSchemeIsHttp) {
    EXPECT_EQ(QtWebPane::AddressWithScheme("127.0.0.1:18081/ad1.php"),
              "http://127.0.0.1:18081/ad1.php");
    EXPECT_EQ(QtWebPane::AddressWithScheme("https://h/ad1.php"), "https://h/ad1.php");
}

TEST(WebPanes, BothPanesLoadTheVendorPagesWithoutScrollBars) {
    VendorServer server({});
    QWidget host;
    host.resize(517, 644);
    Pane upper(&host, {344, 8, 169, 406});
    Pane lower(&host, {344, 416, 169, 225});
    host.show();
    const QString base = QString::fromStdString(server.host());
    // Both start at once, as the main window's load does; neither waits for the other.
    upper.pane->Navigate2(base + "/ad1.php");
    lower.pane->Navigate2(base + "/ad2.php");
    ASSERT_TRUE(WaitFor([&] { return upper.completed > 0 && lower.completed > 0; }));
    EXPECT_TRUE(upper.lastOk);
    EXPECT_TRUE(lower.lastOk);
    EXPECT_EQ(CountRequests(server, "/ad1.php"), 1);
    EXPECT_EQ(CountRequests(server, "/ad2.php"), 1);

    for (Pane* p : {&upper, &lower}) {
        QWebEngineView* v = p->pane->view();
        // The page is taller than the pane, and as wide: nothing is cut at the right edge...
        EXPECT_GT(RunJs(v, "document.getElementById('ad').offsetHeight").toInt(),
                  p->pane->height());
        EXPECT_EQ(RunJs(v, "document.getElementById('ad').offsetWidth").toInt(), p->pane->width());
        EXPECT_EQ(RunJs(v, "document.documentElement.scrollWidth").toInt(), p->pane->width());
        // ...and yet it cannot scroll and keeps no room for scroll bars.
        EXPECT_EQ(RunJs(v, "getComputedStyle(document.body).overflow").toString(), "hidden");
        EXPECT_EQ(RunJs(v, "getComputedStyle(document.documentElement).overflow").toString(),
                  "hidden");
        EXPECT_EQ(RunJs(v, "document.body.getAttribute('scroll')").toString(), "no");
        EXPECT_EQ(RunJs(v, "window.innerWidth - document.documentElement.clientWidth").toInt(), 0);
        EXPECT_EQ(RunJs(v, "window.innerHeight - document.documentElement.clientHeight").toInt(),
                  0);
    }
}

TEST(WebPanes, ADocumentWithoutBodyAndAnUnreachableServerAreHarmless) {
    VendorServer server({});
    QWidget host;
    host.resize(300, 300);
    Pane pane(&host, {0, 0, 169, 225});
    host.show();
    const QString base = QString::fromStdString(server.host());
    ASSERT_TRUE(pane.Load(base + "/nobody.svg"));
    EXPECT_TRUE(RunJs(pane.pane->view(), "document.body === null").toBool());
    EXPECT_EQ(RunJs(pane.pane->view(), "document.documentElement.style.overflow").toString(), "");

    server.Stop();
    ASSERT_TRUE(pane.Load(base + "/ad1.php"));
    EXPECT_FALSE(pane.lastOk);

    // Still a working pane afterwards.
    VendorServer again({});
    ASSERT_TRUE(pane.Load(QString::fromStdString(again.host()) + "/ad1.php"));
    EXPECT_TRUE(pane.lastOk);
    EXPECT_EQ(RunJs(pane.pane->view(), "getComputedStyle(document.body).overflow").toString(),
              "hidden");
}

TEST(WebPanes, AnAddressThatCannotBeLoadedShowsTheLocalPageAndIsAskedForAgainWhenShown) {
    // A port nobody listens on until the server comes up on it.
    int port = 0;
    {
        VendorServer gone({});
        port = gone.port();
    }
    QWidget window;
    window.resize(300, 300);
    Pane pane(&window, {0, 0, 169, 225});
    window.show();
    QWebEngineView* view = pane.pane->view();
    const QString address = QStringLiteral("127.0.0.1:%1/ad1.php").arg(port);
    auto showAgain = [&] {
        window.hide();
        const int before = pane.completed;
        window.show();
        return WaitFor([&] { return pane.completed > before; });
    };
    auto local = [&] {
        return RunJs(view, "document.getElementById('velmora-offline') !== null").toBool() &&
               RunJs(view, "document.title").toString() == QtWebPane::OfflineTitle();
    };

    ASSERT_TRUE(pane.Load(address));
    EXPECT_FALSE(pane.lastOk);
    EXPECT_TRUE(local());
    const QString text = RunJs(view, "document.body.innerText").toString();
    EXPECT_TRUE(text.contains(QStringLiteral("下次打开窗口时会自动重新加载")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
        << "no English error page: " << text.toStdString();
    EXPECT_EQ(RunJs(view, "getComputedStyle(document.body).overflow").toString(), "hidden");
    SaveScreenshot(window, "web-pane-server-down");

    // Shown again while the server is still down: asked for again, the local page again.
    ASSERT_TRUE(showAgain());
    EXPECT_FALSE(pane.lastOk);
    EXPECT_TRUE(local());

    // Up now: the next show brings the real page.
    VendorServer server({"--port", std::to_string(port)});
    ASSERT_EQ(server.port(), port);
    ASSERT_TRUE(showAgain());
    EXPECT_TRUE(pane.lastOk);
    EXPECT_FALSE(local());
    EXPECT_TRUE(RunJs(view, "document.getElementById('ad') !== null").toBool());
    EXPECT_EQ(CountRequests(server, "/ad1.php"), 1);

    // A page that loaded is not asked for again by a show.
    window.hide();
    window.show();
    QTest::qWait(500);
    EXPECT_EQ(CountRequests(server, "/ad1.php"), 1);
}

TEST(HelpWindow, OpensModalAndMaximisedOnTheHelpPageAfreshEachTime) {
    VendorServer server({});
    QWidget mainWindow;
    mainWindow.resize(517, 644);
    mainWindow.show();
    const QString base = QString::fromStdString(server.host());

    struct Seen {
        bool modal = false, maximised = false, loaded = false, fitted = false, shrunk = false;
        QString title, url;
    };
    std::vector<Seen> seen;
    auto inspect = [&](frmHelp* help) {
        Seen s;
        s.modal = help->isModal() || help->windowModality() != Qt::NonModal;
        s.title = help->windowTitle();
        s.maximised = WaitFor([&] { return help->isMaximized(); }, 5000);
        bool finished = false;
        QObject::connect(help->WebBrowser1, &QWebEngineView::loadFinished,
                         [&](bool ok) { finished = ok; });
        s.loaded = WaitFor([&] {
            return finished ||
                   RunJs(help->WebBrowser1, "document.readyState").toString() == "complete";
        });
        s.url = help->WebBrowser1->url().toString();
        auto fits = [&] {
            QSize outer = help->frameGeometry().size();
            auto g = HelpBrowserGeometryFor(outer.width(), outer.height());
            return help->WebBrowser1->geometry() == QRect(g.x, g.y, g.width, g.height);
        };
        s.fitted = WaitFor(fits, 5000);
        // Restored and made small, the browser follows the rule down to a height of 0.
        help->showNormal();
        help->resize(200, 10);
        s.shrunk =
            WaitFor([&] { return fits() && !help->isMaximized(); }, 5000) &&
            (help->frameGeometry().height() * 15 - 500 > 0 || help->WebBrowser1->height() == 0);
        seen.push_back(s);
    };

    for (int i = 0; i < 2; ++i) {
        // Polls for the window rather than firing once: the web view may run events while the
        // window is still being built. Past the deadline any help window is closed, so a window
        // that never shows fails the test instead of leaving it waiting in the modal loop.
        bool inspected = false;
        QElapsedTimer since;
        since.start();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* help = qobject_cast<frmHelp*>(QApplication::activeModalWidget());
            if (!inspected && help && help->isVisible()) {
                inspected = true;
                inspect(help);
                help->close();
            } else if (since.elapsed() > 60000) {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (qobject_cast<frmHelp*>(w) && w->isVisible()) w->close();
            }
        });
        poll.start(20);
        frmHelp::ShowHelp(&mainWindow, base);  // returns once closed
    }
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& s : seen) {
        EXPECT_TRUE(s.modal);
        EXPECT_EQ(s.title, QStringLiteral("帮助"));
        EXPECT_TRUE(s.maximised);
        EXPECT_TRUE(s.loaded);
        EXPECT_EQ(s.url, "http://" + base + "/help.php");
        EXPECT_TRUE(s.fitted);
        EXPECT_TRUE(s.shrunk);
    }
    EXPECT_EQ(CountRequests(server, "/help.php"), 2);  // a new window loads the page anew
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(UpdateWindow, ShowsItsCaptionAndMessage) {
    frmAutoUpdate w;
    w.show();
    ASSERT_TRUE(WaitFor([&] { return w.isVisible(); }, 5000));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Quillet程序更新"));
    EXPECT_EQ(w.Label1->text(), QStringLiteral("程序更新中，请稍候......"));
    EXPECT_FALSE(w.isModal());
}

int main(int argc, char** argv) {
    QtWebPane::PrepareEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
