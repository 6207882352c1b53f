// CPU use while the incoming monitor counts down, on the real Qt event loop and clock: the
// monitor's countdown (sleeps until the next whole second or a wake-up) against a countdown
// that polls by yielding on every pass, measured in the same run. VELMORA_IDLE_SECONDS sets
// how long each is measured (default 10).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "platform/SystemClock.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtEventLoop.h"
#include "relay/IncomingMonitor.h"
#include "relay/fake/RecordingResultBox.h"

namespace {

using namespace velmora;

// A main window that stays active with the focus in txtSend.
class IdleView : public relay::IMainControls,
                 public relay::ISendBox,
                 public relay::ILanguageLists,
                 public relay::ITimeKeeper,
                 public relay::IMainView {
  public:
    std::u16string Text() override { return {}; }
    void Clear() override {}
    void SetText(const std::u16string&) override {}
    void Focus() override {}
    bool IsComposing() override { return false; }
    std::u16string MyDesc() override { return u"中文(简体)"; }
    std::u16string OtherDesc() override { return u"英语"; }
    void Fill(const std::vector<std::u16string>&) override {}
    void SetCaption(const std::u16string& c) override { caption = c; }
    void SetVisible(bool) override {}
    relay::ISendBox& SendBox() override { return *this; }
    relay::ILanguageLists& Languages() override { return *this; }
    relay::ITimeKeeper& TimeKeeper() override { return *this; }
    void SetSendMaskVisible(bool) override {}
    bool IsActive() override { return true; }
    platform::WinHandle Handle() override { return 1; }
    relay::IMainControls& Controls() override { return *this; }
    void ShowTip(const std::u16string&) override {}
    [[noreturn]] void EndProgram() override { std::exit(0); }
    std::u16string caption;
};

int Seconds() {
    const char* s = std::getenv("VELMORA_IDLE_SECONDS");
    int n = s ? std::atoi(s) : 10;
    return n > 0 ? n : 10;
}

struct Rig {
    platform::fake::FakePlatform fakes;
    platform::qt::QtEventLoop loop;
    platform::SystemClock clock;
    platform::Platform p{.input = fakes.input,
                         .windows = fakes.windows,
                         .clipboard = fakes.clipboard,
                         .screen = fakes.screen,
                         .http = fakes.http,
                         .regex = fakes.regex,
                         .codePage = fakes.codePage,
                         .clock = clock,
                         .loop = loop,
                         .keyStore = fakes.keyStore,
                         .processorId = fakes.processorId,
                         .process = fakes.process,
                         .messageBox = fakes.messageBox,
                         .accessibility = fakes.accessibility};
    IdleView view;
    relay::RelayState state;
    platform::fake::FakeRegexEngine regex;
    class : public relay::ITranslate {
        std::u16string TranslateText(const std::u16string&, const std::string&,
                                     const std::string&) override {
            return {};
        }
    } translate;
    relay::mduSendBuffer buffer{regex, translate};
    relay::fake::RecordingResultBox box;
    relay::RelayScheduler scheduler{loop};
    relay::IncomingMonitor monitor{
        p, view, box, state, buffer, translate::clsGoogleLanguages::Shared(), scheduler};
};

// One whole countdown, the Qt loop running until it has ended.
void RunCountdown(Rig& rig) {
    QEventLoop loop;
    platform::Task<> job = [](relay::IncomingMonitor& m) -> platform::Task<> {
        co_await m.RunIdleCountdown();
    }(rig.monitor);
    job.Start([&loop](std::exception_ptr) { loop.quit(); });
    if (!job.Done()) loop.exec();
}

void BM_IdleCountdown_Waiting(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        std::int64_t end = rig.clock.NowMs() + Seconds() * 1000LL;
        while (rig.clock.NowMs() < end) RunCountdown(rig);
    }
}

// The countdown as a loop that yields on every pass without sleeping.
void BM_IdleCountdown_BusyPolling(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        std::int64_t end = rig.clock.NowMs() + Seconds() * 1000LL;
        while (rig.clock.NowMs() < end) {
            std::int64_t start = rig.clock.NowSeconds();
            std::int64_t elapsed = 0;
            while (elapsed < 5 && !rig.state.CountdownAborted) {
                elapsed = rig.clock.NowSeconds() - start;
                std::string s = std::to_string(5 - elapsed);
                rig.view.SetCaption(std::u16string(s.begin(), s.end()));
                rig.loop.Yield();
            }
        }
    }
}

BENCHMARK(BM_IdleCountdown_Waiting)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleCountdown_BusyPolling)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

class CpuReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.real_accumulated_time > 0)
                share_[r.benchmark_name()] = r.cpu_accumulated_time / r.real_accumulated_time;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Share(const std::string& prefix) const {
        for (const auto& [name, v] : share_)
            if (name.rfind(prefix, 0) == 0) return v;
        return -1;
    }

  private:
    std::map<std::string, double> share_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    CpuReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double waiting = reporter.Share("BM_IdleCountdown_Waiting");
    double busy = reporter.Share("BM_IdleCountdown_BusyPolling");
    std::printf("\nIdle countdown, whole countdowns for at least %d s each, share of one core:\n",
                Seconds());
    if (waiting >= 0)
        std::printf("  waiting on the event loop: %.3f %% (goal < 1 %%)\n", waiting * 100);
    if (busy >= 0) std::printf("  busy polling (baseline):   %.1f %%\n", busy * 100);
    if (waiting > 0 && busy > 0) std::printf("  busy polling uses %.0fx the CPU\n", busy / waiting);
    benchmark::Shutdown();
    return 0;
}
