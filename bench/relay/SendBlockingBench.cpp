// How long the event loop is held up during a send whose translation is slow: a send through
// the outgoing flow with a translation service that answers after 600 ms (translate-endpoint on
// loopback, over the real libcurl backend), the chat window and keys faked. The loop records
// the longest gap between two of its turns, for the translation alone and for the whole send
// (whose injected chords are held without turning the loop, by design, up to 100 ms each).
// Baseline from the same run: the same loop waiting idle for as long.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "platform/VirtualKey.h"
#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "relay/OutgoingFlow.h"
#include "relay/fake/RecordingResultBox.h"
#include "support/EndpointProcess.h"
#include "support/QueuedLoop.h"
#include "translate/mduTranslate.h"
#include "unit/relay/RelayTestSupport.h"

namespace {

using namespace velmora;
using Clock = std::chrono::steady_clock;

// A loop that sleeps in 1 ms slices and notes the longest time between two of its turns, over
// the whole run and over the spans marked by the translation (which may run on another thread).
class GapLoop : public QueuedLoop {
  public:
    void Yield() override { Turn(); }
    void Wait(int ms) override {
        const auto end = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
        Turn();
        while (Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            Turn();
        }
    }
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override {
        const auto end = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        Turn();
        while (!done() && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            Turn();
        }
        return done();
    }
    void Wake() override {}
    void Reset() {
        last_ = Clock::now();
        maxGapMs = 0;
        spanGapMs = 0;
    }
    // Called from the translation, on whatever thread it runs.
    void Mark(bool inside) { inSpan_ = inside; }
    double maxGapMs = 0;
    double spanGapMs = 0;

  private:
    void Turn() {
        if (!OnLoopThread()) return;  // work run aside never turns the loop
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last_).count();
        maxGapMs = std::max(maxGapMs, gap);
        if (inSpan_ || spanWasOpen_) spanGapMs = std::max(spanGapMs, gap);
        spanWasOpen_ = inSpan_;
        last_ = now;
        RunQueued();
    }
    Clock::time_point last_ = Clock::now();
    std::atomic<bool> inSpan_ = false;
    bool spanWasOpen_ = false;
};

// The translation under measurement: the slow service, with the span it takes marked.
class MeasuredTranslator : public translate::ITranslator {
  public:
    MeasuredTranslator(translate::ITranslator& inner, GapLoop& loop) : inner_(inner), loop_(loop) {}
    std::u16string TranslateText(const std::u16string& text, const std::string& src,
                                 const std::string& dst) override {
        loop_.Mark(true);
        auto out = inner_.TranslateText(text, src, dst);
        loop_.Mark(false);
        return out;
    }

  private:
    translate::ITranslator& inner_;
    GapLoop& loop_;
};

struct Rig {
    testing::EndpointProcess endpoint{{"--backend", "test", "--delay-ms", "600"}};
    GapLoop loop;
    platform::posix::IconvCodePage codePage;
    platform::posix::CurlHttp http{loop};
    translate::HttpTranslator service{{http, codePage, loop, endpoint.Url()}};
    MeasuredTranslator translator{service, loop};
    platform::fake::FakePlatform fp;
    platform::Platform p{.input = fp.input,
                         .windows = fp.windows,
                         .clipboard = fp.clipboard,
                         .screen = fp.screen,
                         .http = http,
                         .regex = fp.regex,
                         .codePage = codePage,
                         .clock = fp.clock,
                         .loop = loop,
                         .keyStore = fp.keyStore,
                         .processorId = fp.processorId,
                         .process = fp.process,
                         .messageBox = fp.messageBox,
                         .accessibility = fp.accessibility};
    relay::RelayState state;
    relay::testing::FakeView view{fp, state};
    relay::fake::RecordingResultBox box;
    relay::mduSendBuffer buffer{fp.regex, translator};
    relay::RelayScheduler scheduler{loop};
    relay::OutgoingFlow flow{
        p,        view, box, state, buffer, translator, translate::clsGoogleLanguages::Shared(),
        scheduler};
    Rig() {
        constexpr platform::WinHandle kChat = 768, kInput = 512;
        fp.windows.windows[kChat] = {{10, 20, 410, 320}, false, false};
        fp.windows.windows[kInput] = {{20, 40, 400, 100}, false, false, kChat};
        state.InputAreaTarget = {kInput, 50, 60, 5, 6, 20, 10, 410, 320};
        state.SendButtonTarget = {kChat, 70, 80, 7, 8, 20, 10, 410, 320};
        state.SendShortcutKey = platform::vk::Return;
        state.SendShortcutControl = platform::vk::Control;
        fp.loop.logWaits = false;
    }
};

std::map<std::string, double> g_gapMs;

void BM_SendWithASlowTranslation(benchmark::State& state) {
    Rig rig;
    double sendGap = 0;
    double translationGap = 0;
    for (auto _ : state) {
        rig.view.sendText = u"hello";
        rig.loop.Reset();
        rig.flow.Send();
        // The send suspends on the loop; the program's loop would go on turning meanwhile.
        rig.loop.WaitUntil([&] { return !rig.scheduler.Busy(); }, 30'000);
        sendGap = std::max(sendGap, rig.loop.maxGapMs);
        translationGap = std::max(translationGap, rig.loop.spanGapMs);
        if (!rig.view.sendText.empty()) state.SkipWithError("the send did not go out");
    }
    state.counters["gap_translation_ms"] = translationGap;
    state.counters["gap_send_ms"] = sendGap;
    g_gapMs["translation"] = translationGap;
    g_gapMs["send"] = sendGap;
}
BENCHMARK(BM_SendWithASlowTranslation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_IdleLoopBaseline(benchmark::State& state) {
    GapLoop loop;
    double gap = 0;
    for (auto _ : state) {
        loop.Reset();
        loop.Wait(600);
        gap = std::max(gap, loop.maxGapMs);
    }
    state.counters["gap_ms"] = gap;
    g_gapMs["idle"] = gap;
}
BENCHMARK(BM_IdleLoopBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (g_gapMs.count("idle") && g_gapMs["idle"] > 0 && g_gapMs.count("translation")) {
        std::printf("\nLongest time the event loop was held up (same run):\n");
        std::printf("  idle loop (baseline)      %7.1f ms\n", g_gapMs["idle"]);
        std::printf("  during the translation    %7.1f ms  (x%.1f the baseline; goal < 50 ms)\n",
                    g_gapMs["translation"], g_gapMs["translation"] / g_gapMs["idle"]);
        std::printf("  during the whole send     %7.1f ms  (x%.1f; chords held 100 ms each)\n",
                    g_gapMs["send"], g_gapMs["send"] / g_gapMs["idle"]);
    }
    benchmark::Shutdown();
    return 0;
}
