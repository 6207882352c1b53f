#pragma once

// In-memory stand-ins for every port, for unit tests of the logic. Actions that reach the
// outside world are appended to one shared log so a test can compare exact sequences.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/LoopQueue.h"
#include "platform/Platform.h"
#include "platform/fake/ActionLog.h"
#include "platform/fake/FakeKeyStore.h"
#include "platform/fake/FakeWindows.h"

namespace velmora::platform::fake {

class FakeClock : public IClock {
  public:
    // Starts at 2009-09-23 09:05:07 local time.
    FakeClock();
    std::int64_t NowMs() override { return nowMs_; }
    std::int64_t SteadyMs() override { return steadyMs_; }
    LocalTime NowLocal() override;
    // Time passes: both clocks move on.
    void AdvanceMs(std::int64_t ms) {
        nowMs_ += ms;
        steadyMs_ += ms;
    }
    // The wall clock is set (a user, a time zone, daylight-saving time); the steady one stays.
    void SetMs(std::int64_t ms) { nowMs_ = ms; }

  private:
    std::int64_t nowMs_;
    std::int64_t steadyMs_ = 1'000'000;  // not the wall time, so a mix-up shows
};

// Waits advance the fake clock instead of sleeping.
class FakeEventLoop : public IEventLoop {
  public:
    FakeEventLoop(FakeClock& clock, ActionLog& log) : clock_(clock), log_(log) {}
    void Post(std::function<void()> fn) override { queue_.Post(std::move(fn)); }
    // Logged as "wait ms", as the waits are.
    void After(int ms, std::function<void()> fn) override;
    // The work runs on the test's thread at the next turn, then done: the same order as a
    // thread that answers at once, without a thread's timing.
    void RunAside(std::function<void()> work, std::function<void()> done) override;
    // As a thread would be waited for: work not yet run runs now (its done stays queued).
    void JoinAside() override;
    // Runs what is queued, moving the fake clock on to each timer's time in kPollMs steps
    // (the hook below runs at each step and before each entry), until nothing is queued or
    // limitMs of fake time passed. True when the queue emptied.
    bool Run(int limitMs = 600'000);
    bool Idle() const { return !queue_.NextDue(); }
    void Yield() override;
    void Wait(int ms) override;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override;
    void Wake() override { ++wakes_; }
    // Time passes; nothing else runs (the hook below is not called).
    void Hold(int ms) override;

    // Runs at every yield and every step of a wait: lets a test play "other events".
    std::function<void()> onYield;
    // Runs once in each hold: what other programs and the system do meanwhile (never our own
    // handlers, which a hold does not run).
    std::function<void()> onHold;
    // Whether Yield/Wait are written to the log (on by default).
    bool logWaits = true;
    int wakes() const { return wakes_; }
    int yields() const { return yields_; }

  private:
    void RunDue();
    struct AsideWork {
        std::function<void()> work;
        bool ran = false;
    };
    std::vector<std::shared_ptr<AsideWork>> aside_;
    LoopQueue queue_;
    FakeClock& clock_;
    ActionLog& log_;
    int wakes_ = 0;
    int yields_ = 0;
    int depth_ = 0;
};

class FakeInput : public IInput {
  public:
    explicit FakeInput(ActionLog& log) : log_(log) {}
    void MoveCursor(std::int32_t x, std::int32_t y) override;
    Point CursorPos() override;
    void LeftDown() override { log_.Add("ldown"); }
    void LeftUp() override { log_.Add("lup"); }
    void KeyDown(std::uint8_t vk) override {
        log_.Add("kdown " + std::to_string(vk));
        down.insert(vk);
    }
    void KeyUp(std::uint8_t vk) override;
    // Keys pressed through this port and not yet released, or the user's keys.
    bool AnyKeyDown() override { return userKeyDown || !down.empty(); }
    // A test lets go of a held key under the caller by erasing it from down (through onYield).
    bool IsKeyDown(std::uint8_t vk) override { return down.count(vk) > 0; }
    bool AnyButtonDown() override { return buttonHeld; }
    Point cursor;
    std::set<std::uint8_t> down;
    bool userKeyDown = false;  // the user holds a key (a test releases it through onYield)
    bool buttonHeld = false;   // a button counts as down (a test releases it through onYield)

  private:
    ActionLog& log_;
};

class FakeClipboard : public IClipboard {
  public:
    explicit FakeClipboard(ActionLog& log) : log_(log) {}
    bool Clear() override;
    bool SetText(const std::u16string& text) override;
    std::optional<std::u16string> Text() override;
    bool SetImage(const Bitmap& image) override;
    Bitmap Image() override { return image; }
    // The text under "text/plain;charset=utf-8", then `other`.
    std::optional<ClipboardContents> Save() override;
    bool Restore(const ClipboardContents& contents) override;
    std::optional<int> Reads() override {
        return seesReads ? std::optional<int>(reads) : std::nullopt;
    }

    std::u16string text;
    Bitmap image;
    // Formats besides the text (an image a program put there, say); every write replaces them.
    std::vector<std::pair<std::string, std::string>> other;
    bool failWrites = false;
    bool failReads = false;
    // Whether Reads() sees other programs' requests; a test counts them in reads (SetText
    // starts it over).
    bool seesReads = false;
    int reads = 0;

  private:
    ActionLog& log_;
};

class FakeScreen : public IScreen {
  public:
    FakeScreen(FakeClipboard& clipboard, ActionLog& log) : clipboard_(clipboard), log_(log) {}
    void CaptureToClipboard() override;
    Rect VirtualScreen() override { return {0, 0, 1024, 768}; }

  private:
    FakeClipboard& clipboard_;
    ActionLog& log_;
};

// Answers from a queue (or a handler); records every request.
class FakeHttp : public IHttp {
  public:
    HttpResponse Send(const HttpRequest& request) override;
    std::vector<HttpRequest> requests;
    std::deque<HttpResponse> responses;                       // empty queue: transport failure
    std::function<HttpResponse(const HttpRequest&)> handler;  // used when set
};

// Treats the pattern as a literal string: enough for logic that only routes through the port.
class FakeRegexEngine : public IRegexEngine {
  public:
    std::unique_ptr<ICompiledRegex> Compile(std::u16string_view pattern) override;
    int compiled = 0;
};

// ASCII is one byte, everything else two; UTF-8 is the real codec.
class FakeCodePage : public ICodePage {
  public:
    int AnsiWidth(char16_t c) const override { return c < 0x80 ? 1 : 2; }
    std::string ToAnsi(std::u16string_view text) const override;
    std::u16string FromAnsi(std::string_view bytes) const override;
    std::string ToUtf8(std::u16string_view text) const override;
    std::u16string FromUtf8(std::string_view bytes) const override;
};

class FakeProcessorId : public IProcessorId {
  public:
    std::string ProcessorId() override { return id; }
    std::string id = "BFEBFBFF000906EA";
};

// ExitNow throws this, so a test can see the process "end".
struct FakeExit {
    int code;
};

class FakeProcess : public IProcess {
  public:
    std::filesystem::path ProgramFolder() override { return folder; }
    std::string ExecutableName() override { return "velmora"; }
    bool StartDetachedScript(const std::filesystem::path& script) override;
    [[noreturn]] void ExitNow(int code) override { throw FakeExit{code}; }
    std::filesystem::path folder = "/opt/velmora";
    std::vector<std::filesystem::path> started;
};

class FakeMessageBox : public IMessageBox {
  public:
    void Show(const std::u16string& text) override { shown.push_back(text); }
    std::vector<std::u16string> shown;
};

// Other programs' widgets by window: what their tree shows, and what was done through it.
class FakeAccessibility : public IAccessibility {
  public:
    explicit FakeAccessibility(ActionLog& log) : log_(log) {}
    std::optional<std::u16string> HistoryTextAt(WinHandle w, Point) override {
        auto it = history.find(w);
        if (it == history.end()) return std::nullopt;
        ++historyReads;
        return it->second;
    }
    std::optional<Rect> WidgetRectAt(WinHandle w, Point) override {
        auto it = widgetRect.find(w);
        if (it == widgetRect.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::u16string> InputTextAt(WinHandle w, Point) override {
        auto it = input.find(w);
        if (it == input.end()) return std::nullopt;
        return it->second;
    }
    bool SetInputTextAt(WinHandle w, Point, std::u16string_view text) override {
        auto it = input.find(w);
        if (it == input.end()) return false;
        it->second = std::u16string(text);
        log_.Add("a11y set " + std::to_string(w));
        return true;
    }
    std::optional<Point> FocusedInputPoint(WinHandle w) override {
        if (!focusedInput.count(w)) return std::nullopt;
        return focusedInput[w];
    }
    bool SendActionAt(WinHandle w, Point) override {
        if (!sendAction.count(w)) return false;
        log_.Add("a11y send " + std::to_string(w));
        if (onSend) onSend(w);
        return true;
    }
    bool TurnOnIfOff() override {
        const bool was = !enabled;
        enabled = true;
        return was;
    }
    // The input box the tree names where no window is named; gone when reset.
    struct DesktopField {
        std::u16string text;
        bool focused = true;
        bool sends = false;  // has an action that sends
    };
    std::unique_ptr<ITextField> FocusedFieldOnDesktop() override {
        if (!desktopField || !desktopField->focused) return nullptr;
        return std::make_unique<Field>(*this);
    }
    std::optional<DesktopField> desktopField;
    std::map<WinHandle, std::u16string> history, input;
    std::map<WinHandle, Rect> widgetRect;
    std::map<WinHandle, Point> focusedInput;  // where the focused input box lies
    std::set<WinHandle> sendAction;           // windows whose send control has an action
    std::function<void(WinHandle)> onSend;
    bool enabled = true;
    int historyReads = 0;

  private:
    class Field : public ITextField {
      public:
        explicit Field(FakeAccessibility& a) : a_(a) {}
        bool HasFocus() override { return a_.desktopField && a_.desktopField->focused; }
        std::optional<std::u16string> Text() override {
            if (!a_.desktopField) return std::nullopt;
            return a_.desktopField->text;
        }
        bool SetText(std::u16string_view text) override {
            if (!a_.desktopField) return false;
            a_.desktopField->text = std::u16string(text);
            a_.log_.Add("a11y set desktop field");
            return true;
        }
        bool Send() override {
            if (!a_.desktopField || !a_.desktopField->sends) return false;
            a_.log_.Add("a11y send desktop field");
            if (a_.onSend) a_.onSend(0);
            return true;
        }

      private:
        FakeAccessibility& a_;
    };
    ActionLog& log_;
};

// Owns one of each fake and hands out the Platform bundle.
struct FakePlatform {
    ActionLog log;
    FakeClock clock;
    FakeEventLoop loop{clock, log};
    FakeInput input{log};
    FakeWindows windows{log};
    FakeClipboard clipboard{log};
    FakeScreen screen{clipboard, log};
    FakeHttp http;
    FakeRegexEngine regex;
    FakeCodePage codePage;
    FakeKeyStore keyStore;
    FakeProcessorId processorId;
    FakeProcess process;
    FakeMessageBox messageBox;
    FakeAccessibility accessibility{log};

    Platform platform() { return platform(codePage, keyStore); }
    // The same with a real code page and key store, for tests of the program's registry use.
    Platform platform(ICodePage& realCodePage, IKeyStore& realKeyStore) {
        return Platform{.input = input,
                        .windows = windows,
                        .clipboard = clipboard,
                        .screen = screen,
                        .http = http,
                        .regex = regex,
                        .codePage = realCodePage,
                        .clock = clock,
                        .loop = loop,
                        .keyStore = realKeyStore,
                        .processorId = processorId,
                        .process = process,
                        .messageBox = messageBox,
                        .accessibility = accessibility};
    }
};

}  // namespace velmora::platform::fake
