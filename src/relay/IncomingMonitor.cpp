#include "relay/IncomingMonitor.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "platform/VirtualKey.h"
#include "relay/TargetCheck.h"

namespace velmora::relay {

namespace vk = platform::vk;

namespace {
constexpr std::int64_t kIdleSeconds = 5;
constexpr std::int64_t kClipboardSeconds = 3;
// How long a program that copies a selection as it is made may take to do it.
constexpr int kSelfCopyMs = 700;

std::u16string Decimal(std::int64_t v) {
    std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

// Raises a flag for as long as it lives.
struct Raised {
    explicit Raised(bool& f) : flag(f) { flag = true; }
    ~Raised() { flag = false; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;
    bool& flag;
};

// Where a capture's new text starts: after the last occurrence of the previous capture's tail,
// or, when there is no tail or it is gone, after the previous capture's length.
std::size_t NewHistoryStart(std::u16string_view capture, std::u16string_view tail,
                            std::int32_t lastLength) {
    if (!tail.empty()) {
        std::size_t at = capture.rfind(tail);
        if (at != std::u16string_view::npos) return at + tail.size();
    }
    // LastHistoryLength is 1-based "seen up to"; as a 0-based index it is where new text starts.
    return static_cast<std::size_t>(std::max(0, lastLength));
}
}  // namespace

IncomingMonitor::IncomingMonitor(platform::Platform platform, IMainView& view,
                                 IResultBox& resultBox, RelayState& state,
                                 mduSendBuffer& sendBuffer,
                                 const translate::clsGoogleLanguages& languages,
                                 RelayScheduler& scheduler)
    : RelayFlow(platform, view, resultBox, state, sendBuffer, languages, scheduler) {}

void IncomingMonitor::OnSendBoxKeyDown() {
    state_.LastKeyTime = p_.clock.NowSeconds();
    wake_.Ring();
}

void IncomingMonitor::OnSendBoxFocusLost() {
    state_.CountdownAborted = true;
    view_.Controls().TimeKeeper().SetVisible(false);
    wake_.Ring();
}

void IncomingMonitor::OnResultBoxFocusChanged(bool focused) {
    state_.ResultBoxFocused = focused;
    wake_.Ring();
}

void IncomingMonitor::OnReturnAreaPicked() {
    state_.LastHistoryTail.clear();
    sendBuffer_.ForgetSpeakerFamily();
    state_.ReturnAreaLost = false;
    ++picks_;
    const target::TargetPoint& ra = state_.ReturnAreaTarget;
    if (ra.WinHwnd == 0) return;
    const platform::Point point{ra.ScreenCursorX, ra.ScreenCursorY};
    using Route = RelayState::HistoryRoute;
    if (p_.accessibility.HistoryTextAt(ra.WinHwnd, point)) {
        state_.ReturnAreaRoute = Route::Tree;
        view_.ShowTip(std::u16string(kRouteTree));
    } else if (p_.accessibility.WidgetRectAt(ra.WinHwnd, point)) {
        state_.ReturnAreaRoute = Route::Drag;
        view_.ShowTip(std::u16string(kRouteDrag));
    } else {
        state_.ReturnAreaRoute = Route::Keys;
        view_.ShowTip(std::u16string(kRouteKeys));
    }
}

void IncomingMonitor::OnActivationChanged() {
    wake_.Ring();
}

void IncomingMonitor::RequestExit() {
    state_.ExitRequested = true;
    wake_.Ring();
}

int IncomingMonitor::MsToNextSecond() {
    std::int64_t ms = p_.clock.NowMs() % 1000;
    if (ms < 0) ms += 1000;
    return static_cast<int>(1000 - ms);
}

bool IncomingMonitor::MayRead() const {
    // A tick that falls into a yield of a running tick or send does nothing: two injected
    // sequences must never interleave. A user selecting in the result box keeps what they see.
    return !tickRunning_ && !scheduler_.Busy() && !state_.SendRunning && !state_.CaptureRunning &&
           !state_.ResultBoxFocused && state_.ReturnAreaTarget.WinHwnd != 0 &&
           !state_.ReturnAreaLost;
}

void IncomingMonitor::OnIdleTick() {
    if (!MayRead()) return;

    // A read through the tree takes neither focus nor clipboard: no countdown, no wait.
    if (state_.ReturnAreaRoute != RelayState::HistoryRoute::Keys && ReadThroughTree()) {
        view_.Controls().TimeKeeper().SetVisible(false);
        return;
    }
    if (!view_.Controls().IsActive()) return;

    countdown_ = CountdownThenCapture();
    // The finished frame goes as soon as it has ended.
    countdown_.Start(
        [this](std::exception_ptr) { platform::Task<> ended = std::move(countdown_); });
}

platform::Task<> IncomingMonitor::CountdownThenCapture() {
    const Raised ticking(tickRunning_);
    if (!co_await RunIdleCountdown()) {
        view_.Controls().TimeKeeper().SetVisible(false);
        co_return;
    }
    // A job that started during the countdown keeps the history: this capture is dropped, the
    // next tick tries again.
    scheduler_.Submit(RelayJob::Capture, [this] { return CaptureJob(); });
}

void IncomingMonitor::WatchTick() {
    if (state_.ReturnAreaRoute != RelayState::HistoryRoute::Tree || !MayRead()) return;
    // A tree that stops answering is left to Timer1, whose next tick falls back to the copy.
    ReadThroughTree();
}

platform::Task<bool> IncomingMonitor::RunIdleCountdown() {
    state_.LastKeyTime = p_.clock.NowSeconds();
    state_.CountdownAborted = false;
    view_.Controls().TimeKeeper().SetCaption(u"5");
    view_.Controls().TimeKeeper().SetVisible(true);
    std::int64_t elapsed = 0;
    for (;;) {
        if (elapsed >= kIdleSeconds) {
            if (!view_.Controls().SendBox().IsComposing()) co_return true;
            // A word still in the input method is typing: the capture would steal the focus
            // from it. Count again from now; its commit or cancel stamps LastKeyTime anew.
            state_.LastKeyTime = p_.clock.NowSeconds();
        }
        if (state_.ExitRequested) view_.EndProgram();
        if (state_.CountdownAborted) co_return false;
        if (!view_.Controls().IsActive()) co_return false;
        elapsed = p_.clock.NowSeconds() - state_.LastKeyTime;
        if (elapsed < 0) {
            // The clock went back; count from now rather than wait for it to catch up.
            state_.LastKeyTime = p_.clock.NowSeconds();
            elapsed = 0;
        }
        view_.Controls().TimeKeeper().SetCaption(Decimal(kIdleSeconds - elapsed));
        if (elapsed >= kIdleSeconds) {
            // "0" stays up for one pass, as when the loop polled.
            co_await platform::Delay(p_.loop, 0);
            continue;
        }
        // Sleep until the label has to change or something the countdown watches changes: a
        // key (moves LastKeyTime), a focus change, deactivation or Exit; each of them rings.
        co_await wake_.Wait(p_.loop, MsToNextSecond());
    }
}

platform::Task<std::u16string> IncomingMonitor::WaitForClipboardText() {
    std::u16string s;
    auto read = [this, &s] {
        try {
            s = p_.clipboard.Text().value_or(std::u16string());
        } catch (const std::exception&) {
            s.clear();  // an unreadable clipboard counts as empty
        }
        return !s.empty();
    };
    state_.LastKeyTime = p_.clock.NowSeconds();
    while (p_.clock.NowSeconds() - state_.LastKeyTime < kClipboardSeconds) {
        // Looked at every poll; the three-second limit is decided at each whole second.
        if (co_await platform::Until(p_.loop, read, MsToNextSecond())) break;
    }
    co_return s;
}

namespace {
// Built outside the job's frame (GCC 12 mishandles a braced list inside a coroutine).
bool PressSelectAllAndCopy(target::Injector& inject) {
    return inject.PressChordRun(
        {{vk::Letter('A'), vk::Control, 100}, {vk::Letter('C'), vk::Control, 100}});
}
}  // namespace

platform::Task<> IncomingMonitor::CaptureJob() {
    // Copies: a target picked again during one of the waits must not change this capture.
    const target::TargetPoint ra = state_.ReturnAreaTarget;
    const std::uint64_t picksAtStart = picks_;
    const Raised capturing(state_.CaptureRunning);

    const platform::Point point{ra.ScreenCursorX, ra.ScreenCursorY};
    if (!p_.windows.IsWindow(ra.WinHwnd)) {
        LoseReturnArea();
        co_return;
    }
    bool minimised = p_.windows.IsIconic(ra.WinHwnd);
    p_.windows.ShowCursor(true);
    if (minimised) co_await p_.windows.ShowWindow(ra.WinHwnd, platform::ShowCommand::ShowNormal);
    platform::Point saved = p_.input.CursorPos();

    // If the clipboard cannot be emptied, a copy could not be told from what was there before:
    // skip the copy and give everything back.
    bool cleared = false;
    try {
        cleared = p_.clipboard.Clear();
    } catch (const std::exception&) {
    }
    // Ctrl+A, Ctrl+C into another window would copy someone else's text as the peer's.
    const bool ready =
        cleared && co_await AwaitReadyToInject(p_, ra.WinHwnd, Aim{ra.WinHwnd, point});
    // Programs that keep the keyboard in their input box copy only what a drag selected.
    const std::optional<platform::Rect> widget =
        state_.ReturnAreaRoute == RelayState::HistoryRoute::Drag
            ? p_.accessibility.WidgetRectAt(ra.WinHwnd, point)
            : std::nullopt;
    if (ready && widget) {
        co_await DragSelectAndCopy(*widget);
    } else if (ready) {
        inject_.ClickAt(point.x, point.y, 10);
        PressSelectAllAndCopy(inject_);
    }
    if (ready) {
        co_await platform::Delay(p_.loop, 500);
        view_.Controls().TimeKeeper().SetCaption(std::u16string(kReadingCaption));
        co_await platform::Delay(p_.loop, 0);

        std::u16string s = co_await WaitForClipboardText();
        // Programs that keep the focus in their input box copy the user's unsent draft: that
        // is no history, and must never be shown as the other party's message.
        if (IsInputBoxText(s)) {
            view_.ShowTip(std::u16string(kCopyWasInput));
            s.clear();
        }
        co_await TakeHistory(std::move(s), picksAtStart, box_);
    }

    co_await platform::Delay(p_.loop, 0);
    p_.input.MoveCursor(saved.x, saved.y);
    p_.windows.ShowCursor(false);
    co_await p_.windows.SetForegroundWindow(view_.Controls().Handle());
    if (minimised) co_await p_.windows.ShowWindow(ra.WinHwnd, platform::ShowCommand::Minimize);
    box_.ScrollToEnd();
    view_.Controls().SendBox().Focus();
    if (cleared && !ready) LoseReturnArea();
}

platform::Task<bool> IncomingMonitor::TakeHistory(std::u16string s, std::uint64_t picksAtStart,
                                                  IResultBox& box) {
    const std::size_t seen = NewHistoryStart(s, state_.LastHistoryTail, state_.LastHistoryLength);
    // A pick during the waits is another pane: this read must not become its tail.
    if (picks_ == picksAtStart && !s.empty())
        state_.LastHistoryTail = s.substr(s.size() - std::min(s.size(), kHistoryTailLength));
    if (s.size() <= seen) co_return false;
    constexpr std::size_t kMaxLength = std::numeric_limits<std::int32_t>::max();
    state_.LastHistoryLength = static_cast<std::int32_t>(std::min(s.size(), kMaxLength));
    std::string sourceCode = languages_.getKeyByDesc(view_.Controls().Languages().OtherDesc());
    std::string targetCode = languages_.getKeyByDesc(view_.Controls().Languages().MyDesc());
    try {
        co_await sendBuffer_.ProcessNewHistory(p_.loop, s.substr(seen), std::move(sourceCode),
                                               std::move(targetCode), box);
    } catch (const std::exception&) {
        // A failure inside the processing ends it; the give-back after it still runs.
    }
    view_.Controls().TimeKeeper().SetCaption(u"5");
    co_await platform::Delay(p_.loop, 0);
    co_return true;
}

namespace {
// The result box as the history module sees it during a read through the tree: its line
// breaks leave the focus where the user is typing.
class FocusKeepingBox : public IResultBox {
  public:
    explicit FocusKeepingBox(IResultBox& box) : box_(box) {}
    void SetColor(std::uint32_t bgr) override { box_.SetColor(bgr); }
    void SetBold(bool on) override { box_.SetBold(on); }
    void SetItalic(bool on) override { box_.SetItalic(on); }
    void Insert(const std::u16string& text) override { box_.Insert(text); }
    void FocusAndNewLine() override { box_.NewLineAtEnd(); }
    void NewLineAtEnd() override { box_.NewLineAtEnd(); }
    void ScrollToEnd() override { box_.ScrollToEnd(); }

  private:
    IResultBox& box_;
};
}  // namespace

bool IncomingMonitor::ReadThroughTree() {
    const target::TargetPoint& ra = state_.ReturnAreaTarget;
    if (!p_.windows.IsWindow(ra.WinHwnd)) {
        LoseReturnArea();
        return true;
    }
    auto text = p_.accessibility.HistoryTextAt(ra.WinHwnd, {ra.ScreenCursorX, ra.ScreenCursorY});
    if (!text) return false;
    // Callers read only while no job runs: this one starts now.
    scheduler_.Submit(RelayJob::Capture, [this, s = std::move(*text), picks = picks_] {
        return TreeCaptureJob(s, picks);
    });
    return true;
}

platform::Task<> IncomingMonitor::TreeCaptureJob(std::u16string text, std::uint64_t picksAtStart) {
    const Raised capturing(state_.CaptureRunning);
    // The user may be typing in the send box meanwhile: the focus stays there.
    FocusKeepingBox box(box_);
    if (co_await TakeHistory(std::move(text), picksAtStart, box)) box_.ScrollToEnd();
}

platform::Task<> IncomingMonitor::DragSelectAndCopy(platform::Rect widget) {
    // Inside the widget's edges, in steps: a selection follows the pointer's way, and a jump
    // from corner to corner selects nothing in some programs.
    constexpr int kInset = 4;
    constexpr int kSteps = 8;
    const platform::Point from{widget.left + kInset, widget.top + kInset};
    const platform::Point to{widget.right - kInset, widget.bottom - kInset};
    p_.input.MoveCursor(from.x, from.y);
    p_.input.LeftDown();
    for (int i = 1; i <= kSteps; ++i) {
        co_await platform::Delay(p_.loop, 10);
        p_.input.MoveCursor(from.x + (to.x - from.x) * i / kSteps,
                            from.y + (to.y - from.y) * i / kSteps);
    }
    p_.input.LeftUp();
    co_await platform::Until(
        p_.loop, [this] { return !p_.input.AnyButtonDown(); }, 1000);
    // Many such programs copy a selection as it is made; the others copy on Ctrl+C.
    auto copied = [this] {
        try {
            auto t = p_.clipboard.Text();
            return t && !t->empty();
        } catch (const std::exception&) {
            return false;
        }
    };
    if (!co_await platform::Until(p_.loop, copied, kSelfCopyMs))
        inject_.PressKeyChord(vk::Letter('C'), vk::Control, 100);
}

bool IncomingMonitor::IsInputBoxText(const std::u16string& s) {
    const target::TargetPoint& in = state_.InputAreaTarget;
    if (s.empty() || in.WinHwnd == 0) return false;
    auto input = p_.accessibility.InputTextAt(in.WinHwnd, {in.ScreenCursorX, in.ScreenCursorY});
    if (!input) return false;
    // Line ends and trailing blanks differ between a copy and the widget's own text.
    auto plain = [](std::u16string_view t) {
        std::u16string out;
        for (char16_t c : t)
            if (c != u'\r' && c != u'\n' && c != u'\u2028' && c != u' ' && c != u'\t') out += c;
        return out;
    };
    const std::u16string copied = plain(s);
    return !copied.empty() && copied == plain(*input);
}

void IncomingMonitor::LoseReturnArea() {
    state_.ReturnAreaLost = true;
    view_.Controls().TimeKeeper().SetVisible(false);
    view_.ShowTip(std::u16string(kTargetLost));
}

}  // namespace velmora::relay
