// Every engine's answer parser, selected by the first byte, and the offline engine's handling of
// what its pipeline and filters print.
// Checks for the HTTP answers: a failure's detail is short printable ASCII and never holds the
// key (even when the answer quotes it); a translation is only taken from a 2xx answer and holds
// no unpaired surrogate; Retry-After is within a day and only on rate or quota failures; the
// language and pair lists never pair a code with itself.
// Checks for the offline engine: what goes down the pipe is one NUL-terminated piece; a piece
// succeeds exactly when every step did, and then is the reformatter's output decoded.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FuzzCheck.h"
#include "platform/IPipeline.h"
#include "platform/Utf8.h"
#include "platform/posix/IconvCodePage.h"
#include "translate/engines/ApertiumEngine.h"
#include "translate/engines/ApyEngine.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/HttpExchange.h"
#include "translate/engines/HttpHeaders.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/MicrosoftEngine.h"
#include "translate/engines/Redaction.h"
#include "translate/engines/UrlParts.h"

namespace {

using namespace velmora;
using namespace velmora::translate::engines;
using platform::PipeStatus;

// Looks like a real key: the parsers must keep it, and its percent-encoded form, out of details.
constexpr std::string_view kKey = "8f14e45f-ceea-467f-a0b6:fx";

const platform::posix::IconvCodePage& CodePage() {
    static const platform::posix::IconvCodePage page;
    return page;
}

bool Is2xx(long status) {
    return status >= 200 && status <= 299;
}

void CheckResult(const PieceResult& r, const platform::HttpResponse& res, bool anyStatus) {
    if (r.text) {
        FUZZ_CHECK(anyStatus || Is2xx(res.status));
        FUZZ_CHECK(!fuzz::HasUnpairedSurrogate(*r.text));
        return;
    }
    const std::string& d = r.failure.detail;
    FUZZ_CHECK(!d.empty() && d.size() <= 200);
    for (unsigned char c : d) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    FUZZ_CHECK(d.find(kKey) == std::string::npos);
    FUZZ_CHECK(d.find(PercentEncode(kKey)) == std::string::npos);
    if (r.failure.retryAfterSeconds) {
        FUZZ_CHECK(*r.failure.retryAfterSeconds >= 0 && *r.failure.retryAfterSeconds <= 86400);
        FUZZ_CHECK(r.failure.kind == FailureKind::RateLimited ||
                   r.failure.kind == FailureKind::QuotaExceeded);
    }
}

// The shared status classes, for engines that take no other hint from the body.
void CheckStatusClass(const PieceResult& r, const platform::HttpResponse& res) {
    if (r.text || Is2xx(res.status)) return;
    FUZZ_CHECK(r.failure.kind == FailureForStatus(res, "").failure.kind);
}

platform::HttpResponse Answer(FuzzedDataProvider& in) {
    const long status = in.ConsumeBool() ? 200 : in.ConsumeIntegralInRange<long>(0, 999);
    platform::HttpResponse::Headers headers;
    if (in.ConsumeBool()) headers.emplace_back("retry-after", in.ConsumeRandomLengthString(16));
    std::string body = in.ConsumeRemainingBytesAsString();
    // Bodies may quote the key back, plain or encoded, as some servers do.
    for (std::size_t at; (at = body.find("$KEY")) != std::string::npos;) body.replace(at, 4, kKey);
    for (std::size_t at; (at = body.find("$PKEY")) != std::string::npos;)
        body.replace(at, 5, PercentEncode(kKey));
    return {status, std::move(body), std::move(headers)};
}

// The offline engine's surroundings, all in memory: each filter run and each pipeline step
// takes its outcome from the input.
struct Script {
    FuzzedDataProvider& in;
    std::string written;  // everything written to pipelines
    int starts = 0;
};

class ScriptedPipeline : public platform::IPipeline {
  public:
    explicit ScriptedPipeline(Script& s) : s_(s) {}
    bool Start(const std::vector<platform::Argv>& commands, std::string& error) override {
        FUZZ_CHECK(!commands.empty());
        ++s_.starts;
        pending_.clear();
        alive_ = !s_.in.ConsumeBool() || s_.in.remaining_bytes() == 0;
        if (!alive_) error = "no such program";
        return alive_;
    }
    PipeStatus Write(std::string_view bytes, int) override {
        s_.written += bytes;
        // What the translator prints for it: one or more frames, maybe a partial one.
        pending_ += s_.in.ConsumeRandomLengthString(64);
        if (s_.in.ConsumeBool()) pending_ += '\0';
        return s_.in.ConsumeBool() ? PipeStatus::Ok : Status();
    }
    platform::PipeRead ReadUntil(char delimiter, int, std::size_t maxBytes) override {
        const std::size_t at = pending_.find(delimiter);
        if (at == std::string::npos)
            return {s_.in.ConsumeBool() ? PipeStatus::Closed : Status(), {}};
        if (at > maxBytes) return {PipeStatus::TooLarge, {}};
        platform::PipeRead r{PipeStatus::Ok, pending_.substr(0, at)};
        pending_.erase(0, at + 1);
        return r;
    }
    bool Alive() override { return alive_; }
    void Kill() override { alive_ = false; }

  private:
    PipeStatus Status() {
        return s_.in.PickValueInArray({PipeStatus::TimedOut, PipeStatus::Closed,
                                       PipeStatus::TooLarge, PipeStatus::NotRunning});
    }
    Script& s_;
    std::string pending_;
    bool alive_ = false;
};

class ScriptedRunner : public platform::IProgramRunner {
  public:
    explicit ScriptedRunner(Script& s) : s_(s) {}
    std::unique_ptr<platform::IPipeline> NewPipeline() override {
        return std::make_unique<ScriptedPipeline>(s_);
    }
    platform::RunResult Run(const platform::Argv& argv, std::string_view input, int,
                            std::size_t maxBytes) override {
        FUZZ_CHECK(!argv.empty());
        lastOutput.reset();
        platform::RunResult r;
        r.status = s_.in.ConsumeBool() ? PipeStatus::Ok : PipeStatus::TimedOut;
        r.exitCode = s_.in.ConsumeBool() ? 0 : s_.in.ConsumeIntegral<int>();
        r.output = s_.in.ConsumeBool() ? std::string(input) : s_.in.ConsumeRandomLengthString(64);
        if (r.output.size() > maxBytes) r.status = PipeStatus::TooLarge;
        if (r.status == PipeStatus::Ok && r.exitCode == 0) lastOutput = r.output;
        return r;
    }
    std::optional<std::string> lastOutput;  // of the last successful run

  private:
    Script& s_;
};

// One installed direction whose mode runs `cat`; removed when the fuzzer exits.
struct ModeFolderOnDisk {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmora-fuzz-modes-" + std::to_string(getpid()));
    ModeFolderOnDisk() {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "eng-spa.mode") << "cat\n";
    }
    ~ModeFolderOnDisk() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

const std::filesystem::path& ModeFolder() {
    static const ModeFolderOnDisk folder;
    return folder.dir;
}

void FuzzApertium(FuzzedDataProvider& in) {
    Script script{in, {}, 0};
    ScriptedRunner runner(script);
    ApertiumOptions options;
    options.modeFolders = {ModeFolder()};
    options.maxOutputBytes = in.ConsumeIntegralInRange<std::size_t>(0, 80);
    // A scripted chain that never ends is waited for up to the piece's bound: a short bound
    // keeps the target busy fuzzing, not sleeping.
    options.pieceTimeoutMs = 20;
    ApertiumEngine engine(runner, options);
    FUZZ_CHECK(engine.Supports("en", "es"));
    const int pieces = in.ConsumeIntegralInRange(1, 4);
    for (int i = 0; i < pieces && in.remaining_bytes() > 0; ++i) {
        const std::u16string piece = platform::Utf8Decode(in.ConsumeRandomLengthString(32));
        script.written.clear();
        const PieceResult r = engine.TranslatePiece(piece, "en", "es");
        // Each write is a whole piece: its one NUL is its last byte.
        if (!script.written.empty()) {
            FUZZ_CHECK(script.written.back() == '\0');
            const auto frames = fuzz::SplitAt<char>(script.written, std::string_view("\0", 1));
            for (std::size_t k = 0; k + 1 < frames.size(); ++k)
                FUZZ_CHECK(k == 0 || frames[k] == frames[0]);  // a retry writes the same piece
        }
        if (r.text) {
            FUZZ_CHECK(runner.lastOutput.has_value());
            FUZZ_CHECK(*r.text == platform::Utf8Decode(*runner.lastOutput));
            FUZZ_CHECK(!fuzz::HasUnpairedSurrogate(*r.text));
        } else {
            FUZZ_CHECK(r.failure.kind == FailureKind::Transport);
            FUZZ_CHECK(r.failure.detail != "Apertium is busy");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange(0, 8);
    if (which == 8) {
        FuzzApertium(in);
        return 0;
    }
    const platform::HttpResponse res = Answer(in);
    const auto& cp = CodePage();
    switch (which) {
        case 0: {
            const PieceResult r = ParseLibreTranslateAnswer(res, cp, kKey);
            CheckResult(r, res, false);
            CheckStatusClass(r, res);
            break;
        }
        case 1: {
            const PieceResult r = ParseDeeplAnswer(res, cp, kKey);
            CheckResult(r, res, false);
            CheckStatusClass(r, res);
            break;
        }
        case 2:
            CheckResult(ParseGoogleAnswer(res, cp, kKey), res, false);
            break;
        case 3:
            CheckResult(ParseMicrosoftAnswer(res, cp, kKey), res, false);
            break;
        case 4: {
            const PieceResult r = ParseApyAnswer(res, cp, kKey);
            CheckResult(r, res, false);
            CheckStatusClass(r, res);
            break;
        }
        case 5:
            if (auto langs = ParseLibreLanguages(res)) {
                FUZZ_CHECK(res.status == 200 && !langs->empty());
                for (const auto& [code, targets] : *langs) FUZZ_CHECK(!targets.count(code));
            }
            break;
        case 6:
            if (auto pairs = ParseApyPairs(res)) FUZZ_CHECK(res.status == 200);
            break;
        case 7: {
            // The shared helpers on their own: Retry-After and the server text filter.
            if (auto s = ParseRetryAfter(res.headers)) FUZZ_CHECK(*s >= 0 && *s <= 86400);
            const std::string text = ServerText(res.body, kKey);
            FUZZ_CHECK(text.size() <= 100);
            FUZZ_CHECK(text.find(kKey) == std::string::npos);
            for (unsigned char c : text) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
            FUZZ_CHECK(Redact(res.body, kKey).find(kKey) == std::string::npos);
            break;
        }
    }
    return 0;
}
