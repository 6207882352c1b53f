#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Async.h"
#include "relay/ITranslate.h"
#include "relay/RelayFlow.h"

namespace velmora::relay {

// Told when an in-place translation left the text as typed, and why.
inline constexpr std::u16string_view kInPlaceKeysHeld = u"就地翻译：快捷键一直未松开，未替换";
inline constexpr std::u16string_view kInPlaceNothingCopied = u"就地翻译：没有复制到文字，未替换";
inline constexpr std::u16string_view kInPlaceTranslationFailed = u"就地翻译：翻译失败，未替换";
// No window has the focus, or the desktop does not say which (GNOME on Wayland) and no
// program's accessibility tree names the focused input box: keys sent now could land anywhere.
inline constexpr std::u16string_view kInPlaceFocusUnknown =
    u"就地翻译：无法得知哪个窗口有焦点（此桌面不告知），未替换";
inline constexpr std::u16string_view kInPlaceFocusMoved = u"就地翻译：焦点已离开原窗口，未替换";
inline constexpr std::u16string_view kInPlaceOwnWindow =
    u"就地翻译：焦点在本程序的窗口中，未替换。请在聊天程序的输入框中使用此快捷键。";
// Shown when the focused program never asked for the pasted translation.
inline constexpr std::u16string_view kInPlacePasteNotTaken =
    u"就地翻译：目标程序未取走译文，剪贴板已还原，未发送";
inline constexpr std::u16string_view kInPlaceNotWritten = u"就地翻译：输入框不接受写入，未替换";
inline constexpr std::u16string_view kInPlaceSendNotConfirmed =
    u"就地翻译：已替换为译文，但未能确认已发出，请在该窗口中查看。";

// Translate in place: the global shortcut replaces what the user typed in whatever window has
// the focus by its translation. Where the focused input box is in the accessibility tree, it is
// read and written there (the clipboard untouched, no key but a send where no action sends);
// elsewhere through the clipboard. Where the desktop names no focused window, only the tree's
// way is taken. No picked target is needed.
class InPlaceFlow : RelayFlow {
  public:
    // Bounds of the waits, in milliseconds.
    static constexpr int kReleaseBoundMs = 10'000;   // the user letting go of the shortcut
    static constexpr int kCopyBoundMs = 1'500;       // the focused program answering Ctrl+C
    static constexpr int kPasteReadBoundMs = 2'000;  // it asking for the pasted text
    static constexpr int kPollStepMs = 20;
    static constexpr int kSendConfirmBoundMs = 2'000;  // the program emptying its input box

    InPlaceFlow(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                RelayState& state, mduSendBuffer& sendBuffer, ITranslate& translator,
                const translate::clsGoogleLanguages& languages, RelayScheduler& scheduler);

    // Whether the send shortcut is pressed after the paste.
    void SetSendAfterPaste(bool send) { sendAfterPaste_ = send; }

    // The shortcut was pressed: a job of the scheduler. While another job runs it is queued
    // (once: more would translate the translation) and runs when that one has ended.
    void OnShortcut();
    bool Pending() const { return scheduler_.Queued(RelayJob::InPlace); }

  private:
    platform::Task<> RunOnce();
    // The translation of what the user typed, on a thread of its own; nullopt, and the tip
    // saying why, when there is none whole.
    platform::Task<std::optional<std::u16string>> TranslateTyped(std::u16string typed,
                                                                 std::u16string& tip);
    // The run through the tree: typed is the text of the focused input box.
    platform::Task<> RunThroughTree(std::unique_ptr<platform::ITextField> field,
                                    std::u16string typed);
    // The run where the desktop names no focused window: through the tree, or not at all.
    platform::Task<> RunWithoutWindow();
    // Presses the send shortcut when the user asked for a send after the paste.
    void PressSendShortcut();
    // Checks done() every step for at most boundMs, suspended on the event loop in between.
    platform::Task<bool> PollUntil(std::function<bool()> done, int boundMs);
    void WriteEcho(const std::u16string& typed, const std::u16string& translation);
    void Fail(std::u16string tip);

    ITranslate& translator_;
    bool sendAfterPaste_ = false;
};

}  // namespace velmora::relay
