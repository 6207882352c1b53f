#include "relay/OutgoingFlow.h"

#include <algorithm>
#include <exception>

#include "platform/Utf8.h"
#include "platform/VirtualKey.h"
#include "relay/Echo.h"
#include "relay/TargetCheck.h"

namespace velmora::relay {

namespace vk = platform::vk;

namespace {

// Wrapped around Delete on purpose: code 1 maps to no key on most systems and changes nothing.
constexpr std::uint8_t kDeleteWrapper = 1;
// A chat program empties its input box when it sends; how long to wait for that.
constexpr int kSendConfirmMs = 2000;
constexpr int kSendConfirmStepMs = 50;

}  // namespace

std::u16string NoEngineTip(const std::u16string& from, const std::u16string& to) {
    return u"未发送：这里没有能把" + from + u"译成" + to +
           u"的翻译引擎。本机离线引擎只支持已安装的欧洲语言对；请在 设置 → 翻译引擎 "
           u"中添加在线引擎。";
}

std::u16string TranslatingTip(std::int64_t elapsedMs) {
    const std::string seconds = std::to_string(std::max<std::int64_t>(0, elapsedMs) / 1000);
    return u"正在翻译… " + std::u16string(seconds.begin(), seconds.end()) + u" 秒（按 Esc 取消）";
}

bool OutgoingFlow::Cancel() {
    if (!translating_) return false;
    p_.loop.RequestCancel();
    return true;
}

OutgoingFlow::OutgoingFlow(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                           RelayState& state, mduSendBuffer& sendBuffer, ITranslate& translator,
                           const translate::clsGoogleLanguages& languages,
                           RelayScheduler& scheduler)
    : RelayFlow(platform, view, resultBox, state, sendBuffer, languages, scheduler),
      translator_(translator) {}

void OutgoingFlow::WriteEcho(const std::u16string& typed, const std::u16string& translation,
                             std::u16string_view note) {
    box_.FocusAndNewLine();
    relay::WriteEcho(box_, u"", p_.clock.NowLocal(), typed, translation, note);
    view_.Controls().SendBox().Focus();
}

OutgoingFlow::Delivery OutgoingFlow::Delivery::Failed(std::u16string_view tip,
                                                      std::u16string_view why) {
    return {false, std::u16string(tip), std::u16string(kEchoNotSent) + std::u16string(why)};
}

void OutgoingFlow::Send() {
    // Queued once: a second request would send the same text twice.
    const bool alreadyQueued = scheduler_.Queued(RelayJob::Send);
    if (!scheduler_.Submit(RelayJob::Send, [this] { return SendOnce(); }) && !alreadyQueued)
        view_.ShowTip(std::u16string(kSendQueued));
}

void OutgoingFlow::RemoveSentText(const std::u16string& sent) {
    // The translation yields, so the user may have typed on: only what was sent goes.
    std::u16string now = view_.Controls().SendBox().Text();
    if (now == sent) {
        view_.Controls().SendBox().Clear();
    } else if (now.starts_with(sent)) {
        view_.Controls().SendBox().SetText(now.substr(sent.size()));
    }
}

platform::Task<> OutgoingFlow::SendOnce() {
    std::u16string text = view_.Controls().SendBox().Text();
    if (text.empty()) co_return;

    state_.SendRunning = true;
    view_.Controls().SetSendMaskVisible(false);
    // However the flow ends, the send image comes back and the next send may start.
    struct Restore {
        OutgoingFlow& f;
        ~Restore() {
            f.state_.SendRunning = false;
            f.view_.Controls().SetSendMaskVisible(true);
        }
    } restore{*this};

    std::string sourceCode = languages_.getKeyByDesc(view_.Controls().Languages().MyDesc());
    std::string targetCode = languages_.getKeyByDesc(view_.Controls().Languages().OtherDesc());
    translate::TranslationOutcome outcome;
    {
        p_.loop.ClearCancel();
        struct Translating {
            OutgoingFlow& f;
            explicit Translating(OutgoingFlow& flow) : f(flow) {
                f.translating_ = true;
                f.view_.SetTranslating(true);
            }
            ~Translating() {
                f.translating_ = false;
                f.view_.SetTranslating(false);
            }
        } translating{*this};
        // On a thread of its own: the loop serves our windows and the clipboard meanwhile, and
        // nothing else of ours runs inside the wait.
        outcome = co_await platform::Aside(
            p_.loop, [&] { return translator_.Translate(text, sourceCode, targetCode); });
    }
    if (outcome.cancelled || p_.loop.CancelRequested()) {
        // Abandoned: nothing goes out, no echo, the typed text stays as it is.
        p_.loop.ClearCancel();
        view_.ShowTip(std::u16string(kSendCancelled));
        co_return;
    }
    const std::u16string& translation = outcome.text;
    if (!outcome.complete || translation.empty()) {
        // Sending part of a message, or an emptied input box, says something the user did not
        // write: keep the draft in both boxes and tell why.
        std::u16string why = u"翻译失败";
        std::u16string tip(kNotSentTranslationFailed);
        std::string reason = outcome.ReasonForUser();
        if (outcome.NoEngineForPair()) {
            why = u"没有可用的翻译引擎";
            tip = NoEngineTip(view_.Controls().Languages().MyDesc(),
                              view_.Controls().Languages().OtherDesc());
        } else if (!reason.empty()) {
            tip += u"：" + platform::Utf8Decode(reason);
            why += u"：" + platform::Utf8Decode(reason);
        }
        WriteEcho(text, u"", std::u16string(kEchoNotSent) + why);
        view_.ShowTip(tip);
        // A way to a working engine, the first time a run meets none.
        if (!enginesOffered_) {
            enginesOffered_ = true;
            view_.OfferEngineSettings();
        }
        co_return;
    }
    view_.Controls().SendBox().Focus();
    co_await platform::Delay(p_.loop, 0);

    // txtSend and the send buffer change only once the message went out, and the echo says
    // whether it did: whatever stops the flow leaves the typed text where the user can send it
    // again.
    Delivery done;
    bool failed = false;
    try {
        done = co_await Deliver(translation);
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed) done = Delivery::Failed(kSendSystemFailed, u"系统操作失败");
    if (outcome.sameLanguage && done.echoNote.empty())
        WriteEcho(text, u"", kEchoSameLanguage);
    else
        WriteEcho(text, translation, done.echoNote);
    if (!done.tip.empty()) view_.ShowTip(done.tip);
    if (!done.sent) co_return;
    RemoveSentText(text);
    sendBuffer_.BufferSentText(translation);
}

platform::Task<OutgoingFlow::Delivery> OutgoingFlow::Deliver(std::u16string translation) {
    // Through the chat program's tree the user's clipboard stays as it is.
    switch (co_await SendThroughTree(translation)) {
        case TreeSend::Sent:
            co_return Delivery{true, {}, {}};
        case TreeSend::NotConfirmed:
            // The text is in the chat's box and may have gone: sending it again could send it
            // twice, so txtSend keeps it and the user looks.
            co_return Delivery{false, std::u16string(kSendNotConfirmed),
                               std::u16string(kEchoNotConfirmed)};
        case TreeSend::NotTried:
            break;
    }
    // A clipboard that another program holds open ends the flow before the IM client is
    // touched: pasting stale content would be worse than not sending.
    if (!p_.clipboard.Clear() || !p_.clipboard.SetText(translation))
        co_return Delivery::Failed(kSendClipboardBusy, u"剪贴板被占用");
    if (state_.InputAreaTarget.WinHwnd == 0) {
        // Nothing to click into: clicking (0, 0) and pressing Ctrl+A, Delete into whatever
        // window has the focus could destroy someone else's text.
        co_return Delivery::Failed(kPickInputAreaFirst, u"未设置输入框位置");
    }
    // The send fires on the key-down of its shortcut: injected keys wait until the user's
    // own are up, or a held Alt turns our Ctrl+A into Ctrl+Alt+A.
    if (!co_await platform::Until(
            p_.loop, [&] { return !p_.input.AnyKeyDown(); }, kKeysUpBoundMs))
        co_return Delivery::Failed(kSendKeysHeld, u"按键一直未松开");
    co_return co_await DriveImClient();
}

platform::Task<OutgoingFlow::TreeSend> OutgoingFlow::SendThroughTree(std::u16string text) {
    const target::TargetPoint in = state_.InputAreaTarget;
    const target::TargetPoint send = state_.SendButtonTarget;
    const platform::Point inPoint{in.ScreenCursorX, in.ScreenCursorY};
    const platform::Point sendPoint{send.ScreenCursorX, send.ScreenCursorY};
    if (in.WinHwnd == 0 || !p_.windows.IsWindow(in.WinHwnd)) co_return TreeSend::NotTried;
    // Only a box that shows its text can confirm the send by emptying.
    if (!p_.accessibility.InputTextAt(in.WinHwnd, inPoint)) co_return TreeSend::NotTried;
    const bool button = state_.SendShortcutKey <= 0 && send.WinHwnd > 0;
    // Neither a send button nor a send key: the translation is only to wait in the chat
    // program's box, which the keys below do as always.
    if (!button && state_.SendShortcutKey <= 0) co_return TreeSend::NotTried;
    if (button && !p_.windows.IsWindow(send.WinHwnd)) co_return TreeSend::NotTried;
    if (!p_.accessibility.SetInputTextAt(in.WinHwnd, inPoint, text)) co_return TreeSend::NotTried;
    // The send button's action; with a send key instead, the input box's own (an entry's
    // activate). Without one, the keys below replace the text and send as always.
    const bool acted = button ? p_.accessibility.SendActionAt(send.WinHwnd, sendPoint)
                              : p_.accessibility.SendActionAt(in.WinHwnd, inPoint);
    if (!acted) co_return TreeSend::NotTried;
    for (int waited = 0; waited <= kSendConfirmMs; waited += kSendConfirmStepMs) {
        auto now = p_.accessibility.InputTextAt(in.WinHwnd, inPoint);
        if (now && now->empty()) co_return TreeSend::Sent;
        co_await platform::Delay(p_.loop, kSendConfirmStepMs);
    }
    co_return TreeSend::NotConfirmed;
}

platform::Task<OutgoingFlow::Delivery> OutgoingFlow::DriveImClient() {
    // Copies: a target picked again during one of the yields must not change this send.
    const target::TargetPoint in = state_.InputAreaTarget;
    const target::TargetPoint send = state_.SendButtonTarget;
    platform::WinHandle chat = send.WinHwnd;
    platform::Rect rect{send.WinLeft, send.WinTop, send.WinRight, send.WinButtom};
    const bool clickSend = state_.SendShortcutKey <= 0 && send.WinHwnd > 0;
    const platform::Point inPoint{in.ScreenCursorX, in.ScreenCursorY};
    const platform::Point sendPoint{send.ScreenCursorX, send.ScreenCursorY};
    const Delivery lost = Delivery::Failed(kTargetLost, u"聊天窗口已关闭或被遮挡");
    const Delivery broken = Delivery::Failed(kSendKeysBroken, u"按键未能完整送达");

    // A closed window's point now shows some other program: nothing may go there.
    if (!p_.windows.IsWindow(in.WinHwnd) || (clickSend && !p_.windows.IsWindow(send.WinHwnd)))
        co_return lost;

    p_.windows.ShowCursor(true);
    platform::Point saved = p_.input.CursorPos();
    bool minimised = p_.windows.IsIconic(chat);
    if (minimised) co_await p_.windows.ShowWindow(chat, platform::ShowCommand::ShowNormal);
    co_await p_.windows.SetTopmost(chat, true, rect);
    Delivery done = lost;
    const bool ready = co_await AwaitReadyToInject(p_, in.WinHwnd, Aim{in.WinHwnd, inPoint}) &&
                       (!clickSend || co_await AwaitPointReaches(p_, send.WinHwnd, sendPoint));
    if (ready) {
        inject_.ClickAt(inPoint.x, inPoint.y, 1);
        // Counted from here: a clipboard manager may have asked already.
        const std::optional<int> readsBefore = p_.clipboard.Reads();
        // A run that never went through whole left the chat's box in a state we do not know:
        // sending it could send the old draft, or a bare letter, in front of the translation.
        const bool replaced = inject_.PressChordRun({{vk::Letter('A'), vk::Control, 100},
                                                     {vk::Delete, kDeleteWrapper, 100},
                                                     {vk::Letter('V'), vk::Control, 1}});
        if (!replaced) {
            done = broken;
        } else {
            // The chat program asks our clipboard for the paste meanwhile.
            co_await platform::Delay(p_.loop, 300);
            // One that asks late would get the send first and paste afterwards: where the
            // requests can be seen, the send waits for the chat window to take the text.
            if (readsBefore && !co_await platform::Until(
                                   p_.loop, [&] { return p_.clipboard.Reads() > readsBefore; },
                                   kPasteReadBoundMs)) {
                done = Delivery::Failed(kSendPasteNotTaken, u"聊天窗口未取走译文");
            } else if (state_.SendShortcutKey > 0) {
                // Codes are 0..255 by construction (the shortcut dialog offers nothing else).
                const bool pressed = inject_.PressKeyChord(
                    static_cast<std::uint8_t>(state_.SendShortcutKey),
                    static_cast<std::uint8_t>(state_.SendShortcutControl), 100);
                done = pressed ? Delivery{true, {}, {}} : broken;
            } else if (clickSend) {
                // The paste took time; the button must still be there to be clicked.
                if (co_await AwaitPointReaches(p_, send.WinHwnd, sendPoint)) {
                    inject_.ClickAt(sendPoint.x, sendPoint.y, 10);
                    done = {true, {}, {}};
                }
            } else {
                done = {true, {}, {}};  // nothing to press: the translation waits in the box
            }
        }
    }
    co_await p_.windows.SetTopmost(chat, false, rect);
    if (minimised) co_await p_.windows.ShowWindow(chat, platform::ShowCommand::Minimize);
    p_.input.MoveCursor(saved.x, saved.y);
    co_await platform::Delay(p_.loop, 1);
    p_.windows.ShowCursor(false);
    co_await p_.windows.SetForegroundWindow(view_.Controls().Handle());
    co_return done;
}

}  // namespace velmora::relay
