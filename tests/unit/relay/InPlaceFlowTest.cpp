#include "relay/InPlaceFlow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "RelayTestSupport.h"
#include "platform/VirtualKey.h"

namespace velmora::relay {
namespace {

using platform::fake::FakePlatform;
using BoxRun = fake::RecordingResultBox::Run;
using Log = std::vector<std::string>;
namespace vk = platform::vk;

constexpr int kChat = 768;   // the window the user typed in
constexpr int kOther = 900;  // another program's window

Log Chord(int key, int mod, int delay) {
    Log l;
    if (mod) l.push_back("kdown " + std::to_string(mod));
    l.push_back("kdown " + std::to_string(key));
    l.push_back("hold " + std::to_string(delay));
    l.push_back("kup " + std::to_string(key));
    if (mod) l.push_back("kup " + std::to_string(mod));
    return l;
}

Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Log Polls(int n) {
    return Log(static_cast<std::size_t>(n), "wait " + std::to_string(InPlaceFlow::kPollStepMs));
}

const Log kCopy = Log{"clipboard clear"} + Chord(vk::Letter('A'), vk::Control, 50) +
                  Chord(vk::Letter('C'), vk::Control, 50);
const Log kPaste = Log{"clipboard settext"} + Chord(vk::Letter('A'), vk::Control, 50) +
                   Chord(vk::Letter('V'), vk::Control, 50) + Log{"wait 300"};
const Log kGiveBack = {"clipboard restore"};

class InPlaceFlowTest : public ::testing::Test {
  protected:
    InPlaceFlowTest() {
        fp.windows.windows[kChat] = {{10, 20, 410, 320}};
        fp.windows.windows[kOther] = {{500, 20, 900, 320}};
        fp.windows.foreground = kChat;
        fp.clipboard.text = u"old clip";
        // The focused chat window's input box: keys reach it only while it has the focus.
        fp.loop.onHold = [this] {
            auto& down = fp.input.down;
            if (fp.windows.foreground != kChat || !down.contains(vk::Control)) return;
            if (down.contains(vk::Letter('A'))) selectedAll = true;
            if (down.contains(vk::Letter('C')) && selectedAll && !field.empty())
                fp.clipboard.text = field;
            if (down.contains(vk::Letter('V')) && !pasted) {
                field = selectedAll ? fp.clipboard.text : field + fp.clipboard.text;
                pasted = true;
            }
            if (!down.contains(vk::Letter('V'))) pasted = false;
        };
    }

    void ExpectUnchangedAndTold(std::u16string_view tip) {
        EXPECT_EQ(field, u"你好 world");
        EXPECT_EQ(fp.clipboard.text, u"old clip");
        EXPECT_TRUE(view.tip.starts_with(tip)) << Narrow(view.tip);
        EXPECT_TRUE(box.runs.empty());
        EXPECT_TRUE(buffer.SentTexts().empty());
    }
    static std::string Narrow(const std::u16string& s) { return testing::Narrow(s); }

    FakePlatform fp;
    RelayState state;
    testing::FakeView view{fp, state};
    fake::RecordingResultBox box;
    testing::FakeTranslate translate;
    mduSendBuffer buffer{fp.regex, translate};
    RelayScheduler scheduler{fp.loop};
    InPlaceFlow flow{
        fp.platform(), view, box, state, buffer, translate, translate::clsGoogleLanguages::Shared(),
        scheduler};
    std::u16string field = u"你好 world";
    bool selectedAll = false;
    bool pasted = false;
};

TEST_F(InPlaceFlowTest, ReplacesTheTypedTextByItsTranslationAndGivesTheClipboardBack) {
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), kCopy + kPaste + kGiveBack);
    EXPECT_EQ(field, u"[en]你好 world");
    EXPECT_EQ(fp.clipboard.text, u"old clip");
    ASSERT_EQ(translate.calls.size(), 1u);
    EXPECT_EQ(translate.calls[0].source, "zh-CN");
    EXPECT_EQ(translate.calls[0].target, "en");
    const std::vector<BoxRun> echo = {
        {u"\r\n我说 09:05:07\r\n", kBlack, true, false},
        {u"你好 world", kBlue, false, false},
        {u"(译文:[en]你好 world)\r\n\r\n", kRed, false, true},
    };
    EXPECT_EQ(box.runs, echo);
    EXPECT_EQ(buffer.SentTexts(), std::vector<std::u16string>{u"[en]你好 world"});
    EXPECT_TRUE(view.tip.empty());
    EXPECT_FALSE(state.SendRunning || state.InPlaceRunning);
    EXPECT_TRUE(fp.input.down.empty());
}

TEST_F(InPlaceFlowTest, APasteWhoseCtrlWasLetGoIsDoneAgain) {
    // The system lets go of Ctrl under the paste: the bare V replaces the selected text.
    auto typing = fp.loop.onHold;
    bool letGo = false;
    fp.loop.onHold = [&, typing] {
        if (!letGo && fp.input.down.contains(vk::Letter('V'))) {
            fp.input.down.erase(vk::Control);
            letGo = true;
            field = selectedAll ? u"v" : field + u"v";
        }
        typing();
    };
    flow.OnShortcut();
    fp.loop.Run();
    const Log paste =
        Chord(vk::Letter('A'), vk::Control, 50) + Chord(vk::Letter('V'), vk::Control, 50);
    EXPECT_EQ(fp.log.Entries(),
              kCopy + Log{"clipboard settext"} + paste + paste + Log{"wait 300"} + kGiveBack);
    EXPECT_TRUE(letGo);
    EXPECT_EQ(field, u"[en]你好 world");
    EXPECT_EQ(fp.clipboard.text, u"old clip");
}

TEST_F(InPlaceFlowTest, AnEmptyClipboardBeforeIsEmptiedAgainAfter) {
    fp.clipboard.text.clear();
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), kCopy + kPaste + kGiveBack);
    EXPECT_EQ(fp.clipboard.text, u"");
    EXPECT_EQ(field, u"[en]你好 world");
}

TEST_F(InPlaceFlowTest, TheOldClipboardGoesBackOnlyOnceTheTargetTookThePaste) {
    // The chat program asks for the clipboard's text readAfterMs after Ctrl+V (never: -1).
    struct Case {
        const char* what;
        int readAfterMs;
        bool replaced;
    };
    const Case cases[] = {
        {"reads at once", 0, true},
        {"reads late, after the old settle time", 1000, true},
        {"never reads", -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.log.Clear();
        view.tip.clear();
        box.runs.clear();
        field = u"你好 world";
        fp.clipboard.text = u"old clip";
        fp.clipboard.seesReads = true;
        selectedAll = false;
        flow.SetSendAfterPaste(true);
        state.SendShortcutKey = vk::Return;
        std::int64_t pressedAt = -1;
        const std::size_t sentBefore = buffer.SentTexts().size();
        fp.loop.onHold = [&] {
            if (fp.input.down.contains(vk::Letter('A'))) selectedAll = true;
            if (fp.input.down.contains(vk::Letter('C'))) fp.clipboard.text = field;
            if (fp.input.down.contains(vk::Letter('V'))) pressedAt = fp.clock.NowMs();
        };
        fp.loop.onYield = [&] {
            if (pressedAt < 0 || c.readAfterMs < 0 || fp.clock.NowMs() - pressedAt < c.readAfterMs)
                return;
            field = fp.clipboard.text;
            ++fp.clipboard.reads;
            pressedAt = -1;
        };
        flow.OnShortcut();
        fp.loop.Run();
        EXPECT_EQ(field, c.replaced ? u"[en]你好 world" : u"你好 world");
        EXPECT_EQ(fp.clipboard.text, u"old clip");
        const auto& log = fp.log.Entries();
        const bool sendPressed =
            std::find(log.begin(), log.end(), "kdown " + std::to_string(vk::Return)) != log.end();
        EXPECT_EQ(sendPressed, c.replaced);
        EXPECT_EQ(view.tip == kInPlacePasteNotTaken, !c.replaced);
        EXPECT_EQ(buffer.SentTexts().size() - sentBefore, c.replaced ? 1u : 0u);
    }
}

TEST_F(InPlaceFlowTest, EveryFormatOnTheClipboardComesBack) {
    // An image the user copied, and no text: giving back "the text" would empty it.
    fp.clipboard.text.clear();
    fp.clipboard.other = {{"image/png", std::string("\x89PNG\r\n\x1a\n", 8)}, {"x-app/y", "z"}};
    const auto before = fp.clipboard.other;
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(field, u"[en]你好 world");
    EXPECT_EQ(fp.clipboard.other, before);
    EXPECT_EQ(fp.clipboard.text, u"");
}

TEST_F(InPlaceFlowTest, WaitsForTheShortcutsKeysToBeReleasedFirst) {
    fp.input.userKeyDown = true;
    const std::int64_t start = fp.clock.NowMs();
    fp.loop.onYield = [&] {
        if (fp.clock.NowMs() - start >= 100) fp.input.userKeyDown = false;
    };
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), Polls(5) + kCopy + kPaste + kGiveBack);
    EXPECT_EQ(field, u"[en]你好 world");
}

TEST_F(InPlaceFlowTest, KeysHeldPastTheBoundPressNothing) {
    fp.input.userKeyDown = true;
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(),
              Polls(InPlaceFlow::kReleaseBoundMs / InPlaceFlow::kPollStepMs) + Log{"view tip"});
    ExpectUnchangedAndTold(kInPlaceKeysHeld);
}

TEST_F(InPlaceFlowTest, NothingCopiedLeavesEverythingAsItWas) {
    field.clear();
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), kCopy +
                                    Polls(InPlaceFlow::kCopyBoundMs / InPlaceFlow::kPollStepMs) +
                                    kGiveBack + Log{"view tip"});
    EXPECT_EQ(fp.clipboard.text, u"old clip");
    EXPECT_EQ(view.tip, kInPlaceNothingCopied);
    EXPECT_TRUE(translate.calls.empty());
    EXPECT_TRUE(box.runs.empty());
}

TEST_F(InPlaceFlowTest, IncompleteTranslationLeavesTheTextAsTyped) {
    translate.outcome = translate::TranslationOutcome{u"[en]你好", false, {}};
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), kCopy + kGiveBack + Log{"view tip"});
    ExpectUnchangedAndTold(kInPlaceTranslationFailed);
}

TEST_F(InPlaceFlowTest, FocusMovedDuringTheTranslationTouchesNeitherWindow) {
    translate.onTranslate = [&] { fp.windows.foreground = kOther; };
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), kCopy + Log{"clipboard settext"} + kGiveBack + Log{"view tip"});
    ExpectUnchangedAndTold(kInPlaceFocusMoved);
}

TEST_F(InPlaceFlowTest, WithNoWindowKnownToHaveTheFocusNoKeyIsPressed) {
    fp.windows.foreground = 0;  // none, or a desktop that does not say
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), Log{"view tip"});
    ExpectUnchangedAndTold(kInPlaceFocusUnknown);
    EXPECT_TRUE(translate.calls.empty());
}

TEST_F(InPlaceFlowTest, InOneOfOurOwnWindowsNothingIsCopiedOrReplaced) {
    fp.windows.windows[kChat].own = true;  // the focus is in our result box, say
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), Log{"view tip"});
    ExpectUnchangedAndTold(kInPlaceOwnWindow);
    EXPECT_TRUE(translate.calls.empty());
}

TEST_F(InPlaceFlowTest, SendAfterPastePressesTheSendShortcutOnlyWhenOneIsSet) {
    struct Case {
        bool send;
        int key;
        int control;
        Log sendKeys;
    } cases[] = {
        {true, vk::Return, vk::Control, Chord(vk::Return, vk::Control, 100)},
        {true, vk::Return, 0, Chord(vk::Return, 0, 100)},
        {true, 0, 0, {}},
        {false, vk::Return, 0, {}},
    };
    for (const Case& c : cases) {
        fp.log.Clear();
        field = u"hi";
        flow.SetSendAfterPaste(c.send);
        state.SendShortcutKey = c.key;
        state.SendShortcutControl = c.control;
        flow.OnShortcut();
        fp.loop.Run();
        EXPECT_EQ(fp.log.Entries(), kCopy + kPaste + c.sendKeys + kGiveBack)
            << c.send << " " << c.key;
    }
}

TEST_F(InPlaceFlowTest, PressesDuringABusyFlowRunOnceAfterIt) {
    scheduler.Submit(RelayJob::Send, [this] {
        return [](InPlaceFlow& f, FakePlatform& p) -> platform::Task<> {
            f.OnShortcut();
            co_await platform::Delay(p.loop, 100);  // the send waits on the loop
            f.OnShortcut();
            EXPECT_EQ(p.log.Entries().size(), 1u) << "only the send's wait";
            EXPECT_TRUE(f.Pending());
            p.log.Clear();
        }(flow, fp);
    });
    fp.loop.Run();
    EXPECT_FALSE(flow.Pending());
    EXPECT_EQ(fp.log.Entries(), kCopy + kPaste + kGiveBack);
    EXPECT_EQ(translate.calls.size(), 1u);
}

TEST_F(InPlaceFlowTest, APressDuringARunStartsTheNextRunOnlyAfterIt) {
    translate.onTranslate = [&] {
        EXPECT_TRUE(state.SendRunning);
        if (translate.calls.size() == 1) flow.OnShortcut();
    };
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(fp.log.Entries(), kCopy + kPaste + kGiveBack + kCopy + kPaste + kGiveBack);
    EXPECT_EQ(translate.calls.size(), 2u);
    EXPECT_EQ(field, u"[en][en]你好 world");
}

// The focused input box is in the accessibility tree: read and written there.
class InPlaceTreeTest : public InPlaceFlowTest {
  protected:
    InPlaceTreeTest() {
        fp.accessibility.focusedInput[kChat] = {100, 250};
        fp.accessibility.input[kChat] = u"你好 world";
    }
    std::u16string& treeField() { return fp.accessibility.input[kChat]; }
    bool KeysOrClipboardUsed() {
        for (const auto& e : fp.log.Entries())
            if (e.starts_with("kdown") || e.starts_with("clipboard")) return true;
        return false;
    }
};

TEST_F(InPlaceTreeTest, TheTextIsReplacedInTheTreeWithoutKeysOrClipboard) {
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_EQ(treeField(), u"[en]你好 world");
    EXPECT_FALSE(KeysOrClipboardUsed());
    EXPECT_EQ(fp.clipboard.text, u"old clip");
    EXPECT_EQ(buffer.SentTexts(), std::vector<std::u16string>{u"[en]你好 world"});
    EXPECT_FALSE(box.runs.empty());
    EXPECT_TRUE(view.tip.empty()) << Narrow(view.tip);
}

TEST_F(InPlaceTreeTest, WhatChangedDuringTheTranslationIsLeftAsItIsAndTold) {
    struct Case {
        const char* what;
        std::function<void()> meanwhile;
        std::u16string_view tip;
        std::u16string after;
    };
    const Case cases[] = {
        {"the user typed on", [this] { treeField() += u"!"; }, kInPlaceNotWritten, u"你好 world!"},
        {"the user went to another window", [this] { fp.windows.foreground = kOther; },
         kInPlaceFocusMoved, u"你好 world"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        treeField() = u"你好 world";
        fp.windows.foreground = kChat;
        view.tip.clear();
        translate.onTranslate = c.meanwhile;
        flow.OnShortcut();
        fp.loop.Run();
        EXPECT_EQ(treeField(), c.after);
        EXPECT_TRUE(view.tip.starts_with(c.tip)) << Narrow(view.tip);
        EXPECT_TRUE(buffer.SentTexts().empty());
        EXPECT_FALSE(KeysOrClipboardUsed());
    }
}

TEST_F(InPlaceTreeTest, ASendCountsOnlyWhenTheInputBoxWasEmptied) {
    struct Case {
        const char* what;
        bool action;      // the input box has an action that sends
        bool empties;     // the program takes the text out when it sends
        bool keyPressed;  // the send shortcut was pressed instead
        bool told;        // the tip says the send is not confirmed
    };
    const Case cases[] = {
        {"action, program sends", true, true, false, false},
        {"action, program keeps the text", true, false, false, true},
        {"no action: the send shortcut, program sends", false, true, true, false},
        {"no action: the send shortcut, nothing happens", false, false, true, true},
    };
    state.SendShortcutKey = vk::Return;
    flow.SetSendAfterPaste(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        treeField() = u"你好 world";
        view.tip.clear();
        fp.log.Clear();
        fp.accessibility.sendAction.clear();
        if (c.action) fp.accessibility.sendAction.insert(kChat);
        fp.accessibility.onSend = [&](platform::WinHandle) {
            if (c.empties) treeField().clear();
        };
        fp.loop.onHold = [&] {
            if (c.empties && fp.input.down.contains(vk::Return)) treeField().clear();
        };
        flow.OnShortcut();
        fp.loop.Run();
        const auto& log = fp.log.Entries();
        const bool pressed =
            std::find(log.begin(), log.end(), "kdown " + std::to_string(vk::Return)) != log.end();
        EXPECT_EQ(pressed, c.keyPressed);
        EXPECT_EQ(view.tip.starts_with(kInPlaceSendNotConfirmed), c.told) << Narrow(view.tip);
    }
}

// The desktop names no focused window (GNOME on Wayland): only the tree's focused input box is
// written, and no key is pressed but a send.
class InPlaceDesktopFieldTest : public InPlaceTreeTest {
  protected:
    InPlaceDesktopFieldTest() {
        fp.windows.foreground = 0;
        fp.accessibility.desktopField = platform::fake::FakeAccessibility::DesktopField{};
        desktopField().text = u"你好 world";
    }
    platform::fake::FakeAccessibility::DesktopField& desktopField() {
        return *fp.accessibility.desktopField;
    }
};

TEST_F(InPlaceDesktopFieldTest, TheFocusedFieldIsReplacedAndSentThroughTheTree) {
    desktopField().sends = true;
    fp.accessibility.onSend = [&](platform::WinHandle) { desktopField().text.clear(); };
    flow.SetSendAfterPaste(true);
    flow.OnShortcut();
    fp.loop.Run();
    EXPECT_TRUE(view.tip.empty()) << Narrow(view.tip);
    EXPECT_EQ(fp.log.Entries(), (Log{"a11y set desktop field", "a11y send desktop field"}));
    EXPECT_EQ(buffer.SentTexts(), std::vector<std::u16string>{u"[en]你好 world"});
    EXPECT_FALSE(box.runs.empty());
    EXPECT_EQ(fp.clipboard.text, u"old clip");
}

TEST_F(InPlaceDesktopFieldTest, WhereTheFieldCannotBeTrustedNothingIsWrittenAndTheTipSaysWhy) {
    struct Case {
        const char* what;
        std::function<void()> before;
        std::function<void()> meanwhile;
        std::u16string_view tip;
        std::u16string after;
    };
    const Case cases[] = {
        {"no program claims the focus",
         [this] { fp.accessibility.desktopField.reset(); },
         {},
         kInPlaceFocusUnknown,
         u""},
        {"the field is empty",
         [this] { desktopField().text.clear(); },
         {},
         kInPlaceNothingCopied,
         u""},
        {"the user went to another window",
         {},
         [this] { desktopField().focused = false; },
         kInPlaceFocusMoved,
         u"你好 world"},
        {"the user typed on",
         {},
         [this] { desktopField().text += u"!"; },
         kInPlaceNotWritten,
         u"你好 world!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fp.accessibility.desktopField = platform::fake::FakeAccessibility::DesktopField{};
        desktopField().text = u"你好 world";
        if (c.before) c.before();
        view.tip.clear();
        fp.log.Clear();
        translate.onTranslate = c.meanwhile;
        flow.OnShortcut();
        fp.loop.Run();
        const auto& f = fp.accessibility.desktopField;
        EXPECT_EQ(f ? f->text : u"", c.after);
        EXPECT_TRUE(view.tip.starts_with(c.tip)) << Narrow(view.tip);
        EXPECT_TRUE(buffer.SentTexts().empty());
        EXPECT_FALSE(KeysOrClipboardUsed());
    }
}

}  // namespace
}  // namespace velmora::relay
