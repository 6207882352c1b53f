// The pipeline's output framing (ReadUntil) over a real gPipe: a long-lived `cat` echoes what the
// input writes, in chunks, and frames are read back with a size bound.
// Checks: each frame is exactly the written bytes up to the next NUL, nothing is lost or
// repeated across frames and chunks, and TooLarge comes exactly when the frame is over the bound.

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

#include "FuzzCheck.h"
#include "platform/posix/PosixPipeline.h"

namespace {

using namespace velmora::platform;

std::unique_ptr<posix::PosixPipeline> gPipe;

void Restart() {
    gPipe = std::make_unique<posix::PosixPipeline>();
    std::string error;
    FUZZ_CHECK(gPipe->Start({{"cat"}}, error));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!gPipe || !gPipe->Alive()) Restart();
    FuzzedDataProvider in(data, size);
    std::string model;  // written, not yet framed
    bool confused = false;
    while (in.remaining_bytes() > 0 && !confused) {
        if (in.ConsumeBool()) {
            const std::string chunk = in.ConsumeRandomLengthString(300);
            FUZZ_CHECK(gPipe->Write(chunk, 5000) == PipeStatus::Ok);
            model += chunk;
        } else {
            const std::size_t at = model.find('\0');
            if (at == std::string::npos) continue;  // reading would only wait for the bound
            const std::size_t maxBytes = in.ConsumeIntegralInRange<std::size_t>(0, 400);
            const PipeRead r = gPipe->ReadUntil('\0', 5000, maxBytes);
            if (at > maxBytes) {
                FUZZ_CHECK(r.status == PipeStatus::TooLarge);
                confused = true;  // what was buffered is undefined now: start afresh
            } else {
                FUZZ_CHECK(r.status == PipeStatus::Ok);
                FUZZ_CHECK(r.bytes == model.substr(0, at));
                model.erase(0, at + 1);
            }
        }
    }
    if (confused) {
        gPipe.reset();
        return 0;
    }
    // Whatever is left comes back as one last frame, so the next input starts clean.
    for (std::size_t at; (at = model.find('\0')) != std::string::npos; model.erase(0, at + 1)) {
        const PipeRead r = gPipe->ReadUntil('\0', 5000, 1u << 20);
        FUZZ_CHECK(r.status == PipeStatus::Ok && r.bytes == model.substr(0, at));
    }
    FUZZ_CHECK(gPipe->Write(std::string_view("\0", 1), 5000) == PipeStatus::Ok);
    const PipeRead last = gPipe->ReadUntil('\0', 5000, 1u << 20);
    FUZZ_CHECK(last.status == PipeStatus::Ok && last.bytes == model);
    return 0;
}
