#include "relay/OutgoingFlow.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "RelayTestSupport.h"
#include "platform/VirtualKey.h"
#include "relay/TargetCheck.h"

namespace velmora::relay {
namespace {

using platform::fake::FakePlatform;
using BoxRun = fake::RecordingResultBox::Run;
using Log = std::vector<std::string>;
namespace vk = platform::vk;

Log Chord(int key, int mod, int delay) {
    Log l;
    if (mod) l.push_back("kdown " + std::to_string(mod));
    l.push_back("kdown " + std::to_string(key));
    l.push_back("hold " + std::to_string(delay));
    l.push_back("kup " + std::to_string(key));
    if (mod) l.push_back("kup " + std::to_string(mod));
    return l;
}

// A click holds the loop like a chord: nothing of ours runs between it and the keys after it.
Log Click(int x, int y, int delay) {
    return {"move " + std::to_string(x) + "," + std::to_string(y), "ldown", "lup",
            "hold " + std::to_string(delay)};
}

Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr int kChat = 768;
constexpr int kInputWin = 512;
constexpr int kOther = 900;  // another program's window

class OutgoingFlowTest : public ::testing::Test {
  public:  // the table-driven cases reach into the fixture
    OutgoingFlowTest() {
        state.InputAreaTarget = {kInputWin, 50, 60, 5, 6, 20, 10, 410, 320};
        state.SendButtonTarget = {kChat, 70, 80, 7, 8, 20, 10, 410, 320};
        fp.windows.windows[kChat] = {{10, 20, 410, 320}, false, false};
        fp.windows.windows[kInputWin] = {{20, 40, 400, 100}, false, false, kChat};
        fp.input.cursor = {5, 6};
        view.sendText = u"hello";
    }

    // Everything the flow logs before it touches the IM client.
    Log Preamble() const {
        return {"view mask 0", "view focus send", "wait 0", "clipboard clear", "clipboard settext"};
    }
    // The IM steps of a send that went out, then the typed text leaving txtSend.
    // A select-all whose Ctrl the system let go of comes first, alone, in brokenSelectAlls.
    Log ImSteps(const Log& send, bool minimised, const Log& sendBox = {"view clear send"},
                int brokenSelectAlls = 0) const {
        Log l = {"showcursor 1", "getcursor", "iconic 768"};
        if (minimised) l.push_back("show 768 1");
        l = l + Log{"topmost 768 on 10,20,400x300", "foreground 512"} + Click(50, 60, 1);
        for (int i = 0; i < brokenSelectAlls; ++i) l = l + Chord(vk::Letter('A'), vk::Control, 100);
        l = l + Chord(vk::Letter('A'), vk::Control, 100) + Chord(vk::Delete, 1, 100) +
            Chord(vk::Letter('V'), vk::Control, 1) + Log{"wait 300"} + send +
            Log{"topmost 768 off 10,20,400x300"};
        if (minimised) l.push_back("show 768 6");
        // The echo comes once the send is done, and gives txtSend the focus back.
        return l + Log{"move 5,6", "wait 1", "showcursor 0", "foreground 256", "view focus send"} +
               sendBox + Log{"view mask 1"};
    }
    // A send stopped by the window checks: the chat window's state comes back untouched and
    // nothing was clicked or pressed.
    Log Refused(bool minimised) const {
        Log l = {"showcursor 1", "getcursor", "iconic 768"};
        if (minimised) l.push_back("show 768 1");
        l = l +
            Log{"topmost 768 on 10,20,400x300", "foreground 512", "topmost 768 off 10,20,400x300"};
        if (minimised) l.push_back("show 768 6");
        return l + Log{"move 5,6",        "wait 1",   "showcursor 0", "foreground 256",
                       "view focus send", "view tip", "view mask 1"};
    }

    FakePlatform fp;
    RelayState state;
    testing::FakeView view{fp, state};
    fake::RecordingResultBox box;
    testing::FakeTranslate translate;
    mduSendBuffer buffer{fp.regex, translate};
    RelayScheduler scheduler{fp.loop};
    OutgoingFlow flow{
        fp.platform(), view, box, state, buffer, translate, translate::clsGoogleLanguages::Shared(),
        scheduler};
};

TEST_F(OutgoingFlowTest, SendStepsForEachWayOfSending) {
    struct Case {
        const char* what;
        int control, key, sendWin;
        bool minimised;
        Log send;
    };
    const Case cases[] = {
        {"shortcut wins over the send button", vk::Control, vk::Return, kChat, false,
         Chord(vk::Return, vk::Control, 100)},
        {"a key without modifier", 0, vk::Letter('Z'), kChat, false,
         Chord(vk::Letter('Z'), 0, 100)},
        {"no shortcut: click the send button", vk::Menu, 0, kChat, false, Click(70, 80, 10)},
        {"neither: pasted, not sent", 0, 0, 0, false, {}},
        {"minimised chat window is restored and minimised again", vk::Control, vk::Return, kChat,
         true, Chord(vk::Return, vk::Control, 100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        state.SendShortcutControl = c.control;
        state.SendShortcutKey = c.key;
        state.SendButtonTarget.WinHwnd = c.sendWin;
        fp.windows.windows[kChat].iconic = c.minimised;
        fp.input.cursor = {5, 6};
        view.sendText = u"hello";
        flow.Send();
        fp.loop.Run();
        Log expected = Preamble() + ImSteps(c.send, c.minimised);
        if (c.sendWin == 0) {
            // With no send-button window the chat window handle is 0 as well.
            for (auto& e : expected) {
                if (e.find(" 768") != std::string::npos) e.replace(e.find(" 768"), 4, " 0");
            }
        }
        EXPECT_EQ(fp.log.Entries(), expected);
        EXPECT_EQ(fp.input.cursor, (platform::Point{5, 6}));
        EXPECT_EQ(fp.windows.cursorCount, 0);
        EXPECT_EQ(fp.windows.windows[kChat].iconic, c.minimised);
        EXPECT_FALSE(fp.windows.windows[kChat].topmost);
        EXPECT_EQ(fp.windows.foreground, 256);
        EXPECT_EQ(fp.clipboard.text, u"[en]hello");
    }
}

TEST_F(OutgoingFlowTest, InjectedKeysWaitUntilTheUsersOwnAreUp) {
    struct Case {
        const char* what;
        int heldMs;  // how long the user keeps the send shortcut down
        bool sent;
    };
    const Case cases[] = {
        {"let go at once", 0, true},
        {"let go after a second", 1000, true},
        {"held past the bound", OutgoingFlow::kKeysUpBoundMs + 500, false},
    };
    state.SendShortcutControl = vk::Control;
    state.SendShortcutKey = vk::Return;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        view.tip.clear();
        view.sendText = u"hello";
        fp.input.userKeyDown = c.heldMs > 0;
        const std::int64_t releaseAt = fp.clock.NowMs() + c.heldMs;
        fp.loop.onYield = [&] {
            if (fp.clock.NowMs() >= releaseAt) fp.input.userKeyDown = false;
        };
        flow.Send();
        fp.loop.Run();
        const auto& log = fp.log.Entries();
        const bool clicked = std::find(log.begin(), log.end(), "ldown") != log.end();
        EXPECT_EQ(clicked, c.sent);
        EXPECT_EQ(view.tip == kSendKeysHeld, !c.sent);
        EXPECT_EQ(view.sendText.empty(), c.sent);  // an unsent text stays
    }
    fp.loop.onYield = nullptr;
}

TEST_F(OutgoingFlowTest, EchoRunsAndTranslationDirection) {
    // The echo's time is when the send ended, well within the second.
    fp.clock.SetMs(((14510LL * 86400) + 9 * 3600 + 5 * 60 + 7) * 1000);
    translate.fixed = u"你好";
    flow.Send();
    fp.loop.Run();
    const std::vector<BoxRun> expected = {
        {u"\r\n", kBlack, false, false},
        {u"我说 09:05:07\r\n", kBlack, true, false},
        {u"hello", kBlue, false, false},
        {u"(译文:你好)\r\n\r\n", kRed, false, true},
    };
    EXPECT_EQ(box.runs, expected);
    EXPECT_FALSE(box.italic());
    ASSERT_EQ(translate.calls.size(), 1u);
    EXPECT_EQ(translate.calls[0].source, "zh-CN");
    EXPECT_EQ(translate.calls[0].target, "en");
    EXPECT_EQ(buffer.SentTexts(), std::vector<std::u16string>{u"你好"});
    EXPECT_EQ(view.sendText, u"");
}

TEST_F(OutgoingFlowTest, ItalicLeftOnByIncomingOutputCarriesIntoTheEcho) {
    box.SetItalic(true);
    translate.fixed = u"";  // a failed translation is echoed all the same, as not sent
    view.sendText = u"  ";
    flow.Send();
    fp.loop.Run();
    const std::vector<BoxRun> expected = {
        {u"\r\n", kBlack, false, true},
        {u"我说 09:05:07\r\n", kBlack, true, true},
        {u"  ", kBlue, false, true},
        {u"(未发送：翻译失败：翻译不完整)\r\n\r\n", kRed, false, true},
    };
    EXPECT_EQ(box.runs, expected);
    EXPECT_FALSE(box.italic());
    EXPECT_EQ(fp.log.Entries().back(), "view mask 1");
}

TEST_F(OutgoingFlowTest, EmptyTextDoesNothing) {
    view.sendText.clear();
    flow.Send();
    fp.loop.Run();
    EXPECT_TRUE(fp.log.Entries().empty());
    EXPECT_TRUE(translate.calls.empty());
    EXPECT_TRUE(box.runs.empty());
}

TEST_F(OutgoingFlowTest, UnsetInputTargetTranslatesAndEchoesButTouchesNoWindow) {
    state.InputAreaTarget = {};
    flow.Send();
    fp.loop.Run();
    Log expected = Preamble() + Log{"view focus send", "view tip", "view mask 1"};
    EXPECT_EQ(fp.log.Entries(), expected);
    EXPECT_EQ(view.tip, kPickInputAreaFirst);
    EXPECT_EQ(view.sendText, u"hello");
    EXPECT_EQ(box.Text().substr(0, 5), u"\r\n我说 ");
    EXPECT_TRUE(box.Text().ends_with(u"(译文:[en]hello)\r\n(未发送：未设置输入框位置)\r\n\r\n"));
    EXPECT_EQ(translate.calls.size(), 1u);
}

TEST_F(OutgoingFlowTest, ClipboardFailureEndsFlowButShowsTheSendImage) {
    fp.clipboard.failWrites = true;
    flow.Send();
    fp.loop.Run();
    Log expected = Preamble();
    expected.pop_back();  // nothing is set after the failed clear
    expected = expected + Log{"view focus send", "view tip", "view mask 1"};
    EXPECT_EQ(fp.log.Entries(), expected);
    EXPECT_EQ(view.tip, kSendClipboardBusy);
    EXPECT_TRUE(box.Text().ends_with(u"(未发送：剪贴板被占用)\r\n\r\n"));
    EXPECT_TRUE(view.maskVisible);
    EXPECT_FALSE(state.SendRunning);
    EXPECT_EQ(view.sendText, u"hello");
}

TEST_F(OutgoingFlowTest, FailedTranslationIsEchoedButNotSent) {
    using translate::TranslationOutcome;
    translate::PieceReport failed{
        "", {{"alpha", {translate::engines::FailureKind::Transport, "timed out", std::nullopt}}}};
    struct Case {
        const char* what;
        std::optional<TranslationOutcome> outcome;  // none: TranslateText gives ""
        std::u16string tip;
    };
    const Case cases[] = {
        {"one of two pieces failed on every engine",
         TranslationOutcome{u"Half.", false, {{"alpha", {}}, failed}},
         u"翻译失败，未发送：翻译不完整（2 段中有 1 "
         u"段未译出）：alpha：无法连接（请检查地址和网络）"},
        {"nothing translated", std::nullopt, u"翻译失败，未发送：翻译不完整"},
        {"complete but empty", TranslationOutcome{u"", true, {}}, u"翻译失败，未发送"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        box.runs.clear();
        view.tip.clear();
        translate.fixed = u"";
        translate.outcome = c.outcome;
        fp.clipboard.text = u"theirs";
        view.sendText = u"hello";
        flow.Send();
        fp.loop.Run();
        // No clipboard write, no click, no key: the IM client's draft stays as it was.
        EXPECT_EQ(fp.log.Entries(),
                  (Log{"view mask 0", "view focus send", "view tip", "view mask 1"}));
        EXPECT_EQ(view.tip, c.tip);
        EXPECT_EQ(view.sendText, u"hello");
        EXPECT_EQ(fp.clipboard.text, u"theirs");
        // The echo says it was not sent and why; a part of a translation is not shown as one.
        const std::u16string why = c.tip.substr(std::u16string_view(u"翻译失败，未发送").size());
        EXPECT_TRUE(box.Text().ends_with(u"(未发送：翻译失败" + why + u")\r\n\r\n"))
            << testing::Narrow(box.Text());
        EXPECT_EQ(box.Text().find(u"译文:"), std::u16string::npos);
        EXPECT_TRUE(buffer.SentTexts().empty());
        EXPECT_FALSE(state.SendRunning);
    }
}

TEST_F(OutgoingFlowTest, OnlyTheSentTextLeavesTheSendBox) {
    struct Case {
        const char* what;
        std::u16string typedMeanwhile;  // txtSend when the translation returns
        std::u16string left;
        Log boxSteps;
    };
    const Case cases[] = {
        {"untouched", u"hello", u"", {"view clear send"}},
        {"typed on after it", u"hello there", u" there", {"view set send  there"}},
        {"edited elsewhere", u"hullo", u"hullo", {}},
        {"emptied", u"", u"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        view.sendText = u"hello";
        translate.onTranslate = [&] { view.sendText = c.typedMeanwhile; };
        flow.Send();
        fp.loop.Run();
        EXPECT_EQ(view.sendText, c.left);
        Log expected = c.boxSteps + Log{"view mask 1"};
        EXPECT_EQ(Log(fp.log.Entries().end() - expected.size(), fp.log.Entries().end()), expected);
        EXPECT_EQ(fp.clipboard.text, u"[en]hello");
    }
}

TEST_F(OutgoingFlowTest, SendAskedForDuringASendRunsOnceRightAfterIt) {
    int nested = 0;
    translate.onTranslate = [&] {
        if (nested++ == 0) {
            view.sendText = u"hello again";
            flow.Send();  // Ctrl+Enter while the first waits for its translation
            flow.Send();  // and once more: still one request
            EXPECT_EQ(view.tip, kSendQueued);
        }
    };
    flow.Send();
    fp.loop.Run();
    ASSERT_EQ(translate.calls.size(), 2u);
    EXPECT_EQ(translate.calls[0].text, u"hello");
    EXPECT_EQ(translate.calls[1].text, u" again");
    const Log first = Log{"view mask 0", "view tip",        "view focus send",
                          "wait 0",      "clipboard clear", "clipboard settext"} +
                      ImSteps(Click(70, 80, 10), false, {"view set send  again"});
    EXPECT_EQ(fp.log.Entries(), first + Preamble() + ImSteps(Click(70, 80, 10), false));
    EXPECT_EQ(view.sendText, u"");
    EXPECT_EQ(fp.clipboard.text, u"[en] again");
    EXPECT_FALSE(flow.SendPending());
}

TEST_F(OutgoingFlowTest, SendAskedForDuringACaptureWaitsForItsEnd) {
    const Log tipOnly{"view tip"};
    scheduler.Submit(RelayJob::Capture, [this, &tipOnly] {
        return [](OutgoingFlowTest& t, const Log& tip) -> platform::Task<> {
            t.view.sendText = u"later";
            t.flow.Send();
            t.flow.Send();
            EXPECT_EQ(t.fp.log.Entries(), tip);
            EXPECT_EQ(t.view.tip, kSendQueued);
            EXPECT_TRUE(t.flow.SendPending());
            co_await platform::Delay(t.fp.loop, 100);  // the capture waits on the loop
            EXPECT_TRUE(t.translate.calls.empty());
            // The user typed on before the capture ended: the send takes what is there then.
            t.fp.log.Clear();
            t.view.sendText = u"later, more";
        }(*this, tipOnly);
    });
    fp.loop.Run();
    EXPECT_FALSE(flow.SendPending());
    EXPECT_EQ(fp.log.Entries(), Preamble() + ImSteps(Click(70, 80, 10), false));
    ASSERT_EQ(translate.calls.size(), 1u) << "queued once";
    EXPECT_EQ(translate.calls[0].text, u"later, more");
}

TEST_F(OutgoingFlowTest, NothingGoesToAWindowThatIsGoneCoveredOrNotActivated) {
    struct Case {
        const char* what;
        std::function<void(OutgoingFlowTest&)> set;
        bool checkedBeforeTouching;  // found out before any window call
        bool minimised;
    };
    const Case cases[] = {
        {"input window closed", [](auto& t) { t.fp.windows.windows.erase(kInputWin); }, true,
         false},
        {"send button window closed", [](auto& t) { t.state.SendButtonTarget.WinHwnd = 999; }, true,
         false},
        {"another window over the input point",
         [](auto& t) {
             t.fp.windows.windows[kOther] = {{40, 50, 60, 70}};
         },
         false, false},
        {"another window over the send button",
         [](auto& t) {
             t.fp.windows.windows[kOther] = {{65, 75, 75, 85}};
         },
         false, false},
        {"activation refused", [](auto& t) { t.fp.windows.windows[kInputWin].refusesFocus = true; },
         false, false},
        {"activation refused, minimised window minimised again",
         [](auto& t) { t.fp.windows.windows[kInputWin].refusesFocus = true; }, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OutgoingFlowTest& t = *this;
        t.fp.windows.windows[kChat] = {{10, 20, 410, 320}, c.minimised, false};
        t.fp.windows.windows[kInputWin] = {{20, 40, 400, 100}, false, false, kChat};
        t.fp.windows.windows.erase(kOther);
        t.state.SendButtonTarget.WinHwnd = kChat;
        t.fp.log.Clear();
        t.fp.input.cursor = {5, 6};
        t.view.sendText = u"hello";
        c.set(t);
        flow.Send();
        fp.loop.Run();
        Log expected = Preamble() + (c.checkedBeforeTouching
                                         ? Log{"view focus send", "view tip", "view mask 1"}
                                         : Refused(c.minimised));
        // The placement checks poll the loop while the window manager may still be at work.
        Log entries = fp.log.Entries();
        std::erase(entries, "wait " + std::to_string(platform::IEventLoop::kPollMs));
        EXPECT_EQ(entries, expected);
        EXPECT_EQ(view.tip, kTargetLost);
        EXPECT_EQ(view.sendText, u"hello");
        EXPECT_TRUE(buffer.SentTexts().empty());
        EXPECT_EQ(fp.windows.windows[kChat].iconic, c.minimised);
        EXPECT_FALSE(fp.windows.windows[kChat].topmost);
        EXPECT_EQ(fp.windows.cursorCount, 0);
    }
}

TEST_F(OutgoingFlowTest, ACoveredSendButtonDoesNotMatterWhenAShortcutSends) {
    fp.windows.windows[900] = {{65, 75, 75, 85}};
    state.SendShortcutControl = vk::Control;
    state.SendShortcutKey = vk::Return;
    flow.Send();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), Preamble() + ImSteps(Chord(vk::Return, vk::Control, 100), false));
    EXPECT_EQ(view.sendText, u"");
}

TEST_F(OutgoingFlowTest, ASelectAllWhoseCtrlWasLetGoIsPressedAgainBeforeThePaste) {
    // Otherwise the bare A lands in the chat's input box in front of the translation.
    state.SendShortcutControl = vk::Control;
    state.SendShortcutKey = vk::Return;
    int letGo = 0;
    fp.loop.onHold = [&] {
        if (letGo == 0 && fp.input.down.count(vk::Letter('A'))) {
            fp.input.down.erase(vk::Control);
            ++letGo;
        }
    };
    flow.Send();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), Preamble() + ImSteps(Chord(vk::Return, vk::Control, 100), false,
                                                     {"view clear send"}, 1));
    EXPECT_EQ(letGo, 1);
}

TEST_F(OutgoingFlowTest, AKeyRunThatNeverWentThroughWholeFailsTheSend) {
    // The system lets go of Ctrl under the named key every time: what reached the chat's box
    // is not the translation alone, so nothing may be sent and the echo must not say it was.
    struct Case {
        const char* what;
        std::uint8_t droppedUnder;
        bool sendKeyPressed;
    };
    const Case cases[] = {
        {"under every select-all", vk::Letter('A'), false},
        {"under the send shortcut", vk::Return, true},
    };
    state.SendShortcutControl = vk::Control;
    state.SendShortcutKey = vk::Return;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        box.runs.clear();
        view.tip.clear();
        view.sendText = u"hello";
        fp.loop.onHold = [&] {
            if (fp.input.down.count(c.droppedUnder)) fp.input.down.erase(vk::Control);
        };
        flow.Send();
        fp.loop.Run();
        const auto& log = fp.log.Entries();
        const bool pressed =
            std::find(log.begin(), log.end(), "kdown " + std::to_string(vk::Return)) != log.end();
        EXPECT_EQ(pressed, c.sendKeyPressed);
        EXPECT_EQ(view.tip, kSendKeysBroken);
        EXPECT_EQ(view.sendText, u"hello");
        EXPECT_TRUE(buffer.SentTexts().empty());
        EXPECT_TRUE(box.Text().ends_with(u"(未发送：按键未能完整送达)\r\n\r\n"))
            << testing::Narrow(box.Text());
        EXPECT_FALSE(fp.windows.windows[kChat].topmost);
        EXPECT_EQ(fp.windows.foreground, 256);
    }
}

TEST_F(OutgoingFlowTest, TheSendWaitsForTheChatWindowToTakeThePaste) {
    // A chat window on a loaded desktop asks for the paste late: clicked before, it sends an
    // empty box and the translation lands there afterwards, unsent.
    struct Case {
        const char* what;
        int readAfterMs;  // after the paste key; < 0: never
        bool sent;
    };
    const Case cases[] = {
        {"read at once", 0, true},
        {"read after two seconds", 2000, true},
        {"never read", -1, false},
    };
    state.SendShortcutControl = vk::Menu;
    state.SendShortcutKey = 0;  // the send button is clicked
    fp.clipboard.seesReads = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        box.runs.clear();
        view.tip.clear();
        view.sendText = u"hello";
        const std::size_t sentBefore = buffer.SentTexts().size();
        std::int64_t pastedAt = -1;
        fp.loop.onHold = [&] {
            if (pastedAt < 0 && fp.input.down.count(vk::Letter('V'))) pastedAt = fp.clock.NowMs();
        };
        fp.loop.onYield = [&] {
            if (pastedAt >= 0 && c.readAfterMs >= 0 && fp.clock.NowMs() >= pastedAt + c.readAfterMs)
                fp.clipboard.reads = 1;
        };
        flow.Send();
        fp.loop.Run();
        const auto& log = fp.log.Entries();
        const bool sendClicked = std::find(log.begin(), log.end(), "move 70,80") != log.end();
        EXPECT_EQ(sendClicked, c.sent);
        EXPECT_EQ(view.tip, c.sent ? u"" : kSendPasteNotTaken);
        EXPECT_EQ(view.sendText.empty(), c.sent);  // an unsent text stays
        EXPECT_EQ(buffer.SentTexts().size(), sentBefore + (c.sent ? 1 : 0));
        EXPECT_FALSE(fp.windows.windows[kChat].topmost);
    }
    fp.loop.onHold = nullptr;
    fp.loop.onYield = nullptr;
}

TEST_F(OutgoingFlowTest, NoEngineForThePairSaysWhatToDoAndOffersTheEnginesOnce) {
    translate.outcome = translate::TranslationOutcome{u"", false, {{"", {}}}};
    for (int run = 0; run < 2; ++run) {
        fp.log.Clear();
        view.sendText = u"你好";
        flow.Send();
        fp.loop.Run();
        EXPECT_EQ(view.tip, NoEngineTip(u"中文(简体)", u"英语"));
        EXPECT_EQ(view.sendText, u"你好");
        EXPECT_EQ(fp.log.Entries(),
                  (Log{"view mask 0", "view focus send", "view tip", "view mask 1"}));
        EXPECT_EQ(view.enginesOffered, 1);
    }
    EXPECT_NE(view.tip.find(u"设置 → 翻译引擎"), std::u16string::npos);
    EXPECT_EQ(view.tip.find(u"http"), std::u16string::npos);
    EXPECT_TRUE(box.Text().ends_with(u"(未发送：没有可用的翻译引擎)\r\n\r\n"));
}

TEST_F(OutgoingFlowTest, TheSameLanguageGoesOutAsTypedAndTheEchoSaysSo) {
    translate::TranslationOutcome same{u"早上好", true, {}};
    same.sameLanguage = true;
    translate.outcome = same;
    view.sendText = u"早上好";
    flow.Send();
    fp.loop.Run();
    EXPECT_EQ(fp.clipboard.text, u"早上好");
    EXPECT_EQ(view.sendText, u"");
    EXPECT_TRUE(box.Text().ends_with(u"早上好(两边语言相同，原文发送，未经翻译)\r\n\r\n"))
        << testing::Narrow(box.Text());
    EXPECT_EQ(view.enginesOffered, 0);
}

TEST_F(OutgoingFlowTest, EscDuringTheTranslationSendsNothingAndKeepsTheText) {
    EXPECT_FALSE(flow.Cancel()) << "nothing to cancel before a send";
    fp.clipboard.text = u"theirs";
    translate.onTranslate = [&] {
        EXPECT_TRUE(view.translating) << "the progress runs while the engines work";
        EXPECT_TRUE(flow.Cancel());
    };
    flow.Send();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), (Log{"view mask 0", "view tip", "view mask 1"}));
    EXPECT_FALSE(view.translating);
    EXPECT_EQ(view.translatingChanges, 2);
    EXPECT_EQ(view.tip, kSendCancelled);
    EXPECT_EQ(view.sendText, u"hello");
    EXPECT_EQ(fp.clipboard.text, u"theirs");
    EXPECT_TRUE(box.runs.empty());
    EXPECT_FALSE(fp.loop.CancelRequested());
    EXPECT_FALSE(flow.Cancel()) << "nor after it";
    // The next send is not cancelled by the old request.
    translate.onTranslate = nullptr;
    flow.Send();
    fp.loop.Run();
    EXPECT_EQ(view.sendText, u"");
}

TEST(TranslatingTipTest, CountsWholeSeconds) {
    EXPECT_EQ(TranslatingTip(500), u"正在翻译… 0 秒（按 Esc 取消）");
    EXPECT_EQ(TranslatingTip(2999), u"正在翻译… 2 秒（按 Esc 取消）");
    EXPECT_EQ(TranslatingTip(-5), u"正在翻译… 0 秒（按 Esc 取消）");
}

TEST_F(OutgoingFlowTest, TheEchoIsWrittenOnceTheSendIsDone) {
    state.SendShortcutControl = vk::Control;
    state.SendShortcutKey = vk::Return;
    box.onFocus = [&] { fp.log.Add("echo"); };
    flow.Send();
    fp.loop.Run();
    const auto& log = fp.log.Entries();
    const auto echo = std::find(log.begin(), log.end(), "echo");
    const auto sendKeyUp = std::find(log.begin(), log.end(), "kup " + std::to_string(vk::Return));
    ASSERT_NE(echo, log.end());
    ASSERT_NE(sendKeyUp, log.end());
    EXPECT_LT(sendKeyUp, echo);
    EXPECT_TRUE(box.Text().ends_with(u"(译文:[en]hello)\r\n\r\n"));
}

}  // namespace
}  // namespace velmora::relay

namespace velmora::relay {
namespace {

TEST_F(OutgoingFlowTest, ThroughTheChatProgramsTreeNoKeyNoClickNoClipboard) {
    struct Case {
        const char* what;
        int key;        // the send shortcut, 0: the send button
        int actionOn;   // which window's control has a send action, 0: none
        bool empties;   // whether the chat program empties its box when it sends
        bool keysUsed;  // whether the flow fell back to keys and clipboard
        std::u16string sendBoxAfter;
        std::u16string_view tip;
    };
    const Case cases[] = {
        {"the send button's action", 0, kChat, true, false, u"", u""},
        {"a send key: the input box's own action", vk::Return, kInputWin, true, false, u"", u""},
        {"no send action: keys as always", 0, 0, true, true, u"", u""},
        {"the box never empties: not confirmed, text kept", 0, kChat, false, false, u"hello",
         kSendNotConfirmed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        fp.clipboard.text = u"the user's own clipboard";
        fp.accessibility.input = {{kInputWin, u"an old draft"}};
        fp.accessibility.sendAction.clear();
        if (c.actionOn) fp.accessibility.sendAction.insert(c.actionOn);
        fp.accessibility.onSend = [&](platform::WinHandle) {
            if (c.empties) fp.accessibility.input[kInputWin].clear();
        };
        state.SendShortcutKey = c.key;
        state.SendShortcutControl = 0;
        view.sendText = u"hello";
        view.tip.clear();
        const std::int64_t start = fp.clock.NowMs();
        flow.Send();
        fp.loop.Run();

        bool keys = false;
        for (const auto& e : fp.log.Entries())
            if (e.starts_with("kdown") || e == "ldown" || e.starts_with("clipboard")) keys = true;
        EXPECT_EQ(keys, c.keysUsed);
        EXPECT_EQ(view.sendText, c.sendBoxAfter);
        EXPECT_EQ(view.tip, c.tip);
        if (!c.keysUsed) {
            EXPECT_EQ(fp.clipboard.text, u"the user's own clipboard");
            // What the box held before was replaced, never added to.
            if (!c.empties) {
                EXPECT_EQ(fp.accessibility.input[kInputWin], u"[en]hello");
            }
        }
        EXPECT_LE(fp.clock.NowMs() - start, 2500);
    }
}

TEST_F(OutgoingFlowTest, WithNeitherASendButtonNorASendKeyNothingIsActivated) {
    // The translation is only to wait in the chat input box: no action may send it.
    fp.accessibility.input = {{kInputWin, u""}};
    fp.accessibility.sendAction = {kInputWin, kChat};
    state.SendShortcutKey = 0;
    state.SendButtonTarget.WinHwnd = 0;
    view.sendText = u"hello";
    flow.Send();
    fp.loop.Run();
    for (const auto& e : fp.log.Entries()) EXPECT_FALSE(e.starts_with("a11y send")) << e;
}

TEST_F(OutgoingFlowTest, ASendGivesTheLoopBackWhileItTranslatesAndEndsFromThere) {
    view.sendText = u"hello";
    flow.Send();
    // Back in the loop with the send under way: the loop's other handlers run beside it.
    EXPECT_TRUE(scheduler.Busy());
    EXPECT_TRUE(view.translating);
    EXPECT_FALSE(view.maskVisible);
    EXPECT_TRUE(translate.calls.empty());  // the translation runs aside, not on this stack
    bool handlerSawTheSendRunning = false;
    fp.loop.Post([&] { handlerSawTheSendRunning = scheduler.Busy(); });
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_TRUE(handlerSawTheSendRunning);
    EXPECT_FALSE(scheduler.Busy());
    EXPECT_FALSE(view.translating);
    EXPECT_EQ(fp.clipboard.text, u"[en]hello");
    EXPECT_EQ(view.sendText, u"");
}

}  // namespace
}  // namespace velmora::relay
