// Translation client benchmarks. Each ratio compares two measurements of the same run:
//   segmentation of 1 MB mixed chat text against a plain width-summing pass over it,
//   TranslateText per piece against a raw libcurl request to the same loopback endpoint,
//   a fresh connection per piece against the shared connection cache.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>

#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "support/EndpointProcess.h"
#include "translate/mduTranslate.h"

namespace {

using namespace velmora;

const platform::posix::IconvCodePage& CodePage() {
    static platform::posix::IconvCodePage cp;
    return cp;
}

// About 1 MB (CP936 bytes) of chat: Chinese and English lines, clause breaks, sentences.
const std::u16string& ChatText() {
    static const std::u16string text = [] {
        const std::u16string lines[] = {
            u"你好，在吗？我想问一下这个产品的价格。",
            u"Hello, I would like to order 200 pieces; what is the price?",
            u"好的，没问题、我们明天发货。谢谢！",
            u"Thanks. Can you ship it by Friday? We need it soon.",
            u"请稍等，我查一下库存，然后告诉你",
            u"ok",
            u"",
        };
        std::mt19937 rng(42);
        std::u16string t;
        std::size_t bytes = 0;
        while (bytes < (1u << 20)) {
            const auto& l = lines[rng() % std::size(lines)];
            t += l;
            t += u"\r\n";
            for (char16_t c : l) bytes += CodePage().AnsiWidth(c);
            bytes += 2;
        }
        return t;
    }();
    return text;
}

std::size_t AnsiBytes(const std::u16string& t) {
    std::size_t n = 0;
    for (char16_t c : t) n += CodePage().AnsiWidth(c);
    return n;
}

void BM_WidthPass(benchmark::State& state) {
    translate::AnsiWidthTable widths(CodePage());
    const auto& text = ChatText();
    for (auto _ : state) {
        std::size_t sum = 0;
        for (char16_t c : text) sum += widths[c];
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * AnsiBytes(text));
}
BENCHMARK(BM_WidthPass)->Unit(benchmark::kMillisecond);

void BM_SegmentText(benchmark::State& state) {
    translate::AnsiWidthTable widths(CodePage());
    const auto& text = ChatText();
    for (auto _ : state) {
        auto pieces = translate::SegmentText(text, translate::SegmentMode::Chinese, widths);
        benchmark::DoNotOptimize(pieces.data());
    }
    state.SetBytesProcessed(state.iterations() * AnsiBytes(text));
}
BENCHMARK(BM_SegmentText)->Unit(benchmark::kMillisecond);

struct Endpoint {
    testing::EndpointProcess process{{"--backend", "test"}};
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    Endpoint() { loop.logWaits = false; }
};

Endpoint& SharedEndpoint() {
    static Endpoint e;
    return e;
}

const std::u16string kPiece = u"Hello, how are you today";

void BM_TranslateTextPerPiece(benchmark::State& state) {
    auto& ep = SharedEndpoint();
    platform::posix::CurlHttp http(ep.loop);
    translate::HttpTranslator translator({http, CodePage(), ep.loop, ep.process.Url()});
    for (auto _ : state) {
        auto out = translator.TranslateText(kPiece, "en", "zh-CN");
        if (out.empty()) state.SkipWithError("no translation");
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_TranslateTextPerPiece)->Unit(benchmark::kMicrosecond);

size_t Discard(char*, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(size * n, ' ');
    return size * n;
}

// The same request through one reused curl easy handle, nothing else.
void BM_RawCurlPerPiece(benchmark::State& state) {
    auto& ep = SharedEndpoint();
    const std::string url = ep.process.Url();
    const std::string body = translate::BuildTranslationForm(CodePage(), kPiece, "en", "zh-CN");
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, ("Referer: " + url).c_str());
    headers = curl_slist_append(headers, "Accept-Charset: gb2312,utf-8;q=0.7,*;q=0.7");
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    headers =
        curl_slist_append(headers, ("Content-Length: " + std::to_string(body.size())).c_str());
    std::string sink;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    for (auto _ : state) {
        sink.clear();
        if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("curl failed");
        benchmark::DoNotOptimize(sink.data());
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
}
BENCHMARK(BM_RawCurlPerPiece)->Unit(benchmark::kMicrosecond);

// The HTTP backend alone, for the breakdown of the per-piece overhead.
void BM_CurlHttpSendPerPiece(benchmark::State& state) {
    auto& ep = SharedEndpoint();
    platform::posix::CurlHttp http(ep.loop);
    translate::TranslateContext ctx{http, CodePage(), ep.loop, ep.process.Url()};
    const auto request = translate::BuildTranslationRequest(ctx, kPiece, "en", "zh-CN");
    for (auto _ : state) benchmark::DoNotOptimize(http.Send(request).body.data());
}
BENCHMARK(BM_CurlHttpSendPerPiece)->Unit(benchmark::kMicrosecond);

void BM_PieceSharedConnection(benchmark::State& state) {
    auto& ep = SharedEndpoint();
    platform::posix::CurlHttp http(ep.loop);
    translate::TranslateContext ctx{http, CodePage(), ep.loop, ep.process.Url()};
    for (auto _ : state)
        benchmark::DoNotOptimize(translate::TranslateText(ctx, kPiece, "en", "es"));
}
BENCHMARK(BM_PieceSharedConnection)->Unit(benchmark::kMicrosecond);

void BM_PieceFreshConnection(benchmark::State& state) {
    auto& ep = SharedEndpoint();
    for (auto _ : state) {
        platform::posix::CurlHttp http(ep.loop);
        translate::TranslateContext ctx{http, CodePage(), ep.loop, ep.process.Url()};
        benchmark::DoNotOptimize(translate::TranslateText(ctx, kPiece, "en", "es"));
    }
}
BENCHMARK(BM_PieceFreshConnection)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's median wall and CPU time per iteration for the ratios; a
// run without repetitions contributes its single measurement.
class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.error_occurred) continue;
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (!single && !median) continue;
            const std::string name = r.run_name.function_name;
            const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
            seconds[name] = r.GetAdjustedRealTime() / unit;
            cpuSeconds[name] = r.GetAdjustedCPUTime() / unit;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds, cpuSeconds;
};

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
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
    // Segmentation is pure computation: CPU time, so other load on the machine does not count.
    // The HTTP exchanges wait on the network: wall time.
    auto& s = collector.seconds;
    auto& cpu = collector.cpuSeconds;
    auto ratio = [](std::map<std::string, double>& s, const char* what, const char* a,
                    const char* b, const char* goal) {
        if (!s.count(a) || !s.count(b)) return;
        std::printf("%-52s %6.3f  %s\n", what, s[a] / s[b], goal);
    };
    std::printf("\nRatios (same run):\n");
    if (cpu.count("BM_SegmentText"))
        std::printf("%-52s %6.1f  (goal: >= 50 MB/s)\n",
                    "segmentation throughput, MB/s (CP936 bytes)",
                    static_cast<double>(AnsiBytes(ChatText())) / cpu["BM_SegmentText"] / 1e6);
    ratio(cpu, "segmentation CPU time / width-summing pass", "BM_SegmentText", "BM_WidthPass", "");
    ratio(s, "TranslateText per piece / raw curl request", "BM_TranslateTextPerPiece",
          "BM_RawCurlPerPiece", "(goal: <= 1.10)");
    ratio(s, "  of it: CurlHttp::Send alone / raw curl request", "BM_CurlHttpSendPerPiece",
          "BM_RawCurlPerPiece", "");
    ratio(s, "fresh connection per piece / shared connection", "BM_PieceFreshConnection",
          "BM_PieceSharedConnection", "");
    benchmark::Shutdown();
    return 0;
}
