#include "platform/fake/FakePlatform.h"

#include <algorithm>

#include "platform/Utf8.h"

namespace velmora::platform::fake {

namespace {
constexpr std::int64_t kDayMs = 86'400'000;
// 2009-09-23 is day 14510 since 1970-01-01; the fake clock starts there at 09:05:07.
constexpr std::int64_t kStartMs = (14510LL * 86400 + 9 * 3600 + 5 * 60 + 7) * 1000;
}  // namespace

FakeClock::FakeClock() : nowMs_(kStartMs) {}

LocalTime FakeClock::NowLocal() {
    std::int64_t days = nowMs_ / kDayMs;
    std::int64_t secs = (nowMs_ % kDayMs) / 1000;
    // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
    std::int64_t z = days + 719468;
    std::int64_t era = z / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    LocalTime t;
    t.year = static_cast<int>(y + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>(secs / 60 % 60);
    t.second = static_cast<int>(secs % 60);
    return t;
}

void FakeEventLoop::Yield() {
    ++yields_;
    if (logWaits) log_.Add("yield");
    RunDue();
}

void FakeEventLoop::Wait(int ms) {
    if (logWaits) log_.Add("wait " + std::to_string(ms));
    // Step in 10 ms slices so the hook sees time pass.
    std::int64_t end = clock_.NowMs() + std::max(ms, 0);
    RunDue();
    while (clock_.NowMs() < end) {
        clock_.AdvanceMs(std::min<std::int64_t>(kPollMs, end - clock_.NowMs()));
        RunDue();
    }
}

void FakeEventLoop::Hold(int ms) {
    if (logWaits) log_.Add("hold " + std::to_string(ms));
    if (onHold) onHold();
    clock_.AdvanceMs(std::max(ms, 0));
}

bool FakeEventLoop::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    std::int64_t end = clock_.NowMs() + std::max(timeoutMs, 0);
    RunDue();
    while (!done()) {
        if (clock_.NowMs() >= end) return done();
        clock_.AdvanceMs(std::min<std::int64_t>(kPollMs, end - clock_.NowMs()));
        RunDue();
    }
    return true;
}

void FakeEventLoop::After(int ms, std::function<void()> fn) {
    if (logWaits) log_.Add("wait " + std::to_string(ms));
    queue_.After(clock_.SteadyMs() + std::max(ms, 0), std::move(fn));
}

void FakeEventLoop::RunAside(std::function<void()> work, std::function<void()> done) {
    auto item = std::make_shared<AsideWork>(AsideWork{std::move(work)});
    aside_.push_back(item);
    queue_.Post([this, item, done = std::move(done)] {
        if (!item->ran) {
            item->ran = true;
            item->work();
        }
        std::erase(aside_, item);
        done();
    });
}

void FakeEventLoop::JoinAside() {
    for (const auto& item : std::vector(aside_)) {
        if (item->ran) continue;
        item->ran = true;
        item->work();
    }
    aside_.clear();
}

bool FakeEventLoop::Run(int limitMs) {
    const std::int64_t end = clock_.SteadyMs() + std::max(limitMs, 0);
    while (auto due = queue_.NextDue()) {
        while (clock_.SteadyMs() < *due) {
            if (clock_.SteadyMs() >= end) return false;
            clock_.AdvanceMs(std::min<std::int64_t>(kPollMs, *due - clock_.SteadyMs()));
            RunDue();
            // What the hook posted (an event's handler) runs now, not at the old due time.
            due = queue_.NextDue();
        }
        RunDue();
        queue_.RunOne(clock_.SteadyMs());
    }
    return true;
}

void FakeEventLoop::RunDue() {
    // Nested waits inside the hook must not re-enter it.
    if (depth_ > 0) return;
    ++depth_;
    if (onYield) onYield();
    --depth_;
}

void FakeInput::MoveCursor(std::int32_t x, std::int32_t y) {
    cursor = {x, y};
    log_.Add("move " + std::to_string(x) + "," + std::to_string(y));
}

void FakeInput::KeyUp(std::uint8_t vk) {
    log_.Add("kup " + std::to_string(vk));
    down.erase(vk);
}

Point FakeInput::CursorPos() {
    log_.Add("getcursor");
    return cursor;
}

bool FakeClipboard::Clear() {
    log_.Add("clipboard clear");
    if (failWrites) return false;
    text.clear();
    image = {};
    other.clear();
    return true;
}

bool FakeClipboard::SetText(const std::u16string& t) {
    log_.Add("clipboard settext");
    if (failWrites) return false;
    text = t;
    image = {};
    other.clear();
    reads = 0;
    return true;
}

std::optional<ClipboardContents> FakeClipboard::Save() {
    if (failReads) return std::nullopt;
    ClipboardContents saved;
    if (!text.empty()) saved.formats.emplace_back("text/plain;charset=utf-8", Utf8Encode(text));
    saved.formats.insert(saved.formats.end(), other.begin(), other.end());
    return saved;
}

bool FakeClipboard::Restore(const ClipboardContents& contents) {
    log_.Add("clipboard restore");
    if (failWrites) return false;
    text.clear();
    image = {};
    other.clear();
    for (const auto& [format, bytes] : contents.formats) {
        if (format == "text/plain;charset=utf-8")
            text = Utf8Decode(bytes);
        else
            other.emplace_back(format, bytes);
    }
    return true;
}

std::optional<std::u16string> FakeClipboard::Text() {
    if (failReads) return std::nullopt;
    return text;
}

bool FakeClipboard::SetImage(const Bitmap& img) {
    log_.Add("clipboard setimage");
    if (failWrites) return false;
    image = img;
    text.clear();
    other.clear();
    return true;
}

void FakeScreen::CaptureToClipboard() {
    log_.Add("capture");
    Bitmap b;
    b.width = 4;
    b.height = 3;
    b.pixels.assign(12, 0xFF336699u);
    clipboard_.SetImage(b);
}

HttpResponse FakeHttp::Send(const HttpRequest& request) {
    requests.push_back(request);
    if (handler) return handler(request);
    if (responses.empty()) throw HttpError("connection refused");
    HttpResponse r = responses.front();
    responses.pop_front();
    return r;
}

namespace {
class LiteralRegex : public ICompiledRegex {
  public:
    explicit LiteralRegex(std::u16string p) : p_(std::move(p)) {}
    std::optional<RegexMatch> Search(std::u16string_view text) const override {
        auto pos = text.find(p_);
        if (pos == std::u16string_view::npos) return std::nullopt;
        return RegexMatch{pos, p_.size()};
    }

  private:
    std::u16string p_;
};
}  // namespace

std::unique_ptr<ICompiledRegex> FakeRegexEngine::Compile(std::u16string_view pattern) {
    ++compiled;
    return std::make_unique<LiteralRegex>(std::u16string(pattern));
}

std::string FakeCodePage::ToAnsi(std::u16string_view text) const {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('?');
            out.push_back('?');
        }
    }
    return out;
}

std::u16string FakeCodePage::FromAnsi(std::string_view bytes) const {
    std::u16string out;
    for (unsigned char c : bytes) out.push_back(c < 0x80 ? c : u'?');
    return out;
}

// UTF-8 is plain computation, not an operating-system service: the real codec serves here too.
std::string FakeCodePage::ToUtf8(std::u16string_view text) const {
    return Utf8Encode(text);
}

std::u16string FakeCodePage::FromUtf8(std::string_view bytes) const {
    return Utf8Decode(bytes);
}

bool FakeProcess::StartDetachedScript(const std::filesystem::path& script) {
    started.push_back(script);
    return true;
}

}  // namespace velmora::platform::fake
