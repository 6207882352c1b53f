// Captured chat history through the relay's history module with the real PCRE2 engine.
// The input is a sequence of records split at "\x1E": "S<text>" is a sent text, anything else
// is a capture, processed in order with the speaker name learnt on the way.
// Checks: the learnt name is trimmed, comes from a capture and, once set, never changes; speaker
// headers shown are in the capture (line ends made CR LF), read as speakers of the window's form
// and never the own name; every translation request is what was shown before it; every shown
// message line is in the capture.

#include <exception>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Utf8.h"
#include "platform/fake/FakePlatform.h"
#include "platform/posix/Pcre2Regex.h"
#include "relay/SpeakerForms.h"
#include "relay/mduSendBuffer.h"

namespace {

using namespace velmora;

struct Run {
    std::uint32_t color = 0;
    std::u16string text;
};

class RecordingBox : public relay::IResultBox {
  public:
    void SetColor(std::uint32_t bgr) override { color_ = bgr; }
    void SetBold(bool) override {}
    void SetItalic(bool) override {}
    void Insert(const std::u16string& text) override { runs.push_back({color_, text}); }
    void FocusAndNewLine() override {}
    void NewLineAtEnd() override {}
    void ScrollToEnd() override {}
    std::vector<Run> runs;

  private:
    std::uint32_t color_ = 0;
};

class EchoTranslator : public translate::ITranslator {
  public:
    std::u16string TranslateText(const std::u16string& text, const std::string&,
                                 const std::string&) override {
        asked.push_back(text);
        return u"T";
    }
    std::vector<std::u16string> asked;
};

// Shows a capture as the program does; its translations run aside at the fake loop's turns.
void Show(relay::mduSendBuffer& buffer, const std::u16string& record, const std::string& target,
          relay::IResultBox& box) {
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::Task<> job = buffer.ProcessNewHistory(loop, record, "en", target, box);
    std::exception_ptr error;
    job.Start([&error](std::exception_ptr e) { error = e; });
    loop.Run();
    if (error) std::rethrow_exception(error);
    FUZZ_CHECK(job.Done());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192) return 0;
    static platform::posix::Pcre2RegexEngine regex;
    EchoTranslator translator;
    relay::mduSendBuffer buffer(regex, translator);
    const std::u16string input = platform::Utf8Decode(fuzz::Bytes(data, size));
    std::u16string learnt;
    bool languagesDiffer = true;
    for (const auto& record : fuzz::SplitAt<char16_t>(input, u"\x1E")) {
        if (!record.empty() && record[0] == u'S') {
            buffer.BufferSentText(record.substr(1));
            continue;
        }
        RecordingBox box;
        translator.asked.clear();
        languagesDiffer = !languagesDiffer;
        Show(buffer, record, languagesDiffer ? "zh-CN" : "en", box);
        FUZZ_CHECK(buffer.SentTexts().empty());
        const std::u16string normalized = relay::NormalizeLineEnds(record);

        const std::u16string& own = buffer.OwnSpeakerName();
        if (!learnt.empty()) FUZZ_CHECK(own == learnt);
        if (learnt.empty() && !own.empty()) {
            FUZZ_CHECK(relay::TrimSpaces(own) == own);
            FUZZ_CHECK(normalized.find(own) != std::u16string::npos);
            learnt = own;
        }

        std::size_t asked = 0;
        for (std::size_t i = 0; i < box.runs.size(); ++i) {
            const Run& run = box.runs[i];
            if (run.color == relay::kMagenta) {
                FUZZ_CHECK(run.text.ends_with(u"\r\n"));
                const std::u16string header = run.text.substr(0, run.text.size() - 2);
                FUZZ_CHECK(normalized.find(header) != std::u16string::npos);
                // The first speaker line fixes the form, so every header read here read so then.
                relay::SpeakerFamily family = buffer.Family();
                const auto speaker = buffer.Classify(header, family);
                FUZZ_CHECK(speaker.has_value() && family == buffer.Family());
                FUZZ_CHECK(speaker->name != own);
            } else if (run.color == relay::kBlue) {
                std::u16string_view text = run.text;
                if (!languagesDiffer) {
                    FUZZ_CHECK(text.ends_with(u"\r\n"));
                    text.remove_suffix(2);
                } else {
                    FUZZ_CHECK(asked < translator.asked.size() && translator.asked[asked] == text);
                    ++asked;
                }
                FUZZ_CHECK(!text.empty());
                // A message is its lines (left-trimmed) joined with CR LF, or the unended rest.
                for (const auto& line : fuzz::SplitAt<char16_t>(text, u"\r\n"))
                    FUZZ_CHECK(normalized.find(line) != std::u16string::npos);
            } else {
                FUZZ_CHECK(run.color == relay::kRed && languagesDiffer);
                FUZZ_CHECK(run.text == u"(译文：T)\r\n");
            }
        }
        FUZZ_CHECK(asked == translator.asked.size());
    }
    return 0;
}
