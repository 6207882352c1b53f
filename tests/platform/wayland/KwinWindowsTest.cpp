// KwinWindows against a real headless KWin, with imsim's chat windows as Wayland clients and a
// window of the test's own.

#include "platform/wayland/KwinWindows.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QRasterWindow>
#include <memory>
#include <optional>
#include <string>

#include "HeadlessKwin.h"
#include "KwinSettled.h"
#include "WaylandImsim.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

Point Centre(const Rect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// One KWin for the whole file: starting one costs more than the cases themselves.
class KwinWindowsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        kwin_ = new HeadlessKwin;
        ready_ = kwin_->WaitReady();
        // The D-Bus answers need Qt's application object; ours is a client of that KWin, so
        // that a window of our own can be made.
        qputenv("QT_QPA_PLATFORM", "wayland");
        qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(kwin_->WaylandDisplay()));
        if (ready_) app_ = new QGuiApplication(argc_, argv_);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
        delete kwin_;
        kwin_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(ready_) << kwin_->Log();
        scripting_ = std::make_unique<KwinScripting>(kwin_->BusAddress());
        windows_ = std::make_unique<KwinWindows>(*scripting_, loop_);
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "KWin's log:\n" << kwin_->Log();
    }

    std::optional<KwinWindow> Settled(pid_t pid) { return SettledKwinWindow(*scripting_, pid); }
    bool KeptAbove(pid_t pid) {
        const auto k = KwinWindowOf(*scripting_, pid);
        return k && k->keepAbove;
    }
    // The handle of a program's window, found where a user would point at it.
    WinHandle HandleAt(const KwinWindow& k) { return windows_->WindowFromPoint(Centre(k.client)); }

    static HeadlessKwin* kwin_;
    static bool ready_;
    static QGuiApplication* app_;
    static inline int argc_ = 1;
    static inline char name_[] = "platform_kwin_windows";
    static inline char* argv_[] = {name_, nullptr};
    TempDir clients_;
    SleepLoop loop_;
    std::unique_ptr<KwinScripting> scripting_;
    std::unique_ptr<KwinWindows> windows_;
};
HeadlessKwin* KwinWindowsTest::kwin_ = nullptr;
bool KwinWindowsTest::ready_ = false;
QGuiApplication* KwinWindowsTest::app_ = nullptr;

TEST_F(KwinWindowsTest, FindsAChatWindowAtAPointAndItsRectangle) {
    WaylandImsim chat(kwin_->WaylandDisplay(), clients_, "Alice");
    const auto k = Settled(chat.pid());
    ASSERT_TRUE(k) << "imsim's window never appeared";
    EXPECT_NE(k->caption.find("Alice"), std::string::npos) << k->caption;
    const WinHandle h = HandleAt(*k);
    ASSERT_NE(h, 0);

    EXPECT_TRUE(windows_->IsWindow(h));
    EXPECT_FALSE(windows_->IsOwnWindow(h));
    EXPECT_TRUE(windows_->IsInside(h, h));
    EXPECT_FALSE(windows_->IsInside(h, h + 1));
    const auto rect = windows_->GetWindowRect(h);
    ASSERT_TRUE(rect);
    EXPECT_EQ(*rect, k->client);
    EXPECT_GE(rect->left, 0);
    EXPECT_LE(rect->right, 1280);
    EXPECT_GT(rect->right - rect->left, 100);
    EXPECT_EQ(windows_->ScreenToClient(h, {rect->left + 5, rect->top + 7}), (Point{5, 7}));
    EXPECT_EQ(windows_->WindowFromPoint({2000, 2000}), 0);
    // The same window keeps its handle.
    EXPECT_EQ(HandleAt(*k), h);
    EXPECT_TRUE(PollUntil([&] { return windows_->FocusedWindow() == h; }, kAppearMs));
}

TEST_F(KwinWindowsTest, ActivatesMinimisesRestoresAndKeepsAbove) {
    WaylandImsim first(kwin_->WaylandDisplay(), clients_, "Alice");
    const auto a = Settled(first.pid());
    ASSERT_TRUE(a);
    const WinHandle ha = HandleAt(*a);
    WaylandImsim second(kwin_->WaylandDisplay(), clients_, "Carol");
    const auto b = Settled(second.pid());
    ASSERT_TRUE(b);
    const WinHandle hb = windows_->WindowFromPoint(Centre(b->client));
    ASSERT_NE(ha, 0);
    ASSERT_NE(hb, 0);
    ASSERT_NE(ha, hb);

    EXPECT_TRUE(platform::test::Finish(loop_, windows_->SetForegroundWindow(ha)));
    EXPECT_EQ(windows_->FocusedWindow(), ha);
    EXPECT_TRUE(platform::test::Finish(loop_, windows_->SetForegroundWindow(hb)));
    EXPECT_EQ(windows_->FocusedWindow(), hb);

    platform::test::Finish(loop_, windows_->ShowWindow(hb, ShowCommand::Minimize));
    EXPECT_TRUE(windows_->IsIconic(hb));
    EXPECT_NE(windows_->WindowFromPoint(Centre(b->client)), hb);
    platform::test::Finish(loop_, windows_->ShowWindow(hb, ShowCommand::Restore));
    EXPECT_FALSE(windows_->IsIconic(hb));
    EXPECT_TRUE(PollUntil([&] { return windows_->WindowFromPoint(Centre(b->client)) == hb; }));

    // Kept above and moved so its surface's corner is the rectangle's: it covers the other
    // even when that one is active.
    const Rect at{100, 120, 500, 420};
    platform::test::Finish(loop_, windows_->SetTopmost(ha, true, at));
    ASSERT_TRUE(PollUntil([&] {
        const auto r = windows_->GetWindowRect(ha);
        return r && r->left == 100 && r->top == 120;
    })) << "not moved to the rectangle";
    EXPECT_TRUE(platform::test::Finish(loop_, windows_->SetForegroundWindow(hb)));
    EXPECT_EQ(windows_->WindowFromPoint({110, 130}), ha);
    platform::test::Finish(loop_, windows_->SetTopmost(ha, false, at));
    EXPECT_FALSE(KeptAbove(first.pid()));

    // One its user keeps above stays so once we are done with it.
    ASSERT_TRUE(
        scripting_->Run("var l = workspace.clientList(); for (var i = 0; i < l.length; "
                        "++i) if (l[i].pid === " +
                        std::to_string(second.pid()) + ") l[i].keepAbove = true; report(true);"));
    ASSERT_TRUE(KeptAbove(second.pid()));
    platform::test::Finish(loop_, windows_->SetTopmost(hb, true, {}));
    platform::test::Finish(loop_, windows_->SetTopmost(hb, false, {}));
    EXPECT_TRUE(KeptAbove(second.pid()));
}

TEST_F(KwinWindowsTest, AClosedWindowsHandleStaysDead) {
    WaylandImsim chat(kwin_->WaylandDisplay(), clients_, "Alice");
    const auto k = Settled(chat.pid());
    ASSERT_TRUE(k);
    const WinHandle h = HandleAt(*k);
    ASSERT_NE(h, 0);
    windows_->Watch(h);
    ASSERT_TRUE(windows_->IsWindow(h));

    chat.Close();
    ASSERT_TRUE(PollUntil([&] { return !windows_->IsWindow(h); }, kAppearMs));
    EXPECT_FALSE(windows_->GetWindowRect(h));
    EXPECT_FALSE(platform::test::Finish(loop_, windows_->SetForegroundWindow(h)));
    EXPECT_FALSE(windows_->IsIconic(h));

    // A window opened after it, in the same place, is another one.
    WaylandImsim next(kwin_->WaylandDisplay(), clients_, "Carol");
    const auto other = Settled(next.pid());
    ASSERT_TRUE(other);
    const WinHandle h2 = HandleAt(*other);
    EXPECT_NE(h2, 0);
    EXPECT_NE(h2, h);
    EXPECT_FALSE(windows_->IsWindow(h));
    EXPECT_FALSE(windows_->GetWindowRect(h));
}

// Our own window is told apart by this process's id and its title, and only ours.
TEST_F(KwinWindowsTest, FindsItsOwnWindowByTitle) {
    WaylandImsim chat(kwin_->WaylandDisplay(), clients_, "Own window test");
    const auto imsim = Settled(chat.pid());
    ASSERT_TRUE(imsim);
    const WinHandle other = HandleAt(*imsim);
    ASSERT_NE(other, 0);

    QRasterWindow own;
    own.setTitle(QStringLiteral("Velmora own window"));
    own.resize(300, 200);
    own.show();
    WinHandle h = 0;
    ASSERT_TRUE(PollUntil(
        [&] {
            QCoreApplication::processEvents();
            h = windows_->OwnTopLevel(0, "Velmora own window");
            return h != 0;
        },
        kAppearMs, 50));
    EXPECT_TRUE(windows_->IsOwnWindow(h));
    EXPECT_NE(h, other);
    EXPECT_EQ(windows_->OwnTopLevel(0, "Another title"), 0);
    // imsim's window has a title of its own but is not ours.
    EXPECT_EQ(windows_->OwnTopLevel(0, imsim->caption), 0);
    EXPECT_FALSE(windows_->IsOwnWindow(other));
}

}  // namespace
}  // namespace velmora::platform::wayland
