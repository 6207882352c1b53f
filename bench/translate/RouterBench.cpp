// Routing overhead: a piece through the router against the same engine called directly. The
// engine does the in-process work of a real online engine (builds the request JSON, parses a
// real answer) without the network, so the router's share is not hidden by a round trip.
// Goal: the routed call within 5% of the direct one.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

#include "platform/fake/FakePlatform.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/Router.h"

namespace {

using namespace velmora;
using namespace velmora::translate::engines;

const platform::fake::FakeCodePage kCodePage;

// A DeepL-shaped exchange answered in memory.
class InProcessEngine : public IEngine {
  public:
    std::string_view Name() const override { return "deepl"; }
    bool Supports(const std::string& src, const std::string& dst) override {
        return DeeplSourceCode(src) && DeeplTargetCode(dst);
    }
    PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                               const std::string& dst) override {
        const auto request = BuildDeeplRequest(settings_, kCodePage.ToUtf8(piece),
                                               *DeeplSourceCode(src), *DeeplTargetCode(dst));
        benchmark::DoNotOptimize(request.body.data());
        return ParseDeeplAnswer(answer_, kCodePage, settings_.key);
    }

  private:
    HttpEngineSettings settings_{"http://127.0.0.1:1/v2/translate", "0123456789abcdef:fx", ""};
    platform::HttpResponse answer_{
        200,
        R"({"translations":[{"detected_source_language":"ZH","text":"Hello, I would like to )"
        R"(ask about the price of this product. Can you ship 200 pieces by Friday?"}]})",
        {{"Content-Type", "application/json"}, {"X-Trace-ID", "1f0c2a9e"}}};
};

// An engine the configuration lists first that lacks the pair, as the offline one often does.
class NoPairEngine : public IEngine {
  public:
    std::string_view Name() const override { return "apertium"; }
    bool Supports(const std::string&, const std::string&) override { return false; }
    PieceResult TranslatePiece(std::u16string_view, const std::string&,
                               const std::string&) override {
        return PieceResult::Fail(FailureKind::Unsupported, "");
    }
};

const std::u16string kPiece = u"你好，在吗？我想问一下这个产品的价格。你们周五之前能发200件吗？";

void BM_EngineDirect(benchmark::State& state) {
    InProcessEngine engine;
    for (auto _ : state) benchmark::DoNotOptimize(engine.TranslatePiece(kPiece, "zh-CN", "en"));
}
BENCHMARK(BM_EngineDirect);

void BM_EngineRouted(benchmark::State& state) {
    InProcessEngine engine;
    NoPairEngine offline;
    platform::fake::FakeClock clock;
    Router router({&offline, &engine}, clock);
    for (auto _ : state) benchmark::DoNotOptimize(router.Translate(kPiece, "zh-CN", "en"));
}
BENCHMARK(BM_EngineRouted);

class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.error_occurred) continue;
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (!single && !median) continue;
            cpu[r.run_name.function_name] =
                r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> cpu;
};

}  // namespace

int main(int argc, char** argv) {
    // The machine is shared: by default repeat in random order and compare medians.
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=9",
                mix = "--benchmark_enable_random_interleaving=true",
                agg = "--benchmark_report_aggregates_only=true";
    if (argc == 1) args.insert(args.end(), {reps.data(), mix.data(), agg.data()});
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto& cpu = collector.cpu;
    if (cpu.count("BM_EngineRouted") && cpu.count("BM_EngineDirect"))
        std::printf("\nRatio (same run, CPU time): routed / direct %6.3f  (goal: <= 1.05)\n",
                    cpu["BM_EngineRouted"] / cpu["BM_EngineDirect"]);
    benchmark::Shutdown();
    return 0;
}
