// Offline engine benchmark: one piece through the warm null-flush pipeline (deformatter and
// reformatter started per piece, the mode's programs kept running) against one
// `apertium -u eng-spa` command per piece, which loads every program and dictionary each time.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/Utf8.h"
#include "platform/posix/PosixPipeline.h"
#include "translate/engines/ApertiumEngine.h"

namespace {

using namespace velmora;

const std::u16string kPiece = u"Good morning, my friend. How are you today?";

platform::posix::PosixProgramRunner& Runner() {
    static platform::posix::PosixProgramRunner runner;
    return runner;
}

translate::engines::ApertiumEngine& WarmEngine() {
    static translate::engines::ApertiumEngine engine(Runner());
    return engine;
}

void BM_WarmPipelinePerPiece(benchmark::State& state) {
    auto& engine = WarmEngine();
    // Started before timing: the pipeline is meant to be warm.
    if (!engine.TranslatePiece(kPiece, "en", "es").text) state.SkipWithError("no translation");
    for (auto _ : state) {
        auto r = engine.TranslatePiece(kPiece, "en", "es");
        if (!r.text) state.SkipWithError("no translation");
        benchmark::DoNotOptimize(r.text->data());
    }
}
BENCHMARK(BM_WarmPipelinePerPiece)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CommandPerPiece(benchmark::State& state) {
    const std::string input = platform::Utf8Encode(kPiece);
    for (auto _ : state) {
        auto r = Runner().Run({"apertium", "-u", "eng-spa"}, input, 60000, 1u << 20);
        if (r.status != platform::PipeStatus::Ok || r.exitCode != 0)
            state.SkipWithError("apertium failed");
        benchmark::DoNotOptimize(r.output.data());
    }
}
BENCHMARK(BM_CommandPerPiece)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's median wall time per iteration; a run without repetitions
// contributes its single measurement.
class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.error_occurred) continue;
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (!single && !median) continue;
            seconds[r.run_name.function_name] =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    // The machine is shared: by default repeat in random order and compare medians.
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=5",
                mix = "--benchmark_enable_random_interleaving=true",
                agg = "--benchmark_report_aggregates_only=true";
    if (argc == 1) args.insert(args.end(), {reps.data(), mix.data(), agg.data()});
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto& s = collector.seconds;
    std::printf("\nRatios (same run, wall time):\n");
    if (s.count("BM_CommandPerPiece") && s.count("BM_WarmPipelinePerPiece")) {
        std::printf("%-52s %6.1f  (goal: >= 10)\n", "apertium command per piece / warm pipeline",
                    s["BM_CommandPerPiece"] / s["BM_WarmPipelinePerPiece"]);
    }
    benchmark::Shutdown();
}
