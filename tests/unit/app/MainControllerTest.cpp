#include "app/core/MainController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../relay/RelayTestSupport.h"
#include "RecordingWindow.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::app {
namespace {

using platform::fake::FakePlatform;
using testing::NoOverlay;
using testing::NoShortcutDialog;
using testing::RecordingWindow;

class MainControllerTest : public ::testing::Test {
  protected:
    MainControllerTest() {
        config.pageBase = "http://127.0.0.1:8080";
        controller.Attach(window, box);
    }

    FakePlatform fp;
    platform::Platform platform = fp.platform();
    relay::testing::FakeTranslate translate;
    relay::Session session{platform, translate, translate::clsGoogleLanguages::Shared()};
    Configuration config;
    update::NullUpdateServices update;
    std::string unitId = "unit";
    NoOverlay overlay;
    NoShortcutDialog shortcutDialog;
    int engineDialogs = 0;
    int saved = 0;
    relay::fake::RecordingResultBox box;
    RecordingWindow window;
    MainController controller{MainWindowParts{.platform = platform,
                                              .config = config,
                                              .update = update,
                                              .unitId = unitId,
                                              .session = session,
                                              .overlay = overlay,
                                              .shortcutDialog = shortcutDialog,
                                              .showEngineSettings = [this] { ++engineDialogs; },
                                              .settingsSaved = [this] { ++saved; }}};
};

TEST_F(MainControllerTest, LoadSetsCaptionBothLanguageListsAndThePanesPages) {
    controller.Load();
    EXPECT_EQ(window.caption, u"Quillet2009正式版");
    EXPECT_EQ(window.languages, translate::clsGoogleLanguages::Shared().getAllDescs());
    EXPECT_FALSE(window.languages.empty());
    EXPECT_TRUE(window.Did("panes http://127.0.0.1:8080/ad1.php http://127.0.0.1:8080/ad2.php"));
}

TEST_F(MainControllerTest, CloseDecidesBetweenTrayMinimiseAndClosing) {
    struct Row {
        const char* name;
        bool exitRequested, byUser, sessionEnding, trayAvailable;
        bool closes;
        std::vector<std::string> calls;
        bool trayIcon;
    };
    const Row rows[] = {
        {"close box, tray there", false, true, false, true, false, {"hide", "discard panes"}, true},
        {"close box, no tray", false, true, false, false, false, {"minimize"}, false},
        {"exit chosen", true, true, false, true, true, {}, false},
        {"session ends", false, false, true, true, true, {}, false},
    };
    for (const Row& r : rows) {
        RecordingWindow w;
        w.trayAvailable = r.trayAvailable;
        w.trayIcon = r.exitRequested;  // an icon there must go on exit
        controller.Detach();
        controller.Attach(w, box);
        session.State.ExitRequested = r.exitRequested;
        controller.OnSessionEnding(r.sessionEnding);
        EXPECT_EQ(controller.OnCloseRequested(r.byUser), r.closes) << r.name;
        EXPECT_EQ(w.calls, r.calls) << r.name;
        EXPECT_EQ(w.trayIcon, r.trayIcon) << r.name;
        controller.Detach();
    }
}

TEST_F(MainControllerTest, UserInputAfterALogoutRequestMakesTheCloseBoxHideAgain) {
    controller.OnSessionEnding(true);
    controller.OnUserInput();
    EXPECT_FALSE(controller.OnCloseRequested(true));
    EXPECT_TRUE(window.Did("hide"));
}

TEST_F(MainControllerTest, MinimisedForWantOfATrayMovesIntoItOnceItAppears) {
    window.trayAvailable = false;
    EXPECT_FALSE(controller.OnCloseRequested(true));
    fp.loop.Run(10'000);
    EXPECT_FALSE(window.trayIcon) << "no tray yet";
    EXPECT_FALSE(fp.loop.Idle()) << "still watching for one";
    window.trayAvailable = true;
    fp.loop.Run(10'000);
    EXPECT_TRUE(window.trayIcon);
    EXPECT_FALSE(window.shown);
    EXPECT_TRUE(fp.loop.Idle()) << "the watch ends";

    // Brought back by the user before the tray came: the watch ends and nothing is hidden.
    RecordingWindow back;
    back.trayAvailable = false;
    controller.Detach();
    controller.Attach(back, box);
    controller.OnCloseRequested(true);
    back.minimized = false;
    back.trayAvailable = true;
    fp.loop.Run(10'000);
    EXPECT_FALSE(back.trayIcon);
    EXPECT_TRUE(back.shown);
    EXPECT_TRUE(fp.loop.Idle());
}

TEST_F(MainControllerTest, KeysInTheSendBox) {
    window.text = u"hello";
    EXPECT_FALSE(controller.OnSendBoxKey(SendBoxKey::EscapeAlone))
        << "Esc with no translation running is the box's own";
    EXPECT_FALSE(controller.OnSendBoxKey(SendBoxKey::Other));
    EXPECT_FALSE(session.Scheduler.Busy());
    EXPECT_TRUE(controller.OnSendBoxKey(SendBoxKey::SendChord)) << "the chord is used up";
    EXPECT_TRUE(session.Scheduler.Busy()) << "and starts a send";
}

TEST_F(MainControllerTest, FocusOfTheSendBoxRunsTheIdleTimer) {
    controller.OnSendBoxFocus(true);
    controller.OnSendBoxFocus(false);
    EXPECT_EQ(window.calls, (std::vector<std::string>{"Timer1 on", "Timer1 off"}));
}

TEST_F(MainControllerTest, ATipWhileHiddenInTheTrayAlsoGoesToTheTrayIcon) {
    controller.ShowTip(u"shown");
    EXPECT_EQ(window.tip, u"shown");
    EXPECT_FALSE(window.Did("balloon Quillet2009正式版: shown"));
    window.shown = false;
    window.trayIcon = true;
    controller.ShowTip(u"hidden");
    EXPECT_EQ(window.tip, u"hidden");
    EXPECT_TRUE(window.Did("balloon Quillet2009正式版: hidden"));
}

TEST_F(MainControllerTest, ProgressShowsAfterHalfASecondCountsAndGoesWhenDone) {
    controller.SetTranslating(true);
    fp.loop.Run(400);
    EXPECT_FALSE(window.tipShown) << "a quick translation shows nothing";
    fp.loop.Run(2'000);
    ASSERT_TRUE(window.tipShown);
    EXPECT_EQ(window.tip, relay::TranslatingTip(2'250));
    controller.SetTranslating(false);
    EXPECT_FALSE(window.tipShown);
    EXPECT_TRUE(fp.loop.Run(1'000)) << "the count stops";

    // From the tray it would be a message every turn.
    window.shown = false;
    controller.SetTranslating(true);
    fp.loop.Run(2'000);
    EXPECT_FALSE(window.tipShown);
    controller.SetTranslating(false);
}

TEST_F(MainControllerTest, EngineSettingsOfferedByAFlowOpenOnlyAfterItReturned) {
    controller.OfferEngineSettings();
    EXPECT_EQ(engineDialogs, 0);
    fp.loop.Run();
    EXPECT_EQ(engineDialogs, 1);
}

TEST_F(MainControllerTest, MenuEntries) {
    controller.OnMenu(MenuCommand::Help);
    EXPECT_TRUE(window.Did("help http://127.0.0.1:8080"));
    controller.OnMenu(MenuCommand::InPlaceSettings);
    EXPECT_EQ(saved, 0) << "cancelled";
    window.saveInPlace = true;
    controller.OnMenu(MenuCommand::InPlaceSettings);
    EXPECT_EQ(saved, 1);
    controller.OnMenu(MenuCommand::EngineSettings);
    EXPECT_EQ(engineDialogs, 1);

    window.shown = false;
    window.trayIcon = true;
    controller.OnMenu(MenuCommand::Restore);
    EXPECT_TRUE(window.shown);
    EXPECT_TRUE(window.Did("restore panes"));

    window.calls.clear();
    EXPECT_THROW(controller.OnMenu(MenuCommand::Exit), platform::fake::FakeExit);
    EXPECT_TRUE(session.State.ExitRequested);
    EXPECT_TRUE(window.Did("close"));
}

TEST_F(MainControllerTest, TrayClicksAndPickerTips) {
    window.tipShown = true;
    controller.OnTrayClick(false);
    EXPECT_FALSE(window.tipShown) << "a click on the tray hides the tip";
    EXPECT_TRUE(window.Did("tray menu"));
    window.shown = false;
    controller.OnTrayClick(true);
    EXPECT_TRUE(window.shown);

    const std::pair<Picker, std::u16string> tips[] = {
        {Picker::SendArea, u"设置输入框位置"},
        {Picker::ReturnArea, u"设置返回框位置"},
        {Picker::SendButton, u"设置发送按钮位置"},
    };
    for (const auto& [picker, text] : tips) {
        controller.OnPickerHover(picker);
        EXPECT_EQ(window.tip, text);
        controller.OnMouseMove();
        EXPECT_FALSE(window.tipShown);
    }
}

// A refused pick says why and keeps the target; a good one says nothing.
TEST_F(MainControllerTest, PicksOnNoWindowOrOnOurOwnAreRefusedWithATip) {
    fp.windows.windows[30] = {.rect = platform::Rect{0, 0, 400, 300}};
    fp.windows.windows[31] = {.rect = platform::Rect{500, 0, 900, 300}, .own = true};
    const struct {
        platform::Point press;
        std::u16string_view tip;
        platform::WinHandle target;
    } rows[] = {
        {{100, 100}, u"", 30},
        {{600, 100}, target::kPickOwnWindow, 30},
        {{100, 600}, target::kPickNoWindow, 30},
    };
    for (const auto& r : rows) {
        window.tip.clear();
        overlay.press = r.press;
        controller.OnMenu(MenuCommand::SetInputArea);
        EXPECT_EQ(window.tip, r.tip);
        EXPECT_EQ(session.State.InputAreaTarget.WinHwnd, r.target);
    }
}

TEST_F(MainControllerTest, NothingReachesAWindowThatWasDetached) {
    controller.Detach();
    EXPECT_FALSE(controller.OnSendBoxKey(SendBoxKey::SendChord));
    controller.OnSendClicked();
    controller.ShowTip(u"gone");
    EXPECT_FALSE(session.Scheduler.Busy());
    EXPECT_TRUE(window.tip.empty());
}

}  // namespace
}  // namespace velmora::app
