// History processing benchmarks. Each ratio compares two measurements of the same run:
//   ProcessNewHistory on 1 MB of chat history through the PCRE2 engine against the same
//   processing through std::regex with the same patterns (translation stubbed out),
//   one hostile 100 000-character line against a harmless line of the same length.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <map>
#include <random>
#include <regex>
#include <string>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/Pcre2Regex.h"
#include "relay/mduSendBuffer.h"

namespace {

using namespace velmora;

// std::regex has no char16_t traits; wchar_t is 32 bits here, so each code unit maps 1:1.
std::wstring Widen(std::u16string_view s) {
    return std::wstring(s.begin(), s.end());
}

class StdRegex : public platform::ICompiledRegex {
  public:
    explicit StdRegex(std::u16string_view p) : re_(Widen(p), std::regex::ECMAScript) {}
    std::optional<platform::RegexMatch> Search(std::u16string_view text) const override {
        std::wstring w = Widen(text);
        std::wsmatch m;
        if (!std::regex_search(w, m, re_)) return std::nullopt;
        return platform::RegexMatch{static_cast<std::size_t>(m.position(0)),
                                    static_cast<std::size_t>(m.length(0))};
    }

  private:
    std::wregex re_;
};

class StdRegexEngine : public platform::IRegexEngine {
  public:
    std::unique_ptr<platform::ICompiledRegex> Compile(std::u16string_view p) override {
        return std::make_unique<StdRegex>(p);
    }
};

class NoTranslate : public relay::ITranslate {
  public:
    std::u16string TranslateText(const std::u16string&, const std::string&,
                                 const std::string&) override {
        return {};
    }
};

// Keeps only the amount written, so the box costs next to nothing.
class CountingBox : public relay::IResultBox {
  public:
    void SetColor(std::uint32_t) override {}
    void SetBold(bool) override {}
    void SetItalic(bool) override {}
    void Insert(const std::u16string& t) override { written += t.size(); }
    void FocusAndNewLine() override { written += 2; }
    void NewLineAtEnd() override { written += 2; }
    void ScrollToEnd() override {}
    std::size_t written = 0;
};

constexpr std::size_t kHistoryUnits = 1u << 20;

// About 1 MB (UTF-16 code units) of history in all four speaker-line forms, with our own
// indented messages among the other party's.
const std::u16string& History() {
    static const std::u16string text = [] {
        const std::u16string speakers[] = {
            u"Ann 12:34:56", u"Bob (9:05 am):", u"Carol said:", u"Dave(2009-09-23 12:34:56):",
            u"王小明 说:",
        };
        const std::u16string bodies[] = {
            u"Hello, I would like to order 200 pieces; what is the price?",
            u"你好，在吗？我想问一下这个产品的价格。",
            u"Thanks. Can you ship it by Friday? We need it before 10:30.",
            u"ok",
            u"",
        };
        std::mt19937 rng(7);
        std::u16string t;
        while (t.size() < kHistoryUnits) {
            if (rng() % 4 == 0) {
                t += u"Me 12:35:01\r\n  I sent this one\r\n";
                continue;
            }
            t += speakers[rng() % std::size(speakers)] + u"\r\n";
            for (unsigned n = 1 + rng() % 3; n > 0; --n)
                t += bodies[rng() % std::size(bodies)] + u"\r\n";
        }
        return t;
    }();
    return text;
}

// Shows the history as the program does; the stubbed translations run aside at the fake
// loop's turns.
void Show(relay::mduSendBuffer& buffer, const std::u16string& text, relay::IResultBox& box) {
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::Task<> job = buffer.ProcessNewHistory(loop, text, "en", "zh-CN", box);
    job.Start([](std::exception_ptr) {});
    loop.Run();
}

template <class Engine>
void ProcessHistory(benchmark::State& state) {
    Engine engine;
    NoTranslate translate;
    const std::u16string& h = History();
    for (auto _ : state) {
        relay::mduSendBuffer buffer(engine, translate);
        buffer.BufferSentText(u"I sent this one");
        CountingBox box;
        Show(buffer, h, box);
        benchmark::DoNotOptimize(box.written);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.size() * 2));
}

void BM_ProcessHistory_Pcre2(benchmark::State& s) {
    ProcessHistory<platform::posix::Pcre2RegexEngine>(s);
}
void BM_ProcessHistory_StdRegex(benchmark::State& s) {
    ProcessHistory<StdRegexEngine>(s);
}
BENCHMARK(BM_ProcessHistory_Pcre2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessHistory_StdRegex)->Unit(benchmark::kMillisecond)->Iterations(2);

constexpr std::size_t kLineUnits = 100000;

std::u16string Repeat(std::u16string_view piece) {
    std::u16string s;
    while (s.size() + piece.size() <= kLineUnits) s += piece;
    while (s.size() < kLineUnits) s += u'x';
    return s;
}

// Lines that make backtracking patterns work hard, and a harmless one of the same length.
const std::map<std::string, std::u16string>& Lines() {
    static const std::map<std::string, std::u16string> lines = {
        {"digits_then_colon", std::u16string(kLineUnits - 1, u'1') + u":"},
        {"digit_colon_pairs", Repeat(u"1:")},
        {"almost_a_time_stamp", std::u16string(kLineUnits - 9, u'1') + u"12:34:56 "},
        {"open_dates", Repeat(u"(1-1-1 ")},
        {"twelve_hour_times", Repeat(u"1:1 am)")},
        {"harmless_prose", Repeat(u"the quick brown fox jumps over the lazy dog ")},
    };
    return lines;
}

void BM_Line(benchmark::State& state, const std::string& name) {
    platform::posix::Pcre2RegexEngine engine;
    NoTranslate translate;
    const std::u16string text = u"Ann 9:00:00\r\n" + Lines().at(name) + u"\r\n";
    for (auto _ : state) {
        relay::mduSendBuffer buffer(engine, translate);
        CountingBox box;
        Show(buffer, text, box);
        benchmark::DoNotOptimize(box.written);
    }
}

// The regex engine on its own, with no line-length guard in front of it: how long one search
// for the speaker-line pattern takes on a shorter hostile line.
void BM_RawPattern_Digits(benchmark::State& state) {
    platform::posix::Pcre2RegexEngine engine;
    auto re = engine.Compile(relay::mduSendBuffer::SpeakerLinePattern);
    const std::u16string line(static_cast<std::size_t>(state.range(0)) - 1, u'1');
    const std::u16string text = line + u":";
    for (auto _ : state) benchmark::DoNotOptimize(re->Search(text));
}
BENCHMARK(BM_RawPattern_Digits)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);

// Collects mean real time per benchmark (in ms) for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
            double ms = r.real_accumulated_time * 1e3 / static_cast<double>(r.iterations);
            ms_[r.benchmark_name()] = ms;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Ms(const std::string& name) const {
        auto it = ms_.find(name);
        return it == ms_.end() ? 0.0 : it->second;
    }
    const std::map<std::string, double>& All() const { return ms_; }

  private:
    std::map<std::string, double> ms_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const auto& [name, text] : Lines())
        benchmark::RegisterBenchmark(("BM_Line/" + name).c_str(), BM_Line, name)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double pcre = reporter.Ms("BM_ProcessHistory_Pcre2");
    const double stdre = reporter.Ms("BM_ProcessHistory_StdRegex/iterations:2");
    const double mb = static_cast<double>(History().size() * 2) / 1e6;
    std::printf("\nProcessNewHistory on %.2f MB (UTF-16) of history, translation stubbed:\n", mb);
    if (pcre > 0)
        std::printf("  PCRE2 JIT: %.1f ms, %.1f MB/s (goal >= 10)\n", pcre, mb / pcre * 1e3);
    if (pcre > 0 && stdre > 0)
        std::printf("  std::regex: %.1f ms; PCRE2 is %.1fx faster (goal >= 20x)\n", stdre,
                    stdre / pcre);
    const double harmless = reporter.Ms("BM_Line/harmless_prose");
    double worst = 0;
    std::string worstName;
    for (const auto& [name, ms] : reporter.All()) {
        if (name.rfind("BM_Line/", 0) == 0 && ms > worst) {
            worst = ms;
            worstName = name;
        }
    }
    if (worst > 0) {
        std::printf("One %zu-character line after a speaker line:\n", kLineUnits);
        std::printf("  worst hostile line %s: %.2f ms (goal < 50 ms)", worstName.c_str(), worst);
        if (harmless > 0)
            std::printf(", %.1fx the harmless line's %.2f ms", worst / harmless, harmless);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
