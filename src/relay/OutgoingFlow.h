#pragma once

#include <string>

#include "platform/Async.h"
#include "relay/ITranslate.h"
#include "relay/RelayFlow.h"

namespace velmora::relay {

// Shown in the tip panel when a send cannot reach the IM client because no input box is picked.
inline constexpr std::u16string_view kPickInputAreaFirst = u"请先设置输入框位置";
inline constexpr std::u16string_view kSendNotConfirmed =
    u"译文已放入聊天窗口的输入框，但未能确认已发出，请在聊天窗口中查看。";
// Shown when a send is asked for while another send or a history capture runs.
inline constexpr std::u16string_view kSendQueued = u"正在发送，稍后发送";
// Shown when the user still held keys (the send shortcut, say) long after the send began: our
// Ctrl+A would have become Ctrl+Alt+A and the like.
inline constexpr std::u16string_view kSendKeysHeld = u"按键一直未松开，未发送，请松开按键后重试";
// Shown, followed by the reason, when the translation failed and nothing was sent.
inline constexpr std::u16string_view kNotSentTranslationFailed = u"翻译失败，未发送";
// Shown when an injected key run did not reach the chat window whole (the system let go of a
// modifier under it every time): what arrived is not what we meant to send.
inline constexpr std::u16string_view kSendKeysBroken =
    u"按键未能完整送达聊天窗口，未发送，请查看聊天窗口的输入框";
// Shown when the chat window never asked for the pasted translation: clicking its send button
// then would send an empty box, or the paste arriving later would wait there unsent.
inline constexpr std::u16string_view kSendPasteNotTaken =
    u"聊天窗口未取走译文，未点击发送，请查看聊天窗口的输入框";
// Shown when another program holds the clipboard open.
inline constexpr std::u16string_view kSendClipboardBusy = u"剪贴板被其他程序占用，未发送";
// Shown when a system call failed on the way.
inline constexpr std::u16string_view kSendSystemFailed = u"系统操作失败，未发送";

// Shown when the user cancelled a send (Esc) while it was being translated.
inline constexpr std::u16string_view kSendCancelled = u"已取消，未发送";
// The progress tip, shown once a send's translation has taken kProgressAfterMs.
inline constexpr int kProgressAfterMs = 500;
std::u16string TranslatingTip(std::int64_t elapsedMs);

// The echo's note when both languages are the same and the text went out as typed.
inline constexpr std::u16string_view kEchoSameLanguage = u"两边语言相同，原文发送，未经翻译";
// The tip when no configured engine offers the pair: the two language names go in between.
std::u16string NoEngineTip(const std::u16string& from, const std::u16string& to);

// The echo's notes: why a text was not sent, or that its send could not be confirmed.
inline constexpr std::u16string_view kEchoNotSent = u"未发送：";
inline constexpr std::u16string_view kEchoNotConfirmed = u"未能确认已发出";

// The outgoing message flow: translate what the user typed, echo it in the result box, paste the
// translation into the IM client's input box and send it.
class OutgoingFlow : RelayFlow {
  public:
    OutgoingFlow(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                 RelayState& state, mduSendBuffer& sendBuffer, ITranslate& translator,
                 const translate::clsGoogleLanguages& languages, RelayScheduler& scheduler);

    // The send command (button, send image release, Ctrl+Enter, Alt+S): a job of the
    // scheduler. While another job runs it is queued (once) and sends what txtSend holds when
    // its turn comes.
    void Send();
    // Esc in txtSend: abandons the send whose translation is under way (its request is given
    // up, nothing is sent, the typed text stays). False when no translation runs.
    bool Cancel();
    bool SendPending() const { return scheduler_.Queued(RelayJob::Send); }

  private:
    // How a send ended: sent (or left in the chat's box, as asked), or why not. The tip is
    // shown; the echo note follows the echo (empty when the send went out as meant).
    struct Delivery {
        bool sent = false;
        std::u16string tip;
        std::u16string echoNote;
        static Delivery Failed(std::u16string_view tip, std::u16string_view why);
    };

    platform::Task<> SendOnce();
    platform::Task<Delivery> Deliver(std::u16string translation);
    void RemoveSentText(const std::u16string& sent);
    void WriteEcho(const std::u16string& typed, const std::u16string& translation,
                   std::u16string_view note);
    // Clicks into the chat's input box, replaces its text by the clipboard's and sends.
    platform::Task<Delivery> DriveImClient();
    enum class TreeSend { NotTried, Sent, NotConfirmed };
    // Puts the text into the chat input box and runs its send action through the chat
    // program's accessibility tree, then waits (bounded) for the input box to empty.
    platform::Task<TreeSend> SendThroughTree(std::u16string text);

    ITranslate& translator_;
    bool enginesOffered_ = false;  // the engine dialog is offered once a run
    bool translating_ = false;

  public:
    static constexpr int kKeysUpBoundMs = 10'000;  // the user letting go of the send shortcut
    // The chat window asking for the pasted text; a loaded desktop may take seconds.
    static constexpr int kPasteReadBoundMs = 5'000;
};

}  // namespace velmora::relay
