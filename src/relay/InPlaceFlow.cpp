#include "relay/InPlaceFlow.h"

#include <exception>

#include "platform/Utf8.h"
#include "platform/VirtualKey.h"
#include "relay/Echo.h"

namespace velmora::relay {

namespace vk = platform::vk;

namespace {

// How long each injected chord is held, and how long the focused program gets to read the
// translation from the clipboard before the old text goes back.
constexpr int kChordMs = 50;
constexpr int kPasteSettleMs = 300;
constexpr int kSendChordMs = 100;

// The focused input box of a window the desktop names, reached by its place in the window.
class WindowField : public platform::ITextField {
  public:
    WindowField(platform::Platform& p, platform::WinHandle window, platform::Point at)
        : p_(p), window_(window), at_(at) {}
    bool HasFocus() override { return p_.windows.FocusedWindow() == window_; }
    std::optional<std::u16string> Text() override {
        return p_.accessibility.InputTextAt(window_, at_);
    }
    bool SetText(std::u16string_view text) override {
        return p_.accessibility.SetInputTextAt(window_, at_, text);
    }
    bool Send() override { return p_.accessibility.SendActionAt(window_, at_); }

  private:
    platform::Platform& p_;
    platform::WinHandle window_;
    platform::Point at_;
};

}  // namespace

InPlaceFlow::InPlaceFlow(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                         RelayState& state, mduSendBuffer& sendBuffer, ITranslate& translator,
                         const translate::clsGoogleLanguages& languages, RelayScheduler& scheduler)
    : RelayFlow(platform, view, resultBox, state, sendBuffer, languages, scheduler),
      translator_(translator) {}

void InPlaceFlow::OnShortcut() {
    scheduler_.Submit(RelayJob::InPlace, [this] { return RunOnce(); });
}

platform::Task<bool> InPlaceFlow::PollUntil(std::function<bool()> done, int boundMs) {
    for (int waited = 0;; waited += kPollStepMs) {
        if (done()) co_return true;
        if (waited >= boundMs) co_return false;
        co_await platform::Delay(p_.loop, kPollStepMs);
    }
}

void InPlaceFlow::WriteEcho(const std::u16string& typed, const std::u16string& translation) {
    // The outgoing flow's echo, without taking the focus: the user stays in the other window.
    box_.ScrollToEnd();
    relay::WriteEcho(box_, u"\r\n", p_.clock.NowLocal(), typed, translation);
}

void InPlaceFlow::Fail(std::u16string tip) {
    view_.ShowTip(tip);
}

platform::Task<std::optional<std::u16string>> InPlaceFlow::TranslateTyped(std::u16string typed,
                                                                          std::u16string& tip) {
    const std::string source = languages_.getKeyByDesc(view_.Controls().Languages().MyDesc());
    const std::string target = languages_.getKeyByDesc(view_.Controls().Languages().OtherDesc());
    const translate::TranslationOutcome outcome = co_await platform::Aside(
        p_.loop, [&] { return translator_.Translate(typed, source, target); });
    if (outcome.complete && !outcome.text.empty()) co_return outcome.text;
    // Part of a message, or nothing, would replace what the user wrote.
    tip = kInPlaceTranslationFailed;
    const std::string reason = outcome.ReasonForUser();
    if (!reason.empty()) tip += u"：" + platform::Utf8Decode(reason);
    co_return std::nullopt;
}

void InPlaceFlow::PressSendShortcut() {
    if (state_.SendShortcutKey <= 0) return;
    // Codes are 0..255 by construction (the shortcut dialog offers nothing else).
    inject_.PressKeyChord(static_cast<std::uint8_t>(state_.SendShortcutKey),
                          static_cast<std::uint8_t>(state_.SendShortcutControl), kSendChordMs);
}

platform::Task<> InPlaceFlow::RunThroughTree(std::unique_ptr<platform::ITextField> field,
                                             std::u16string typed) {
    std::u16string tip;
    auto translation = co_await TranslateTyped(typed, tip);
    if (!translation) {
        Fail(tip);
        co_return;
    }
    // The translation waited on engines: the user may have gone on to another window.
    if (!field->HasFocus()) {
        Fail(std::u16string(kInPlaceFocusMoved));
        co_return;
    }
    // The user may have typed on meanwhile: what is replaced must be what was translated.
    if (field->Text() != typed || !field->SetText(*translation)) {
        Fail(std::u16string(kInPlaceNotWritten));
        co_return;
    }
    WriteEcho(typed, *translation);
    sendBuffer_.BufferSentText(*translation);
    if (!sendAfterPaste_) co_return;
    if (!field->Send()) {
        if (state_.SendShortcutKey <= 0) co_return;  // nothing sends, as on the clipboard's way
        PressSendShortcut();
    }
    // Sent means the program took the text out of its input box.
    const bool emptied = co_await PollUntil(
        [&] {
            auto now = field->Text();
            return now && now->empty();
        },
        kSendConfirmBoundMs);
    if (!emptied) Fail(std::u16string(kInPlaceSendNotConfirmed));
}

platform::Task<> InPlaceFlow::RunWithoutWindow() {
    // No key may be sent where the focus is not known; the tree names the focused input box
    // itself, and writing there needs no key.
    std::unique_ptr<platform::ITextField> field;
    std::optional<std::u16string> typed;
    try {
        field = p_.accessibility.FocusedFieldOnDesktop();
        if (field) typed = field->Text();
    } catch (const std::exception&) {
        co_return;
    }
    if (!field) {
        Fail(std::u16string(kInPlaceFocusUnknown));
    } else if (!typed || typed->empty()) {
        Fail(std::u16string(kInPlaceNothingCopied));
    } else {
        co_await RunThroughTree(std::move(field), *typed);
    }
}

platform::Task<> InPlaceFlow::RunOnce() {
    state_.InPlaceRunning = true;
    state_.SendRunning = true;
    struct Restore {
        RelayState& s;
        ~Restore() {
            s.InPlaceRunning = false;
            s.SendRunning = false;
        }
    } restoreState{state_};

    // A held Alt would turn our Ctrl+A into Ctrl+Alt+A, and the shortcut's grab would swallow
    // our keys.
    if (!co_await PollUntil([&] { return !p_.input.AnyKeyDown(); }, kReleaseBoundMs)) {
        Fail(std::u16string(kInPlaceKeysHeld));
        co_return;
    }
    const platform::WinHandle window = p_.windows.FocusedWindow();
    if (window == 0) {
        co_await RunWithoutWindow();
        co_return;
    }
    // Our own windows: the result box would be copied, translated and echoed into itself.
    if (p_.windows.IsOwnWindow(window)) {
        Fail(std::u16string(kInPlaceOwnWindow));
        co_return;
    }

    std::optional<platform::Point> treeField;
    std::u16string treeText;
    try {
        if (auto field = p_.accessibility.FocusedInputPoint(window)) {
            auto text = p_.accessibility.InputTextAt(window, *field);
            if (text && !text->empty()) {
                treeText = *text;
                treeField = *field;
            }
        }
    } catch (const std::exception&) {
        co_return;
    }
    if (treeField) {
        co_await RunThroughTree(std::make_unique<WindowField>(p_, window, *treeField), treeText);
        co_return;
    }

    std::u16string typed;
    std::u16string translation;
    try {
        // Every format, so an image or a file list the user copied comes back as it was.
        const platform::ClipboardContents old =
            p_.clipboard.Save().value_or(platform::ClipboardContents{});
        auto giveBack = [&] { p_.clipboard.Restore(old); };
        // Emptied first, so a copy of the very text the clipboard held still shows as new.
        p_.clipboard.Clear();
        inject_.PressChordRun(
            {{vk::Letter('A'), vk::Control, kChordMs}, {vk::Letter('C'), vk::Control, kChordMs}});
        co_await PollUntil(
            [&] {
                typed = p_.clipboard.Text().value_or(u"");
                return !typed.empty();
            },
            kCopyBoundMs);
        if (typed.empty()) {
            giveBack();
            Fail(std::u16string(kInPlaceNothingCopied));
            co_return;
        }

        std::u16string tip;
        auto translated = co_await TranslateTyped(typed, tip);
        if (!translated) {
            giveBack();
            Fail(tip);
            co_return;
        }
        translation = *translated;

        if (!p_.clipboard.SetText(translation)) {
            giveBack();
            co_return;
        }
        // The translation waited on engines: the user may have gone on to another window,
        // whose text Ctrl+A, Ctrl+V would destroy.
        if (p_.windows.FocusedWindow() != window) {
            giveBack();
            Fail(std::u16string(kInPlaceFocusMoved));
            co_return;
        }
        // Counted from here: a clipboard manager may have asked already.
        const std::optional<int> readsBefore = p_.clipboard.Reads();
        inject_.PressChordRun(
            {{vk::Letter('A'), vk::Control, kChordMs}, {vk::Letter('V'), vk::Control, kChordMs}});
        co_await platform::Delay(p_.loop, kPasteSettleMs);
        // A program that reads the clipboard late would paste the old contents given back, and
        // with send on, send them: the old contents go back once it has taken the translation.
        if (readsBefore && !co_await PollUntil([&] { return p_.clipboard.Reads() > readsBefore; },
                                               kPasteReadBoundMs)) {
            giveBack();
            Fail(std::u16string(kInPlacePasteNotTaken));
            co_return;
        }
        if (sendAfterPaste_) PressSendShortcut();
        giveBack();
    } catch (const std::exception&) {
        // A failing platform call ends the run silently, as in the outgoing flow.
        co_return;
    }
    WriteEcho(typed, translation);
    sendBuffer_.BufferSentText(translation);
}

}  // namespace velmora::relay
