// The main window inside this process: every control against the layout table.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include <csignal>

#include <QClipboard>

#include <QApplication>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSessionManager>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "app/InPlaceSettingsDialog.h"
#include "app/QtFrontEnd.h"
#include "app/core/EngineSet.h"
#include "app/core/Program.h"
#include "app/frmMain.h"
#include "platform/VirtualKey.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtEventLoop.h"
#include "relay/OutgoingFlow.h"
#include "support/Screenshot.h"
#include "support/TempDir.h"
#include "target/qt/frmSettingSendShortcut.h"
#include "target/qt/frmSnapShot.h"
#include "translate/clsGoogleLanguages.h"
// Xlib's macros clash with Qt's names: X11 headers come last.
#include "platform/x11/X11Hotkey.h"

using namespace velmora;

namespace {

struct Fixture {
    Fixture() = default;
    explicit Fixture(std::function<void()> engineSettings, std::function<void()> saved = {})
        : showEngineSettings(std::move(engineSettings)), settingsSaved(std::move(saved)) {}

    std::function<void()> showEngineSettings;
    std::function<void()> settingsSaved;
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
    struct CountingTranslator : translate::ITranslator {
        std::atomic<int> calls = 0;    // counted on the thread the translation runs on
        std::function<void()> during;  // runs inside the translation: a slow engine
        translate::ITranslator* delegate =
            nullptr;  // the program's engines, where a test sets them
        std::u16string TranslateText(const std::u16string&, const std::string&,
                                     const std::string&) override {
            ++calls;
            if (during) during();
            return {};
        }
        translate::TranslationOutcome Translate(const std::u16string& text, const std::string& src,
                                                const std::string& dst) override {
            if (!delegate) return ITranslator::Translate(text, src, dst);
            ++calls;
            return delegate->Translate(text, src, dst);
        }
    } translator;
    app::Configuration config;
    std::string unitId = "BFEBFBFF000906EA";
    relay::Session session{platform, translator, translate::clsGoogleLanguages::Shared()};
    // A send suspends on the loop while it translates; this turns the loop until it has ended.
    bool RelayIdle() {
        return loop.WaitUntil([&] { return !session.Scheduler.Busy(); }, 10'000);
    }
    target::frmSnapShot overlay;
    target::frmSettingSendShortcut shortcutDialog;
    app::MainController controller{app::MainWindowParts{.platform = platform,
                                                        .config = config,
                                                        .update = update,
                                                        .unitId = unitId,
                                                        .session = session,
                                                        .overlay = overlay,
                                                        .shortcutDialog = shortcutDialog,
                                                        .showEngineSettings = showEngineSettings,
                                                        .settingsSaved = settingsSaved}};
    app::frmMain window{controller};
};

}  // namespace

TEST(MainWindow, EveryControlAtItsPlaceWithItsKindCaptionAndState) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    EXPECT_EQ(f.window.windowTitle(), QStringLiteral("Quillet2009正式版"));
    EXPECT_EQ(f.window.size(), QSize(517, 644));

    struct Row {
        const char* name;
        const char* kind;
        QRect rect;
        bool visible;
        const char* caption;
    };
    const Row rows[] = {
        {"cmdSend", "QPushButton", {368, 544, 89, 17}, true, "发送指令"},
        {"txtResult", "velmora::app::ResultTextBox", {8, 8, 337, 404}, true, nullptr},
        {"picTips", "QFrame", {88, 568, 105, 33}, true, nullptr},
        {"WebBrowser2", nullptr, {344, 416, 169, 225}, true, nullptr},
        {"WebBrowser1", nullptr, {344, 8, 169, 406}, true, nullptr},
        {"cboOtherLan", "QComboBox", {72, 412, 81, 21}, true, nullptr},
        {"cboMyLan", "QComboBox", {232, 419, 113, 21}, true, nullptr},
        {"txtSend", "velmora::app::SendTextBox", {8, 440, 337, 163}, true, nullptr},
        {"imgSettingClicked", "velmora::app::ImageControl", {13, 605, 73, 38}, false, nullptr},
        {"imgSetting", "velmora::app::ImageControl", {8, 608, 73, 33}, true, nullptr},
        {"imgReturnAreaClicked", "velmora::app::ImageControl", {150, 605, 30, 38}, false, nullptr},
        {"imgSendAreaClicked", "velmora::app::ImageControl", {119, 605, 30, 38}, false, nullptr},
        {"imgSendButtonClicked", "velmora::app::ImageControl", {88, 605, 30, 38}, false, nullptr},
        {"imgReturnArea", "velmora::app::ImageControl", {149, 608, 28, 33}, true, nullptr},
        {"imgSendArea", "velmora::app::ImageControl", {120, 608, 28, 33}, true, nullptr},
        {"imgSendButton", "velmora::app::ImageControl", {88, 608, 28, 33}, true, nullptr},
        {"imgSendMouseDown", "velmora::app::ImageControl", {240, 605, 98, 38}, false, nullptr},
        {"imgSendMask", "velmora::app::ImageControl", {240, 608, 105, 33}, true, nullptr},
        {"lblTimeKeeper", "QLabel", {184, 616, 57, 17}, true, "0"},
    };
    for (const Row& r : rows) {
        auto* w = f.window.findChild<QWidget*>(QString::fromLatin1(r.name));
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(w->parentWidget(), &f.window) << r.name;
        EXPECT_EQ(w->geometry(), r.rect) << r.name;
        EXPECT_EQ(w->isVisible(), r.visible) << r.name;
        if (r.kind) {
            EXPECT_STREQ(w->metaObject()->className(), r.kind) << r.name;
        }
        if (r.caption) {
            QString text = w->property("text").toString();
            EXPECT_EQ(text, QString::fromUtf8(r.caption)) << r.name;
        }
    }
    auto* lblTips = f.window.findChild<QLabel*>(QStringLiteral("lblTips"));
    ASSERT_NE(lblTips, nullptr);
    EXPECT_EQ(lblTips->parentWidget(), f.window.picTips);
    EXPECT_EQ(lblTips->geometry(), QRect(0, 16, 105, 25));

    EXPECT_EQ(f.window.tmrRefresh->interval(), 30000);
    EXPECT_TRUE(f.window.tmrRefresh->isActive());
    EXPECT_EQ(f.window.Timer1->interval(), 500);
    EXPECT_FALSE(f.window.Timer1->isActive());

    for (QComboBox* c : {f.window.cboOtherLan, f.window.cboMyLan}) {
        EXPECT_EQ(c->count(), 41);
        EXPECT_EQ(c->currentIndex(), 0);
        EXPECT_EQ(c->currentText(), QStringLiteral("中文(简体)"));
        EXPECT_EQ(c->itemText(1), QStringLiteral("英语"));
        EXPECT_EQ(c->itemText(39), QStringLiteral("英语"));
    }
}

TEST(MainWindow, MenusCarryTheirCaptionsAndAccessKeys) {
    Fixture f;
    auto texts = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    EXPECT_EQ(f.window.mnuPopup->title(), QStringLiteral("弹出窗口"));
    EXPECT_EQ(
        texts(f.window.mnuPopup),
        (QStringList{QStringLiteral("还原(&R)"), QStringLiteral("-"), QStringLiteral("退出(&X)")}));
    EXPECT_EQ(f.window.mnuSetting->title(), QStringLiteral("设置窗口"));
    EXPECT_EQ(texts(f.window.mnuSetting),
              (QStringList{QStringLiteral("设置返回结果框(&R)"), QStringLiteral("设置输入框(&I)"),
                           QStringLiteral("-"), QStringLiteral("设置发送按钮(&B)"),
                           QStringLiteral("设置发送快捷键(&S)"), QStringLiteral("-"),
                           QStringLiteral("帮助(&H)"), QStringLiteral("翻译引擎(&E)..."),
                           QStringLiteral("就地翻译(&I)...")}));
    // The engine settings entry opens what the composition root gave it, and is off without it.
    EXPECT_EQ(f.window.mnuEngineSettings->objectName(), QStringLiteral("mnuEngineSettings"));
    EXPECT_FALSE(f.window.mnuEngineSettings->isEnabled());
    int opened = 0;
    Fixture wired([&opened] { ++opened; });
    ASSERT_TRUE(wired.window.mnuEngineSettings->isEnabled());
    wired.window.mnuEngineSettings->trigger();
    EXPECT_EQ(opened, 1);
}

// The root re-reads the file only when the in-place dialog has written it.
TEST(MainWindow, InPlaceSettingsTellTheRootOnlyWhenSaved) {
    int saved = 0;
    Fixture f({}, [&saved] { ++saved; });
    TempDir dir;
    f.config.file = dir.path() / "velmora.conf";
    for (const bool ok : {false, true}) {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<app::InPlaceSettingsDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            answer.stop();
            ok ? d->accept() : d->reject();
        });
        answer.start(20);
        f.window.mnuInPlaceSettings->trigger();
        EXPECT_EQ(saved, ok ? 1 : 0);
        EXPECT_EQ(std::filesystem::exists(f.config.file), ok);
    }
}

// The program's own root puts a shortcut saved in the dialog to work at once: it holds the
// chord, so another program cannot take it.
TEST(MainWindow, TheRootHoldsASavedShortcutAtOnce) {
    TempDir home;
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);  // the logon entry is written there
    setenv("VELMORA_PAGE_BASE", "127.0.0.1:1", 1);
    const auto file = home.path() / "velmora.conf";
    WriteFile(file, "[inplace]\nshortcut=\n");
    const auto chord = app::ParseShortcut("Ctrl+Alt+F9");
    ASSERT_TRUE(chord);
    const auto takenByOther = [&] {
        platform::x11::X11Hotkey other;
        std::string why;
        return !other.Register(*chord, why) && why == platform::kHotkeyTaken;
    };
    ASSERT_FALSE(takenByOther()) << "the chord must be free before";
    {
        app::QtFrontEnd frontEnd(file);
        app::Program root(frontEnd, file);
        root.CreateMainWindow();
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<app::InPlaceSettingsDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            answer.stop();
            d->txtShortcut->setKeySequence(QKeySequence(QStringLiteral("Ctrl+Alt+F9")));
            d->accept();
        });
        answer.start(20);
        dynamic_cast<app::frmMain&>(*root.MainWindow()).mnuInPlaceSettings->trigger();
        EXPECT_TRUE(takenByOther());
    }
    EXPECT_FALSE(takenByOther()) << "given back with the root";
    unsetenv("VELMORA_PAGE_BASE");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(MainWindow, TipPanelShowsOverAPickerAndHidesOverTheBareWindow) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    QTest::mouseMove(f.window.imgSendArea, QPoint(5, 5));
    QMouseEvent overIcon(QEvent::MouseMove, QPointF(6, 6), QPointF(6, 6), QPointF(6, 6),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(f.window.imgSendArea, &overIcon);
    EXPECT_TRUE(f.window.picTips->isVisible());
    EXPECT_EQ(f.window.lblTips->text(), QStringLiteral("设置输入框位置"));

    // A move over the bare window, at the x positions a tray message would carry, too.
    for (int x : {400, 514, 517 - 1}) {
        f.window.picTips->show();
        f.window.lblTips->setText(QStringLiteral("x"));
        QMouseEvent bare(QEvent::MouseMove, QPointF(x, 640), QPointF(x, 640), QPointF(x, 640),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window, &bare);
        EXPECT_FALSE(f.window.picTips->isVisible());
        EXPECT_TRUE(f.window.lblTips->text().isEmpty());
        EXPECT_TRUE(f.window.isVisible()) << "a mouse move must never act as a tray event";
        EXPECT_FALSE(f.window.mnuPopup->isVisible());
    }
}

TEST(MainWindow, ALongTipShowsWholeAndAShortOneKeepsTheDesignPlace) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    const std::u16string sentence =
        u"这里没有能把中文翻译成英语的引擎：本机离线引擎只支持所列的欧洲语言对。"
        u"请在 设置 → 翻译引擎 中添加一个在线引擎并填写密钥。";
    struct Case {
        const char* name;
        std::u16string tip;
    } cases[] = {
        {"a sentence", sentence},
        {"three sentences", sentence + sentence + sentence},
        {"a word without breaks", std::u16string(120, u'译')},
        {"up over the result box", sentence + sentence + sentence + sentence + sentence + sentence},
    };
    const QRect window = f.window.rect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.controller.ShowTip(c.tip);
        QLabel* label = f.window.lblTips;
        const QRect panel = f.window.picTips->geometry();
        ASSERT_TRUE(f.window.picTips->isVisible());
        EXPECT_TRUE(window.contains(panel)) << "panel " << panel.y() << "+" << panel.height();
        EXPECT_EQ(panel.bottom(), 600) << "the bottom edge stays where the design has it";
        // The label lies inside its panel, and the wrapped text inside the label.
        EXPECT_TRUE(QRect(QPoint(0, 0), panel.size()).contains(label->geometry()));
        const QRect needed = QFontMetrics(label->font())
                                 .boundingRect(QRect(0, 0, label->width(), 100000),
                                               Qt::TextWordWrap | Qt::AlignLeft, label->text());
        EXPECT_LE(needed.width(), label->width());
        EXPECT_LE(needed.height(), label->height());
        EXPECT_EQ(label->text(), QString::fromStdU16String(c.tip));
        // Nothing stacks over it: the panel is what the top of its middle shows.
        const QPoint top(panel.center().x(), panel.top() + 2);
        QWidget* atTop = f.window.childAt(top);
        EXPECT_TRUE(atTop == f.window.picTips || f.window.picTips->isAncestorOf(atTop));
    }

    f.controller.ShowTip(u"设置完成");
    EXPECT_EQ(f.window.picTips->geometry(), QRect(88, 568, 105, 33));
    EXPECT_EQ(f.window.lblTips->geometry(), QRect(0, 16, 105, 25));
}

TEST(MainWindow, SettingButtonShowsPressedLookAndOpensItsMenuAtTheFixedPoint) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    QTest::mousePress(f.window.imgSetting, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(f.window.imgSettingClicked->isVisible());
    QTest::mouseRelease(f.window.imgSetting, Qt::LeftButton, {}, QPoint(60, -200));
    EXPECT_FALSE(f.window.imgSettingClicked->isVisible());
    ASSERT_TRUE(f.window.mnuSetting->isVisible());
    EXPECT_EQ(f.window.mnuSetting->pos(), f.window.mapToGlobal(QPoint(10, 515)));
    f.window.mnuSetting->hide();
}

TEST(MainWindow, CloseHidesBehindOneTrayIconAndRestoreBringsItBack) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "the test desktop runs a tray";
    for (int i = 0; i < 2; ++i) {
        f.window.close();
        EXPECT_FALSE(f.window.isVisible());
        EXPECT_TRUE(f.window.Tray().Shown());
        EXPECT_EQ(f.window.findChildren<QSystemTrayIcon*>().size(), 1);
        f.controller.RestoreFromTray();
        EXPECT_TRUE(f.window.isVisible());
        EXPECT_TRUE(f.window.Tray().Shown()) << "the icon stays once added";
    }
}

TEST(MainWindow, ATipWhileInTheTrayComesAsATrayMessage) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    const QString text = QStringLiteral("翻译失败，未发送");
    auto balloonWith = [&](const QString& t) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || qstrcmp(w->metaObject()->className(), "QBalloonTip") != 0)
                continue;
            for (QLabel* l : w->findChildren<QLabel*>())
                if (l->text().contains(t)) return true;
        }
        return false;
    };
    f.controller.ShowTip(text.toStdU16String());
    EXPECT_FALSE(QTest::qWaitFor([&] { return balloonWith(text); }, 300)) << "shown: the panel";
    f.window.close();
    ASSERT_TRUE(f.window.Tray().Shown());
    f.controller.ShowTip(text.toStdU16String());
    EXPECT_TRUE(QTest::qWaitFor([&] { return balloonWith(text); }, 3000));
}

// Loads and shows the window and waits until the send box has the keyboard focus.
void ShowWithSendBoxFocused(Fixture& f) {
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    f.window.activateWindow();
    f.window.txtSend->setFocus();
    // The window manager activates the window when it gets to it; a busy desktop takes longer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.txtSend->hasFocus(); }, 5000));
}

TEST(MainWindow, SendBoxKeysAndFocusDriveTheRelay) {
    Fixture f;
    ASSERT_NO_FATAL_FAILURE(ShowWithSendBoxFocused(f));
    EXPECT_TRUE(f.window.Timer1->isActive()) << "focus in starts the idle countdown";

    // Any other key only stamps the time of the last key.
    f.fakes.clock.AdvanceMs(5'000);
    const auto before = f.window.State.LastKeyTime;
    QTest::keyClick(f.window.txtSend, Qt::Key_A);
    EXPECT_GT(f.window.State.LastKeyTime, before);
    EXPECT_EQ(f.translator.calls, 0);
    QTest::keyClick(f.window.txtSend, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(f.window.txtSend, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(f.translator.calls, 0);

    // Ctrl+Enter and Alt+S send what was typed (translation first).
    f.window.txtSend->setPlainText(QStringLiteral("hello"));
    QTest::keyClick(f.window.txtSend, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(f.RelayIdle());
    EXPECT_EQ(f.translator.calls, 1);
    f.window.txtSend->setPlainText(QStringLiteral("again"));
    QTest::keyClick(f.window.txtSend, Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(f.RelayIdle());
    EXPECT_EQ(f.translator.calls, 2);

    // Focus out stops the countdown.
    f.window.cboMyLan->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(f.window.Timer1->isActive());
}

TEST(MainWindow, ASlowTranslationCountsItsSecondsAndEscCancelsIt) {
    Fixture f;
    ASSERT_NO_FATAL_FAILURE(ShowWithSendBoxFocused(f));
    QString progress;
    f.translator.during = [&] {
        // The engine answers after 10 s unless the user gives up first (this runs aside,
        // where the waits block without turning the loop).
        f.loop.WaitUntil([&] { return f.platform.loop.CancelRequested(); }, 10'000);
    };
    f.window.txtSend->setPlainText(QStringLiteral("hello"));
    const auto start = std::chrono::steady_clock::now();
    QTest::keyClick(f.window.txtSend, Qt::Key_Return, Qt::ControlModifier);
    // The window stays live while the engine works: the tip counts, Esc reaches the box. The
    // fixture's clock is a fake one: it moves on with each look.
    ASSERT_TRUE(f.loop.WaitUntil(
        [&] {
            f.fakes.clock.AdvanceMs(platform::IEventLoop::kPollMs);
            return f.window.lblTips->text().startsWith(QStringLiteral("正在翻译…"));
        },
        5'000));
    progress = f.window.lblTips->text();
    QTest::keyClick(f.window.txtSend, Qt::Key_Escape);
    ASSERT_TRUE(f.RelayIdle());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(progress, QStringLiteral("正在翻译… 0 秒（按 Esc 取消）"));
    EXPECT_EQ(f.window.lblTips->text(), QStringLiteral("已取消，未发送"));
    EXPECT_EQ(f.window.txtSend->toPlainText(), QStringLiteral("hello"));
    EXPECT_EQ(f.translator.calls, 1);
    // Esc with nothing to cancel is the box's own and cancels nothing later.
    f.translator.during = nullptr;
    QTest::keyClick(f.window.txtSend, Qt::Key_Escape);
    EXPECT_FALSE(f.platform.loop.CancelRequested());
}

// The program's own engines over the fixture's HTTP port, and a chat window to send into.
struct EngineRig {
    struct NoPrograms : platform::IProgramRunner {
        std::unique_ptr<platform::IPipeline> NewPipeline() override { return nullptr; }
        platform::RunResult Run(const platform::Argv&, std::string_view, int,
                                std::size_t) override {
            return {};
        }
    } programs;
    std::unique_ptr<app::EngineSet> engines;

    EngineRig(Fixture& f, std::vector<std::string> names) {
        app::Configuration c;
        c.engines = std::move(names);
        c.engineSettings["libretranslate"].url = "http://libre.invalid/translate";
        engines = std::make_unique<app::EngineSet>(
            c, app::EngineServices{
                   f.fakes.http, f.fakes.codePage, f.platform.loop, programs, f.fakes.clock, {}});
        f.translator.delegate = &engines->Translator();
        constexpr platform::WinHandle kChat = 768, kInput = 512;
        f.fakes.windows.windows[kChat] = {{10, 20, 410, 320}, false, false};
        f.fakes.windows.windows[kInput] = {{20, 40, 400, 100}, false, false, kChat};
        f.session.State.InputAreaTarget = {kInput, 50, 60, 5, 6, 20, 10, 410, 320};
        f.session.State.SendButtonTarget = {kChat, 70, 80, 7, 8, 20, 10, 410, 320};
        f.session.State.SendShortcutKey = platform::vk::Return;
    }
};

void SendTyped(Fixture& f, const QString& text) {
    f.window.txtSend->setPlainText(text);
    QTest::keyClick(f.window.txtSend, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(f.RelayIdle());
}

TEST(MainWindow, TheSameLanguageBothSidesGoesOutAsTypedWithoutAnyRequest) {
    Fixture f;
    ASSERT_NO_FATAL_FAILURE(ShowWithSendBoxFocused(f));
    EngineRig rig(f, {"libretranslate"});
    f.window.cboOtherLan->setCurrentText(QStringLiteral("中文(简体)"));
    f.window.cboMyLan->setCurrentText(QStringLiteral("中文(简体)"));
    const QString typed = QStringLiteral("你好，我们明天下午三点见面吧。");
    SendTyped(f, typed);
    EXPECT_TRUE(f.fakes.http.requests.empty()) << "no engine is asked";
    EXPECT_EQ(f.fakes.clipboard.text, typed.toStdU16String()) << "what the chat window got";
    EXPECT_TRUE(f.window.txtSend->toPlainText().isEmpty());
    EXPECT_TRUE(f.window.txtResult->toPlainText().contains(
        typed + QStringLiteral("(两边语言相同，原文发送，未经翻译)")))
        << f.window.txtResult->toPlainText().toStdString();
}

TEST(MainWindow, NoEngineForThePairSaysWhatToDoWhollyAndOffersTheEnginesOnce) {
    int offered = 0;
    Fixture f([&] { ++offered; });
    ASSERT_NO_FATAL_FAILURE(ShowWithSendBoxFocused(f));
    EngineRig rig(f, {"apertium"});  // no installed pair has Chinese
    f.window.cboOtherLan->setCurrentText(QStringLiteral("英语"));
    f.window.cboMyLan->setCurrentText(QStringLiteral("中文(简体)"));
    for (int i = 0; i < 2; ++i) {
        SendTyped(f, QStringLiteral("你好"));
        QTest::qWait(50);  // the offer is posted, to come after the send
        EXPECT_EQ(offered, 1);
    }
    const QString tip = f.window.lblTips->text();
    EXPECT_EQ(tip, QString::fromStdU16String(relay::NoEngineTip(u"中文(简体)", u"英语")));
    EXPECT_FALSE(tip.contains(QStringLiteral("http")));
    // Shown whole: the wrapped text fits the label.
    const QRect need =
        QFontMetrics(f.window.lblTips->font())
            .boundingRect(QRect(0, 0, f.window.lblTips->width(), 1 << 20), Qt::TextWordWrap, tip);
    EXPECT_LE(need.height(), f.window.lblTips->height());
    EXPECT_TRUE(f.window.picTips->isVisible());
    EXPECT_EQ(f.window.txtSend->toPlainText(), QStringLiteral("你好"));
    EXPECT_TRUE(f.fakes.http.requests.empty());
    SaveScreenshot(f.window, "main-window-no-engine");
}

TEST(MainWindow, InputMethodWordsCountAsTyping) {
    Fixture f;
    ASSERT_NO_FATAL_FAILURE(ShowWithSendBoxFocused(f));

    struct Step {
        const char* what;
        QString preedit;
        QString commit;
        bool composing;
        QString text;
    };
    const Step steps[] = {
        {"pre-edit", QStringLiteral("ni"), QString(), true, QString()},
        {"commit", QString(), QStringLiteral("你"), false, QStringLiteral("你")},
        {"pre-edit again", QStringLiteral("h"), QString(), true, QStringLiteral("你")},
        {"cancelled", QString(), QString(), false, QStringLiteral("你")},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        f.fakes.clock.AdvanceMs(2'000);
        const auto before = f.window.State.LastKeyTime;
        QInputMethodEvent e(s.preedit, {});
        if (!s.commit.isEmpty()) e.setCommitString(s.commit);
        QApplication::sendEvent(f.window.txtSend, &e);
        EXPECT_GT(f.window.State.LastKeyTime, before);
        EXPECT_EQ(f.window.SendBox().IsComposing(), s.composing);
        EXPECT_EQ(f.window.txtSend->toPlainText(), s.text);
    }
}

TEST(MainWindow, CloseHidesToTheTrayAgainOnceTheUserActsAfterACommitDataRequest) {
    Fixture f;
    f.controller.Load();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "the test desktop runs a tray";
    auto* manager = qApp->findChild<QSessionManager*>();
    ASSERT_NE(manager, nullptr);

    // Right after the request the closes belong to the session end: the window really closes.
    emit qApp->commitDataRequest(*manager);
    f.window.close();
    EXPECT_FALSE(f.window.isVisible());
    EXPECT_FALSE(f.window.Tray().Shown());

    // The logout was cancelled and the user goes on: the close box hides to the tray.
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    QTest::mouseClick(f.window.txtResult->viewport(), Qt::LeftButton);
    f.window.close();
    EXPECT_FALSE(f.window.isVisible());
    EXPECT_TRUE(f.window.Tray().Shown());
}

int main(int argc, char** argv) {
    app::QtWebPane::PrepareEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {

// Another program owns the clipboard with the text (xclip serves it until it is ended); the
// pid of that program, -1 when it could not be started.
pid_t OtherProgramCopies(const std::string& text) {
    const std::string cmd = "printf '%s' '" + text +
                            "' | xclip -selection clipboard -i -quiet >/dev/null 2>&1 & echo $!";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char line[32] = {};
    const bool read = fgets(line, sizeof line, p) != nullptr;
    pclose(p);
    return read ? static_cast<pid_t>(std::atoi(line)) : -1;
}

TEST(MainWindow, PastingIntoTheSendBoxSurvivesAClipboardWhoseOwnerIsGone) {
    Fixture f;
    ASSERT_NO_FATAL_FAILURE(ShowWithSendBoxFocused(f));

    const pid_t owner = OtherProgramCopies("bold words");
    ASSERT_GT(owner, 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return QGuiApplication::clipboard()->text() == QStringLiteral("bold words"); }, 3000));
    QTest::keyClick(f.window.txtSend, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.window.txtSend->toPlainText(), QStringLiteral("bold words"));

    // The program that copied has ended: nothing to paste, and nothing else happens (this
    // paste used to end the program).
    kill(owner, SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return kill(owner, 0) != 0; }, 3000));
    QTest::keyClick(f.window.txtSend, Qt::Key_V, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(f.window.txtSend->toPlainText(), QStringLiteral("bold words"));
}

}  // namespace
