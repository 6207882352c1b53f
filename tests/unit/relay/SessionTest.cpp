#include "relay/Session.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "RelayTestSupport.h"
#include "platform/VirtualKey.h"

namespace velmora::relay {
namespace {

using platform::fake::FakePlatform;
namespace vk = platform::vk;

constexpr int kHistory = 640;
constexpr int kInput = 512;

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() {
        session.State.ReturnAreaTarget = {kHistory, 30, 40, 3, 4, 0, 0, 300, 200};
        session.State.InputAreaTarget = {kInput, 50, 60, 5, 6, 0, 0, 300, 200};
        fp.windows.windows[kHistory] = {{0, 0, 300, 45}, false, false};
        fp.windows.windows[kInput] = {{40, 50, 300, 200}, false, false};
        session.Attach(view, box);
        fp.loop.onHold = [this] {
            const auto& e = fp.log.Entries();
            if (e.size() >= 2 && e[e.size() - 2] == "kdown " + std::to_string(vk::Letter('C')))
                fp.clipboard.text = u"Ann 9:00:00\r\nhi";
        };
        fp.loop.onYield = [this] {
            if (onYield) onYield();
        };
    }
    ~SessionTest() override { session.Detach(); }

    std::ptrdiff_t IndexOf(const std::string& entry, std::ptrdiff_t from = 0) {
        const auto& e = fp.log.Entries();
        return std::find(e.begin() + from, e.end(), entry) - e.begin();
    }

    FakePlatform fp;
    testing::FakeTranslate translate;
    Session session{fp.platform(), translate, translate::clsGoogleLanguages::Shared()};
    testing::FakeView view{fp, session.State};
    fake::RecordingResultBox box;
    std::function<void()> onYield;
};

TEST_F(SessionTest, SendAskedForDuringACaptureRunsWhenTheCaptureHasGivenEverythingBack) {
    bool asked = false;
    onYield = [&] {
        if (session.State.CaptureRunning && !asked) {
            asked = true;
            view.sendText = u"queued";
            session.Outgoing().Send();
        }
    };
    session.Monitor().OnIdleTick();
    fp.loop.Run();
    ASSERT_TRUE(asked);
    ASSERT_FALSE(translate.calls.empty());
    EXPECT_EQ(translate.calls.back().text, u"queued");
    EXPECT_EQ(translate.calls.back().target, "en");
    const std::ptrdiff_t tip = IndexOf("view tip");
    const std::ptrdiff_t gaveBack = IndexOf("foreground 256");
    const std::ptrdiff_t sendStart = IndexOf("view mask 0");
    EXPECT_LT(tip, gaveBack);
    EXPECT_LT(gaveBack, sendStart);
    EXPECT_LT(IndexOf("foreground 512", sendStart), IndexOf("view mask 1", sendStart));
    EXPECT_EQ(view.tip, kSendQueued);
    EXPECT_EQ(view.sendText, u"");
    EXPECT_EQ(fp.clipboard.text, u"[en]queued");
}

TEST_F(SessionTest, SendAskedForDuringTheIdleCountdownGoesAtOnceAndTheCaptureFollowsIt) {
    const std::int64_t t0 = fp.clock.NowMs();
    std::optional<RelayJob> runningAfterClick;
    onYield = [&] {
        if (!runningAfterClick && fp.clock.NowMs() - t0 >= 2000) {
            view.sendText = u"now";
            session.Outgoing().Send();
            runningAfterClick = session.Scheduler.Running();
        }
    };
    session.Monitor().OnIdleTick();
    fp.loop.Run();
    // The countdown drives nothing: the send did not queue behind it.
    EXPECT_EQ(runningAfterClick, RelayJob::Send);
    EXPECT_NE(view.tip, kSendQueued);
    EXPECT_EQ(view.sendText, u"");
    // The countdown ran out after the send had ended: the capture still came.
    EXPECT_LT(IndexOf("view mask 1"), IndexOf("clipboard clear", IndexOf("view mask 1")));
    EXPECT_LT(IndexOf("clipboard clear", IndexOf("view mask 1")),
              static_cast<std::ptrdiff_t>(fp.log.Entries().size()));
}

TEST_F(SessionTest, InPlaceAskedForDuringACaptureRunsWhenTheCaptureEnds) {
    bool asked = false;
    onYield = [&] {
        if (session.State.CaptureRunning && !asked) {
            asked = true;
            session.InPlace().OnShortcut();
            EXPECT_TRUE(session.InPlace().Pending());
        }
    };
    session.Monitor().OnIdleTick();
    fp.loop.Run();
    ASSERT_TRUE(asked);
    EXPECT_FALSE(session.InPlace().Pending());
    ASSERT_FALSE(translate.calls.empty());
    // The in-place run translates the user's way, after the capture's other-way translation.
    EXPECT_EQ(translate.calls.back().source, "zh-CN");
    EXPECT_EQ(translate.calls.back().target, "en");
}

TEST_F(SessionTest, SendAskedForDuringAnInPlaceRunGoesAfterIt) {
    fp.windows.foreground = kInput;
    translate.onTranslate = [&] {
        if (translate.calls.size() != 1) return;
        view.sendText = u"queued";
        session.Outgoing().Send();
        EXPECT_TRUE(session.Outgoing().SendPending());
    };
    session.InPlace().OnShortcut();
    fp.loop.Run();
    EXPECT_FALSE(session.Outgoing().SendPending());
    ASSERT_EQ(translate.calls.size(), 2u);
    EXPECT_EQ(translate.calls[1].text, u"queued");
    EXPECT_EQ(view.sendText, u"");
}

TEST_F(SessionTest, RepickForgetsTheHistoryTailAttachedOrNot) {
    for (bool attached : {true, false}) {
        SCOPED_TRACE(attached ? "attached" : "detached");
        if (!attached) session.Detach();
        session.State.LastHistoryTail = u"m9;";
        session.State.LastHistoryLength = 30;
        session.OnReturnAreaPicked();
        EXPECT_TRUE(session.State.LastHistoryTail.empty());
        EXPECT_EQ(session.State.LastHistoryLength, 30);
    }
}

}  // namespace
}  // namespace velmora::relay

namespace velmora::relay {
namespace {

TEST(SessionAccessibilityTest, TheFirstAttachTurnsAccessibilityOnAndSaysSoOnlyWhenItWasOff) {
    struct Case {
        const char* what;
        bool enabled;
        bool tip;
    };
    const Case cases[] = {{"off", false, true}, {"on already", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::fake::FakePlatform fp;
        fp.accessibility.enabled = c.enabled;
        testing::FakeTranslate translate;
        Session session{fp.platform(), translate, translate::clsGoogleLanguages::Shared()};
        testing::FakeView view{fp, session.State};
        fake::RecordingResultBox box;
        session.Attach(view, box);
        EXPECT_TRUE(fp.accessibility.enabled);
        EXPECT_EQ(view.tip == kAccessibilityTurnedOn, c.tip);
        // A later attach (the window made anew) says nothing again.
        view.tip.clear();
        fp.accessibility.enabled = false;
        session.Attach(view, box);
        EXPECT_TRUE(view.tip.empty());
        session.Detach();
    }
}

TEST_F(SessionTest, ASendWaitingWhenTheWindowGoesNeverResumesIntoIt) {
    view.sendText = u"hello";
    session.Outgoing().Send();
    ASSERT_TRUE(session.Scheduler.Busy());  // waiting for its translation
    EXPECT_FALSE(view.maskVisible);
    session.Detach();
    EXPECT_FALSE(session.Scheduler.Busy());
    EXPECT_TRUE(view.maskVisible);  // the send image came back as the job went
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_EQ(IndexOf("clipboard settext"), static_cast<std::ptrdiff_t>(fp.log.Entries().size()));
    EXPECT_EQ(view.sendText, u"hello");
    EXPECT_FALSE(session.State.SendRunning);
}

}  // namespace
}  // namespace velmora::relay
