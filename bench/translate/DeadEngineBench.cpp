// A four-piece text with a dead first engine (a loopback listener that accepts and never
// answers) and a working second one (engine-standin), over the real libcurl backend with a
// short timeout. Before: each piece goes through a router that remembers nothing of the dead
// engine, as every transport failure used to cost a timeout per piece. After: the text through
// the engine translator, whose router skips the dead engine after its first timeout. Prints
// after / before from the same run, and what each takes with the program's 20 s timeout.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "support/StandinProcess.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/EngineTranslator.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/HostedApiEngine.h"

namespace {

using namespace velmora;
namespace e = translate::engines;

constexpr long kTimeoutMs = 200;
constexpr double kProgramTimeoutMs = 20'000;
const std::u16string kText =
    u"Hello, is this in stock?\r\nI would like 200 pieces.\r\nCan you ship by Friday?\r\nThanks";

// Accepts every connection on a loopback port and holds it open without a byte in answer.
class SilentListener {
  public:
    SilentListener() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(fd_, 64) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len))
            throw std::runtime_error("cannot listen on loopback");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~SilentListener() {
        stop_ = true;
        thread_.join();
        for (int c : held_) close(c);
        close(fd_);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int Accepted() const { return accepted_; }

  private:
    void Serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            if (int c = accept(fd_, nullptr, nullptr); c >= 0) {
                held_.push_back(c);
                ++accepted_;
            }
        }
    }
    int fd_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::vector<int> held_;
    std::thread thread_;
};

struct Rig {
    testing::StandinProcess standin;
    SilentListener dead;
    platform::fake::FakeClock clock;  // the router's steady clock; no time passes on it
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::posix::IconvCodePage codePage;
    platform::posix::CurlHttp http{loop, Limits()};
    e::HostedApiEngine deadEngine{
        e::kDeeplApi, http, codePage, {dead.Url("/v2/translate"), "standin-key", ""}};
    e::HostedApiEngine workingEngine{
        e::kGoogleApi, http, codePage, {standin.Url("/language/translate/v2"), "standin-key", ""}};
    Rig() { loop.logWaits = false; }

    static platform::posix::CurlHttp::Limits Limits() {
        platform::posix::CurlHttp::Limits l;
        l.connectTimeoutMs = kTimeoutMs;
        l.totalTimeoutMs = kTimeoutMs;
        return l;
    }
};

Rig& SharedRig() {
    static Rig rig;
    return rig;
}

// Dead-engine requests per text, for the projection to the program's timeout.
std::map<std::string, double> g_deadAsks;

void Report(benchmark::State& state, const std::string& name, int acceptedBefore,
            bool allComplete) {
    if (!allComplete) state.SkipWithError("the text was not complete");
    const double asks =
        static_cast<double>(SharedRig().dead.Accepted() - acceptedBefore) / state.iterations();
    state.counters["dead_asks"] = asks;
    g_deadAsks[name] = asks;
}

void BM_DeadFirstEngine_PerPiece(benchmark::State& state) {
    Rig& rig = SharedRig();
    const translate::AnsiWidthTable widths(rig.codePage);
    const auto pieces = translate::SegmentText(kText, translate::ModeForSource("en"), widths);
    if (pieces.size() != 4) state.SkipWithError("the text is not four pieces");
    const int before = rig.dead.Accepted();
    bool complete = true;
    for (auto _ : state) {
        for (const auto& piece : pieces) {
            e::Router router({&rig.deadEngine, &rig.workingEngine}, rig.clock);
            complete = complete && router.Translate(piece, "en", "de").text.has_value();
        }
    }
    Report(state, "BM_DeadFirstEngine_PerPiece", before, complete);
}
BENCHMARK(BM_DeadFirstEngine_PerPiece)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_DeadFirstEngine_PerText(benchmark::State& state) {
    Rig& rig = SharedRig();
    const int before = rig.dead.Accepted();
    bool complete = true;
    for (auto _ : state) {
        // A fresh router: the first text after the engine died. The translator's width table
        // takes a while to build and is built once in the program, so it is left out.
        state.PauseTiming();
        e::Router router({&rig.deadEngine, &rig.workingEngine}, rig.clock);
        translate::EngineTranslator translator(router, rig.codePage);
        state.ResumeTiming();
        const auto out = translator.Translate(kText, "en", "de");
        complete = complete && out.complete && out.pieces.size() == 4;
    }
    Report(state, "BM_DeadFirstEngine_PerText", before, complete);
}
BENCHMARK(BM_DeadFirstEngine_PerText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            realMs[r.run_name.function_name] =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1000;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> realMs;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    const std::string before = "BM_DeadFirstEngine_PerPiece", after = "BM_DeadFirstEngine_PerText";
    auto& ms = collector.realMs;
    if (ms.count(before) && ms.count(after)) {
        std::printf("\nRatio (same run, real time): per text / per piece %6.3f  (%d ms timeout)\n",
                    ms[after] / ms[before], static_cast<int>(kTimeoutMs));
        // The same sends with the program's 20 s timeout: each dead-engine request costs that.
        for (const auto& name : {before, after}) {
            const double asks = g_deadAsks[name];
            const double projected = ms[name] + asks * (kProgramTimeoutMs - kTimeoutMs);
            std::printf("With a 20 s timeout: %-28s %4.1f s (%.0f dead-engine requests)\n",
                        name.c_str(), projected / 1000, asks);
        }
    }
    benchmark::Shutdown();
    return 0;
}
