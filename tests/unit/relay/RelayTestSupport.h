#pragma once

// Stand-ins for the main window and the translator, shared by the relay tests.

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "relay/IMainView.h"
#include "relay/ITranslate.h"
#include "relay/RelayState.h"
#include "relay/fake/RecordingResultBox.h"
#include "relay/mduSendBuffer.h"

namespace velmora::relay::testing {

inline std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// Translates by wrapping the text in the target code: "hi" to zh-CN gives "[zh-CN]hi".
class FakeTranslate : public ITranslate {
  public:
    struct Call {
        std::u16string text;
        std::string source;
        std::string target;
    };
    std::u16string TranslateText(const std::u16string& text, const std::string& source,
                                 const std::string& target) override {
        calls.push_back({text, source, target});
        if (onTranslate) onTranslate();
        if (fixed) return *fixed;
        return u"[" + std::u16string(target.begin(), target.end()) + u"]" + text;
    }
    // The outcome when `outcome` is set (a partial or failed translation); TranslateText's
    // result otherwise.
    translate::TranslationOutcome Translate(const std::u16string& text, const std::string& source,
                                            const std::string& target) override {
        if (!outcome) return ITranslate::Translate(text, source, target);
        calls.push_back({text, source, target});
        if (onTranslate) onTranslate();
        return *outcome;
    }
    std::vector<Call> calls;
    std::optional<std::u16string> fixed;
    std::optional<translate::TranslationOutcome> outcome;
    std::function<void()> onTranslate;  // runs inside the call, like the yield after an exchange
};

// Shows a piece of history as a capture does, on a fake loop of its own run to the end (the
// translations run aside at its turns). What the showing threw is thrown here.
inline void ShowHistory(mduSendBuffer& buffer, std::u16string_view text,
                        const std::string& sourceCode, const std::string& targetCode,
                        IResultBox& box) {
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::Task<> job =
        buffer.ProcessNewHistory(loop, std::u16string(text), sourceCode, targetCode, box);
    bool ended = false;
    std::exception_ptr error;
    job.Start([&](std::exception_ptr e) {
        ended = true;
        error = e;
    });
    loop.Run();
    if (error) std::rethrow_exception(error);
    if (!ended) throw std::logic_error("the history was not shown to its end");
}

// The main window as the flows see it. Actions go to the platform's log, so a test can read the
// whole sequence in one place. Focus moves play the window's focus handlers through the state.
class FakeView : public IMainControls,
                 public ISendBox,
                 public ILanguageLists,
                 public ITimeKeeper,
                 public IMainView {
  public:
    FakeView(platform::fake::FakePlatform& fp, RelayState& state) : fp_(fp), state_(state) {}

    std::u16string Text() override { return sendText; }
    void Clear() override {
        fp_.log.Add("view clear send");
        sendText.clear();
    }
    void SetText(const std::u16string& text) override {
        fp_.log.Add("view set send " + Narrow(text));
        sendText = text;
    }
    void Focus() override {
        fp_.log.Add("view focus send");
        sendFocused = true;
        state_.ResultBoxFocused = false;
        lastFocusSendMs = fp_.clock.NowMs();
    }
    bool IsComposing() override { return composing; }
    void SetSendMaskVisible(bool visible) override {
        fp_.log.Add(std::string("view mask ") + (visible ? "1" : "0"));
        maskVisible = visible;
    }
    std::u16string MyDesc() override { return myLanguage; }
    std::u16string OtherDesc() override { return otherLanguage; }
    void SetCaption(const std::u16string& caption) override {
        if (captions.empty() || captions.back().first != caption)
            captions.push_back({caption, fp_.clock.NowMs()});
        timeKeeper = caption;
    }
    void SetVisible(bool visible) override {
        if (timeKeeperVisible && !visible) timeKeeperHiddenMs = fp_.clock.NowMs();
        timeKeeperVisible = visible;
    }
    void Fill(const std::vector<std::u16string>&) override {}
    ISendBox& SendBox() override { return *this; }
    ILanguageLists& Languages() override { return *this; }
    ITimeKeeper& TimeKeeper() override { return *this; }
    bool IsActive() override { return active; }
    platform::WinHandle Handle() override { return 256; }
    IMainControls& Controls() override { return *this; }
    void ShowTip(const std::u16string& text) override {
        fp_.log.Add("view tip");
        tip = text;
    }
    void OfferEngineSettings() override { ++enginesOffered; }
    void SetTranslating(bool on) override {
        translating = on;
        ++translatingChanges;
    }
    [[noreturn]] void EndProgram() override {
        endedAtMs = fp_.clock.NowMs();
        fp_.process.ExitNow(0);
    }
    int enginesOffered = 0;
    bool translating = false;
    int translatingChanges = 0;

    // Called by the result box fake when it takes the focus: txtSend loses it.
    void ResultBoxTookFocus() {
        sendFocused = false;
        state_.ResultBoxFocused = true;
        state_.CountdownAborted = true;
        timeKeeperVisible = false;
    }

    std::u16string sendText;
    std::u16string myLanguage = u"中文(简体)";
    std::u16string otherLanguage = u"英语";
    std::u16string timeKeeper;
    std::vector<std::pair<std::u16string, std::int64_t>> captions;  // distinct changes, with time
    std::u16string tip;
    bool timeKeeperVisible = false;
    std::int64_t timeKeeperHiddenMs = -1;  // when it last went from shown to hidden
    std::int64_t endedAtMs = -1;           // when the program was ended
    bool maskVisible = true;
    bool active = true;
    bool sendFocused = true;
    bool composing = false;
    std::int64_t lastFocusSendMs = -1;

  private:
    platform::fake::FakePlatform& fp_;
    RelayState& state_;
};

}  // namespace velmora::relay::testing
