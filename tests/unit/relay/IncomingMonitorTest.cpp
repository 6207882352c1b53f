#include "relay/IncomingMonitor.h"

#include <gtest/gtest.h>

#include "RelayTestSupport.h"
#include "platform/VirtualKey.h"
#include "relay/TargetCheck.h"
#include "support/NativeBackends.h"

namespace velmora::relay {
namespace {

using platform::fake::FakePlatform;
using Log = std::vector<std::string>;
namespace vk = platform::vk;
using Captions = std::vector<std::pair<std::u16string, std::int64_t>>;

Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr int kHistory = 640;

class IncomingMonitorTest : public ::testing::Test {
  public:  // the table-driven cases reach into the fixture
    IncomingMonitorTest() {
        state.ReturnAreaTarget = {kHistory, 30, 40, 3, 4, 0, 0, 300, 200};
        fp.windows.windows[kHistory] = {{0, 0, 300, 200}, false, false};
        fp.input.cursor = {5, 6};
        box.onFocus = [this] { view.ResultBoxTookFocus(); };
        t0 = fp.clock.NowMs();
        // The IM window copies its history when Ctrl+C reaches it.
        fp.loop.onHold = [this] {
            const auto& e = fp.log.Entries();
            if (copyOnCtrlC && e.size() >= 2 &&
                e[e.size() - 2] == "kdown " + std::to_string(vk::Letter('C')))
                fp.clipboard.text = history;
        };
        fp.loop.onYield = [this] {
            if (hook) hook();
        };
    }

    // Jobs still waiting go before the monitor their frames use.
    ~IncomingMonitorTest() override { scheduler.Abandon(); }

    std::int64_t Elapsed() { return fp.clock.NowMs() - t0; }
    // A tick of Timer1 or of the history watch, and what it started, to the end.
    void Tick() {
        monitor.OnIdleTick();
        fp.loop.Run();
    }
    void Watch() {
        monitor.WatchTick();
        fp.loop.Run();
    }
    // The countdown alone, to its end: whether it ran out.
    std::optional<bool> Countdown() {
        std::optional<bool> ranOut;
        platform::Task<> job = [](IncomingMonitor& m,
                                  std::optional<bool>& out) -> platform::Task<> {
            out = co_await m.RunIdleCountdown();
        }(monitor, ranOut);
        job.Start([](std::exception_ptr) {});
        fp.loop.Run();
        return ranOut;
    }

    FakePlatform fp;
    RelayState state;
    testing::FakeView view{fp, state};
    fake::RecordingResultBox box;
    testing::FakeTranslate translate;
    native::RegexEngine regex;
    mduSendBuffer buffer{regex, translate};
    RelayScheduler scheduler{fp.loop};
    IncomingMonitor monitor{fp.platform(), view,   box,
                            state,         buffer, translate::clsGoogleLanguages::Shared(),
                            scheduler};
    std::int64_t t0 = 0;
    std::u16string history = u"Ann 9:00:00\r\nhi";
    bool copyOnCtrlC = true;
    std::function<void()> hook;
    bool hookDone = false;
};

TEST_F(IncomingMonitorTest, GuardsLeaveEverythingUntouched) {
    struct Case {
        const char* what;
        std::function<void(IncomingMonitorTest&)> set;
    };
    const Case cases[] = {
        {"no history pane picked", [](auto& t) { t.state.ReturnAreaTarget = {}; }},
        {"result box focused", [](auto& t) { t.state.ResultBoxFocused = true; }},
        {"companion not active", [](auto& t) { t.view.active = false; }},
        {"a send is running", [](auto& t) { t.state.SendRunning = true; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IncomingMonitorTest& t = *this;
        t.state = RelayState{};
        t.state.ReturnAreaTarget = {kHistory, 30, 40, 3, 4, 0, 0, 300, 200};
        t.view.active = true;
        t.view.captions.clear();
        t.fp.log.Clear();
        c.set(t);
        Tick();
        EXPECT_TRUE(fp.log.Entries().empty());
        EXPECT_TRUE(view.captions.empty());
        EXPECT_FALSE(view.timeKeeperVisible);
        EXPECT_EQ(Elapsed(), 0);
    }
}

// The countdown's waits: one to each whole second, then the pass that shows 0.
Log CountdownWaits() {
    Log waits(5, "wait 1000");
    waits.push_back("wait 0");
    return waits;
}

TEST_F(IncomingMonitorTest, CountdownShowsEachWholeSecondWithoutSpinning) {
    EXPECT_EQ(Countdown(), true);
    const Captions expected = {{u"5", t0},        {u"4", t0 + 1000}, {u"3", t0 + 2000},
                               {u"2", t0 + 3000}, {u"1", t0 + 4000}, {u"0", t0 + 5000}};
    EXPECT_EQ(view.captions, expected);
    EXPECT_TRUE(view.timeKeeperVisible);
    EXPECT_EQ(Elapsed(), 5000);
    // One wait to each whole second and one pass that shows 0: no polling in between.
    EXPECT_EQ(fp.log.Entries(), CountdownWaits());
}

TEST_F(IncomingMonitorTest, CountdownMeasuresWholeSecondsFromMidSecondStart) {
    fp.clock.AdvanceMs(700);
    EXPECT_EQ(Countdown(), true);
    // Started at .700 of a second: the first second is over after 300 ms, as on a whole-second
    // clock.
    EXPECT_EQ(view.captions[1], (std::pair<std::u16string, std::int64_t>{u"4", t0 + 1000}));
    EXPECT_EQ(Elapsed(), 5000);
}

TEST_F(IncomingMonitorTest, KeyPressRestartsTheCount) {
    bool pressed = false;
    hook = [&] {
        if (!pressed && Elapsed() >= 3500) {
            pressed = true;
            monitor.OnSendBoxKeyDown();
        }
    };
    EXPECT_EQ(Countdown(), true);
    std::vector<std::u16string> labels;
    for (const auto& c : view.captions) labels.push_back(c.first);
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"5", u"4", u"3", u"2", u"5", u"4", u"3", u"2",
                                                   u"1", u"0"}));
    EXPECT_EQ(Elapsed(), 8000);
}

TEST_F(IncomingMonitorTest, PendingInputMethodWordHoldsTheCapture) {
    // A word stays in pre-edit past two idle spans; the focus goes elsewhere at 12 s.
    view.composing = true;
    hook = [&] {
        if (Elapsed() >= 12'000 && !state.CountdownAborted) monitor.OnSendBoxFocusLost();
    };
    Tick();
    Log waits = CountdownWaits() + CountdownWaits() + Log{"wait 1000", "wait 1000"};
    EXPECT_EQ(fp.log.Entries(), waits) << "only waits, with the two passes at 0";
    EXPECT_EQ(Elapsed(), 12'000);
    EXPECT_FALSE(view.timeKeeperVisible);

    // Committed at 7 s: the commit counts as the last key and the capture follows 5 s later.
    fp.log.Clear();
    view.composing = true;
    state.CountdownAborted = false;
    const std::int64_t start = fp.clock.NowMs();
    hook = [&] {
        if (view.composing && fp.clock.NowMs() - start >= 7'000) {
            view.composing = false;
            monitor.OnSendBoxKeyDown();
        }
    };
    Tick();
    // Up to the commit: 0 at 5 s, then 5 again; the key at 7 s ends the wait that began at 7.
    waits = CountdownWaits() + Log{"wait 1000", "wait 1000"} + CountdownWaits();
    ASSERT_GE(fp.log.Entries().size(), waits.size() + 4);
    const Log head{fp.log.Entries().begin(), fp.log.Entries().begin() + waits.size() + 4};
    EXPECT_EQ(head, (waits + Log{"iconic 640", "showcursor 1", "getcursor", "clipboard clear"}));
    EXPECT_EQ(view.captions[view.captions.size() - 3].second, start + 12'000) << "0 at 7 + 5 s";
}

TEST_F(IncomingMonitorTest, AbandonedCountdownHidesLabelAndCapturesNothing) {
    struct Case {
        const char* what;
        std::function<void(IncomingMonitorTest&)> act;
    };
    const Case cases[] = {
        {"txtSend lost the focus", [](auto& t) { t.monitor.OnSendBoxFocusLost(); }},
        {"companion deactivated",
         [](auto& t) {
             t.view.active = false;
             t.monitor.OnActivationChanged();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view.active = true;
        fp.log.Clear();
        std::int64_t start = fp.clock.NowMs();
        bool done = false;
        hook = [&] {
            if (!done && fp.clock.NowMs() - start >= 2500) {
                done = true;
                c.act(*this);
            }
        };
        Tick();
        EXPECT_FALSE(view.timeKeeperVisible);
        // Woken at once, not at the next second.
        EXPECT_EQ(view.timeKeeperHiddenMs - start, 2500);
        EXPECT_FALSE(monitor.TickRunning());
        for (const auto& e : fp.log.Entries()) EXPECT_NE(e, "clipboard clear");
    }
}

TEST_F(IncomingMonitorTest, ExitDuringCountdownEndsTheProgram) {
    hook = [&] {
        if (Elapsed() >= 2000) monitor.RequestExit();
    };
    Tick();
    EXPECT_EQ(view.endedAtMs, t0 + 2000);
    EXPECT_FALSE(monitor.TickRunning());
    for (const auto& e : fp.log.Entries()) EXPECT_NE(e, "clipboard clear");
}

TEST_F(IncomingMonitorTest, CaptureTakesOverAndGivesBackAMinimisedWindow) {
    fp.windows.windows[kHistory].iconic = true;
    Tick();
    auto chord = [](int key) {
        const std::string ctrl = std::to_string(vk::Control);
        return Log{"kdown " + ctrl, "kdown " + std::to_string(key), "hold 100",
                   "kup " + std::to_string(key), "kup " + ctrl};
    };
    Log expected = CountdownWaits() + Log{"iconic 640", "showcursor 1",    "show 640 1",
                                          "getcursor",  "clipboard clear", "foreground 640",
                                          "move 30,40", "ldown",           "lup",
                                          "hold 10"};
    for (int k : {vk::Letter('A'), vk::Letter('C')}) {
        auto c = chord(k);
        expected.insert(expected.end(), c.begin(), c.end());
    }
    Log tail = {"wait 500",     "wait 0",         "wait 0",     "wait 0",         "move 5,6",
                "showcursor 0", "foreground 256", "show 640 6", "view focus send"};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(fp.log.Entries(), expected);
    EXPECT_TRUE(fp.windows.windows[kHistory].iconic);
    EXPECT_EQ(fp.input.cursor, (platform::Point{5, 6}));
    EXPECT_EQ(fp.windows.cursorCount, 0);
    EXPECT_EQ(box.scrolls, 1);
    EXPECT_FALSE(state.ResultBoxFocused);
    EXPECT_TRUE(view.sendFocused);
    const Captions captions = {
        {u"5", t0},        {u"4", t0 + 1000}, {u"3", t0 + 2000},           {u"2", t0 + 3000},
        {u"1", t0 + 4000}, {u"0", t0 + 5000}, {u"获取数据...", t0 + 5710}, {u"5", t0 + 5710}};
    EXPECT_EQ(view.captions, captions);
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\nhi(译文：[zh-CN]hi)\r\n");
}

TEST_F(IncomingMonitorTest, OnlyTextLongerThanTheLastCaptureIsProcessed) {
    const std::u16string first(120, u'a');
    const std::u16string second = first + std::u16string(30, u'b');
    struct Step {
        std::u16string clipboard;
        std::int32_t lengthAfter;
        std::optional<std::u16string> handedOver;
    };
    const Step steps[] = {
        {first, 120, first},
        {second, 150, std::u16string(30, u'b')},
        {std::u16string(150, u'c'), 150, std::nullopt},  // same length, other content
        {std::u16string(100, u'd'), 150, std::nullopt},
    };
    for (const auto& s : steps) {
        translate.calls.clear();
        history = s.clipboard;
        Tick();
        EXPECT_EQ(state.LastHistoryLength, s.lengthAfter);
        if (s.handedOver) {
            ASSERT_EQ(translate.calls.size(), 1u);
            EXPECT_EQ(translate.calls[0].text, *s.handedOver);
            EXPECT_EQ(translate.calls[0].source, "en");  // the other party's language
            EXPECT_EQ(translate.calls[0].target, "zh-CN");
        } else {
            EXPECT_TRUE(translate.calls.empty());
            EXPECT_EQ(view.timeKeeper, kReadingCaption);
        }
    }
}

// Distinct messages "m<from>;" .. "m<to - 1>;", as a history pane shows them.
std::u16string Messages(int from, int to) {
    std::string s;
    for (int i = from; i < to; ++i) s += "m" + std::to_string(i) + ";";
    return std::u16string(s.begin(), s.end());
}

TEST_F(IncomingMonitorTest, NewHistoryIsWhatFollowsTheLastCapturesEnd) {
    struct Step {
        const char* what;
        std::u16string clipboard;
        std::optional<std::u16string> handedOver;
    };
    const Step steps[] = {
        {"first capture: everything", Messages(0, 100), Messages(0, 100)},
        {"oldest 30 dropped from the top, 10 new", Messages(30, 110), Messages(100, 110)},
        {"nothing new", Messages(30, 110), std::nullopt},
        {"another chat, shorter, end unknown", u"Bo: hey;", std::nullopt},
        {"that chat goes on", u"Bo: hey;Bo: there?", u"Bo: there?"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        translate.calls.clear();
        history = s.clipboard;
        Tick();
        if (s.handedOver) {
            ASSERT_EQ(translate.calls.size(), 1u);
            EXPECT_EQ(translate.calls[0].text, *s.handedOver);
        } else {
            EXPECT_TRUE(translate.calls.empty());
        }
        const std::size_t kept = std::min(s.clipboard.size(), kHistoryTailLength);
        EXPECT_EQ(state.LastHistoryTail, s.clipboard.substr(s.clipboard.size() - kept));
    }
}

TEST_F(IncomingMonitorTest, PickingTheHistoryPaneAgainForgetsTheOldEnd) {
    const std::u16string before = Messages(0, 100);
    // The old end appears in the new capture, but not at the length seen before.
    const std::u16string after = u"pinned;" + before + u"new;";
    struct Case {
        const char* what;
        bool repick;
        std::u16string handedOver;
    };
    const Case cases[] = {
        {"same pane: after the old end", false, u"new;"},
        {"picked again: by length", true, after.substr(before.size())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        state.LastHistoryLength = 0;
        state.LastHistoryTail.clear();
        history = before;
        Tick();
        if (c.repick) {
            monitor.OnReturnAreaPicked();
            EXPECT_TRUE(state.LastHistoryTail.empty());
        }
        translate.calls.clear();
        history = after;
        Tick();
        ASSERT_EQ(translate.calls.size(), 1u);
        EXPECT_EQ(translate.calls[0].text, c.handedOver);
    }
}

TEST_F(IncomingMonitorTest, PickDuringACaptureKeepsNoTailFromTheOldPane) {
    history = Messages(0, 10);
    hook = [&] {
        if (state.CaptureRunning && fp.clipboard.text == history && !hookDone) {
            hookDone = true;
            monitor.OnReturnAreaPicked();
        }
    };
    Tick();
    EXPECT_TRUE(hookDone);
    EXPECT_TRUE(state.LastHistoryTail.empty());
    EXPECT_FALSE(state.CaptureRunning);
    EXPECT_FALSE(scheduler.Busy());
}

TEST_F(IncomingMonitorTest, EmptyClipboardGivesUpAfterThreeWholeSeconds) {
    copyOnCtrlC = false;
    Tick();
    // Reading starts at 5.710 s; the wait counts whole seconds from 5, so it ends at 8.
    EXPECT_EQ(view.lastFocusSendMs, t0 + 8000);
    EXPECT_EQ(box.focusCount, 0);
    EXPECT_EQ(state.LastHistoryLength, 0);
    EXPECT_EQ(view.timeKeeper, kReadingCaption);
    EXPECT_EQ(fp.input.cursor, (platform::Point{5, 6}));
}

TEST_F(IncomingMonitorTest, LateCopyIsTakenWhenItArrives) {
    copyOnCtrlC = false;
    hook = [&] {
        if (Elapsed() >= 6500 && fp.clipboard.text.empty()) fp.clipboard.text = history;
    };
    Tick();
    EXPECT_EQ(view.lastFocusSendMs, t0 + 6500);
    EXPECT_EQ(state.LastHistoryLength, static_cast<std::int32_t>(history.size()));
}

TEST_F(IncomingMonitorTest, UnreadableOrUnclearableClipboard) {
    fp.clipboard.failReads = true;
    Tick();
    EXPECT_EQ(state.LastHistoryLength, 0);
    EXPECT_EQ(view.lastFocusSendMs, t0 + 8000);

    fp.clipboard.failReads = false;
    fp.clipboard.failWrites = true;
    fp.log.Clear();
    Tick();
    Log tail(fp.log.Entries().end() - 9, fp.log.Entries().end());
    EXPECT_EQ(tail, (Log{"iconic 640", "showcursor 1", "getcursor", "clipboard clear", "wait 0",
                         "move 5,6", "showcursor 0", "foreground 256", "view focus send"}));
    EXPECT_EQ(state.LastHistoryLength, 0);
}

TEST_F(IncomingMonitorTest, TicksDuringACountdownOrCaptureStartNoSecondOne) {
    int nested = 0;
    hook = [&] {
        // Three during the countdown, three while the capture waits for its copy.
        if ((Elapsed() >= 1500 && nested < 3) || (state.CaptureRunning && nested < 6)) {
            ++nested;
            monitor.OnIdleTick();
            monitor.WatchTick();
        }
    };
    Tick();
    std::vector<std::u16string> labels;
    for (const auto& c : view.captions) labels.push_back(c.first);
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"5", u"4", u"3", u"2", u"1", u"0",
                                                   u"获取数据...", u"5"}));
    int clears = 0;
    for (const auto& e : fp.log.Entries()) clears += e == "clipboard clear";
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(nested, 6);
}

TEST_F(IncomingMonitorTest, LostHistoryWindowStopsCapturesUntilPickedAgain) {
    struct Case {
        const char* what;
        std::function<void(IncomingMonitorTest&)> set;
    };
    const Case cases[] = {
        {"history window closed", [](auto& t) { t.fp.windows.windows.erase(kHistory); }},
        {"another window over the history point",
         [](auto& t) {
             t.fp.windows.windows[900] = {{20, 30, 40, 50}};
         }},
        {"activation refused", [](auto& t) { t.fp.windows.windows[kHistory].refusesFocus = true; }},
    };
    auto injected = [&] {
        for (const auto& e : fp.log.Entries())
            if (e.starts_with("kdown") || e == "ldown") return true;
        return false;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IncomingMonitorTest& t = *this;
        t.fp.windows.windows.clear();
        t.fp.windows.windows[kHistory] = {{0, 0, 300, 200}, true, false};
        t.view.tip.clear();
        t.fp.log.Clear();
        t.fp.clipboard.text = u"theirs";
        c.set(t);
        Tick();
        EXPECT_FALSE(injected());
        EXPECT_EQ(view.tip, kTargetLost);
        EXPECT_TRUE(box.runs.empty());
        EXPECT_EQ(fp.windows.cursorCount, 0);
        if (fp.windows.windows.contains(kHistory)) {
            EXPECT_TRUE(fp.windows.windows[kHistory].iconic);
        }

        // The next ticks leave everything alone, even with the window back.
        fp.windows.windows = {{kHistory, {{0, 0, 300, 200}}}};
        fp.log.Clear();
        Tick();
        EXPECT_TRUE(fp.log.Entries().empty());

        monitor.OnReturnAreaPicked();
        Tick();
        EXPECT_TRUE(injected());
        EXPECT_FALSE(state.ReturnAreaLost);
        box.runs.clear();
        state.LastHistoryLength = 0;
    }
}

}  // namespace
}  // namespace velmora::relay

namespace velmora::relay {
namespace {

constexpr int kInput = 700;

class TreeRouteTest : public IncomingMonitorTest {
  public:
    TreeRouteTest() {
        state.InputAreaTarget = {kInput, 30, 250, 3, 4, 0, 0, 300, 300};
        fp.windows.windows[kInput] = {{0, 220, 300, 300}, false, false};
    }
    bool Touched() {
        for (const auto& e : fp.log.Entries())
            if (e.starts_with("kdown") || e == "ldown" || e.starts_with("move") ||
                e.starts_with("clip"))
                return true;
        return fp.windows.cursorCount != 0;
    }
};

TEST_F(TreeRouteTest, APickSaysWhichWayTheHistoryWillBeRead) {
    struct Case {
        const char* what;
        bool tree;
        RelayState::HistoryRoute route;
        std::u16string_view tip;
    };
    const Case cases[] = {
        {"tree shows the history", true, RelayState::HistoryRoute::Tree, kRouteTree},
        {"no tree", false, RelayState::HistoryRoute::Keys, kRouteKeys},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.accessibility.history.clear();
        if (c.tree) fp.accessibility.history[kHistory] = u"Ann 9:00:00\nhi";
        monitor.OnReturnAreaPicked();
        EXPECT_EQ(state.ReturnAreaRoute, c.route);
        EXPECT_EQ(view.tip, c.tip);
    }
}

TEST_F(TreeRouteTest, EachTickReadsTheTreeWithoutKeysFocusOrClipboardAndShowsEachMessageOnce) {
    fp.accessibility.history[kHistory] = u"Ann 9:00:00\n    hi";
    monitor.OnReturnAreaPicked();
    // The user is typing: the tree read needs no idle time, and no countdown shows.
    view.active = false;
    fp.log.Clear();
    struct Step {
        const char* what;
        std::u16string history;
        std::vector<std::u16string> translated;
    };
    const Step steps[] = {
        {"first read: the history so far", u"Ann 9:00:00\n    hi", {u"    hi"}},
        {"nothing new", u"Ann 9:00:00\n    hi", {}},
        {"one message more", u"Ann 9:00:00\n    hi\nAnn 9:00:05\n    there?", {u"    there?"}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        translate.calls.clear();
        fp.accessibility.history[kHistory] = s.history;
        const std::int64_t before = fp.clock.NowMs();
        Tick();
        EXPECT_LT(fp.clock.NowMs() - before, 1000);
        std::vector<std::u16string> texts;
        for (const auto& call : translate.calls) texts.push_back(call.text);
        EXPECT_EQ(texts, s.translated);
    }
    EXPECT_FALSE(Touched());
    EXPECT_FALSE(view.timeKeeperVisible);
    EXPECT_EQ(box.focusCount, 0);  // the send box kept the focus throughout
    EXPECT_TRUE(view.sendFocused);
}

TEST_F(TreeRouteTest, TheLoopRunsOtherHandlersWhileANewMessageIsTranslated) {
    fp.accessibility.history[kHistory] = u"Ann 9:00:00\n    hi";
    monitor.OnReturnAreaPicked();
    std::vector<std::string> seen;
    translate.onTranslate = [&] { seen.push_back("translated"); };
    // A handler already queued, as the user's events are.
    fp.loop.Post([&] {
        seen.push_back(scheduler.Running() == RelayJob::Capture ? "handler beside the capture"
                                                                : "handler alone");
        seen.push_back(box.Text().ends_with(u"hi") ? "original shown" : "original missing");
        monitor.WatchTick();  // a tick meanwhile is dropped, not run inside or after
    });
    monitor.WatchTick();
    // The tick is back on the loop: the translation has not run inside it.
    EXPECT_TRUE(translate.calls.empty());
    EXPECT_TRUE(state.CaptureRunning);
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_EQ(seen, (std::vector<std::string>{"handler beside the capture", "original shown",
                                              "translated"}));
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\n    hi(译文：[zh-CN]    hi)\r\n");
    EXPECT_FALSE(state.CaptureRunning);
    EXPECT_FALSE(scheduler.Busy());
}

TEST_F(TreeRouteTest, TheWatchReadsOnlyTheTreeAndOnlyWhenNothingElseHoldsTheHistory) {
    using Route = RelayState::HistoryRoute;
    struct Case {
        const char* what;
        Route route;
        bool resultBoxFocused;
        bool sendRunning;
        std::vector<std::u16string> translated;
    };
    const Case cases[] = {
        {"tree, the send box without the focus", Route::Tree, false, false, {u"    hi"}},
        {"tree, the user selecting in the result box", Route::Tree, true, false, {}},
        {"tree, a send running", Route::Tree, false, true, {}},
        {"drag: it takes the mouse, so it waits for the idle countdown",
         Route::Drag,
         false,
         false,
         {}},
        {"keys: the same", Route::Keys, false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.accessibility.history[kHistory] = u"Ann 9:00:00\n    hi";
        monitor.OnReturnAreaPicked();
        state.LastHistoryLength = 0;  // each case meets the message as new
        state.ReturnAreaRoute = c.route;
        state.ResultBoxFocused = c.resultBoxFocused;
        state.SendRunning = c.sendRunning;
        view.sendFocused = false;
        fp.log.Clear();
        translate.calls.clear();
        Watch();
        std::vector<std::u16string> texts;
        for (const auto& call : translate.calls) texts.push_back(call.text);
        EXPECT_EQ(texts, c.translated);
        EXPECT_FALSE(Touched());
        EXPECT_FALSE(view.timeKeeperVisible);
        state.ResultBoxFocused = false;
        state.SendRunning = false;
    }
}

TEST_F(TreeRouteTest, AWidgetWithoutTextIsReadByADragOverItAndACopy) {
    // The tree knows where the history view lies, not what it shows.
    fp.accessibility.widgetRect[kHistory] = {10, 20, 210, 120};
    monitor.OnReturnAreaPicked();
    EXPECT_EQ(state.ReturnAreaRoute, RelayState::HistoryRoute::Drag);
    EXPECT_EQ(view.tip, kRouteDrag);
    struct Case {
        const char* what;
        bool copiesOnSelect;  // the program puts a selection on the clipboard by itself
    };
    const Case cases[] = {{"copies as it selects", true}, {"copies on Ctrl+C", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        translate.calls.clear();
        state.LastHistoryTail.clear();
        state.LastHistoryLength = 0;
        copyOnCtrlC = !c.copiesOnSelect;
        hook = [&] {
            const auto& e = fp.log.Entries();
            // Once the button is up, at the first turn after.
            if (c.copiesOnSelect && std::find(e.begin(), e.end(), "lup") != e.end())
                fp.clipboard.text = history;
        };
        Tick();
        const Log& e = fp.log.Entries();
        // From inside the top left corner to inside the bottom right one, button held.
        auto down = std::find(e.begin(), e.end(), "ldown");
        ASSERT_NE(down, e.end());
        EXPECT_EQ(*(down - 1), "move 14,24");
        auto up = std::find(down, e.end(), "lup");
        ASSERT_NE(up, e.end());
        EXPECT_EQ(*std::find_if(std::make_reverse_iterator(up), e.rend(),
                                [](const std::string& x) { return x.starts_with("move"); }),
                  "move 206,116");
        const bool ctrlC =
            std::find(e.begin(), e.end(), "kdown " + std::to_string(vk::Letter('C'))) != e.end();
        EXPECT_EQ(ctrlC, !c.copiesOnSelect);
        EXPECT_EQ(std::find(e.begin(), e.end(), "kdown " + std::to_string(vk::Letter('A'))),
                  e.end());  // no select-all: it would go to the chat input box
        EXPECT_EQ(translate.calls.size(), 1u);
    }
}

TEST_F(TreeRouteTest, ATreeThatStopsAnsweringFallsBackToTheCopy) {
    fp.accessibility.history[kHistory] = u"Ann 9:00:00\nhi";
    monitor.OnReturnAreaPicked();
    fp.accessibility.history.clear();
    Tick();
    EXPECT_TRUE(Touched());  // the countdown ran out and the copy was made
    ASSERT_EQ(translate.calls.size(), 1u);
}

TEST_F(TreeRouteTest, ACopyThatIsTheInputBoxTextIsNoHistory) {
    struct Case {
        const char* what;
        std::u16string copy;
        std::optional<std::u16string> inputBox;
        bool shown;
    };
    const Case cases[] = {
        {"the draft, as copied", u"my unsent draft\r\n", u"my unsent draft", false},
        {"the draft over two lines", u"line one\r\nline two", u"line one\nline two", false},
        {"a real history", u"Ann 9:00:00\r\nhi", u"my unsent draft", true},
        {"input box unreadable", u"my unsent draft", std::nullopt, true},
        {"input box empty", u"Ann 9:00:00\r\nhi", u"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        state.LastHistoryTail.clear();
        state.LastHistoryLength = 0;
        state.ReturnAreaRoute = RelayState::HistoryRoute::Keys;
        translate.calls.clear();
        view.tip.clear();
        fp.accessibility.input.clear();
        if (c.inputBox) fp.accessibility.input[kInput] = *c.inputBox;
        history = c.copy;
        Tick();
        EXPECT_EQ(!translate.calls.empty(), c.shown);
        EXPECT_EQ(view.tip == kCopyWasInput, !c.shown);
    }
}

}  // namespace
}  // namespace velmora::relay
