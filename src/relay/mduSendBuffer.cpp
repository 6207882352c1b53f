#include "relay/mduSendBuffer.h"

#include <utility>

namespace velmora::relay {

namespace {
constexpr std::u16string_view kCrLf = u"\r\n";

// 1-based start of the last CR LF lying wholly within the first n characters of h; 0 if none.
std::size_t LastCrLfWithin(std::u16string_view h, std::size_t n) {
    if (n < 2) return 0;
    std::size_t at = h.substr(0, n).rfind(kCrLf);
    return at == std::u16string_view::npos ? 0 : at + 1;
}
}  // namespace

std::u16string_view LeftTrimSpaces(std::u16string_view s) {
    std::size_t i = s.find_first_not_of(u' ');
    return i == std::u16string_view::npos ? std::u16string_view{} : s.substr(i);
}

std::u16string_view TrimSpaces(std::u16string_view s) {
    s = LeftTrimSpaces(s);
    std::size_t j = s.find_last_not_of(u' ');
    return j == std::u16string_view::npos ? std::u16string_view{} : s.substr(0, j + 1);
}

mduSendBuffer::mduSendBuffer(platform::IRegexEngine& regex, ITranslate& translator)
    : regex_(regex), translator_(translator) {
    speakerLine_ = &Compiled(SpeakerLinePattern);
    speakerName_ = &Compiled(SpeakerNamePattern);
}

const platform::ICompiledRegex& mduSendBuffer::Compiled(std::u16string_view pattern) {
    auto it = cache_.find(pattern);
    if (it == cache_.end())
        it = cache_.emplace(std::u16string(pattern), regex_.Compile(pattern)).first;
    return *it->second;
}

void mduSendBuffer::BufferSentText(const std::u16string& text) {
    if (ownSpeakerName_.empty()) sentTexts_.push_back(text);
}

bool mduSendBuffer::RegexTest(std::u16string_view text, std::u16string_view pattern) {
    return Compiled(pattern).Search(text).has_value();
}

bool mduSendBuffer::IsSpeakerLine(std::u16string_view line) const {
    if (line.size() > kMaxSpeakerLineLength) return false;
    return speakerLine_->Search(line).has_value();
}

std::u16string mduSendBuffer::ExtractSpeakerName(std::u16string_view line, bool trimIt) const {
    if (line.size() > kMaxSpeakerLineLength) return {};
    auto m = speakerName_->Search(line);
    if (!m) return {};
    std::u16string_view name = line.substr(m->position, m->length);
    return std::u16string(trimIt ? TrimSpaces(name) : name);
}

std::optional<mduSendBuffer::Speaker> mduSendBuffer::Classify(std::u16string_view line,
                                                              SpeakerFamily& family) const {
    using F = SpeakerFamily;
    const std::u16string_view trimmed = RightTrimBlanks(line);
    if (family == F::Unknown || family == F::StampedOneLine) {
        if (auto s = ParseStampedLine(trimmed)) {
            family = F::StampedOneLine;
            return Speaker{s->header, std::u16string(s->name), s->body};
        }
    }
    if (family == F::Unknown || family == F::AngleOneLine) {
        if (auto s = ParseAngleLine(trimmed)) {
            family = F::AngleOneLine;
            return Speaker{s->header, std::u16string(s->name), s->body};
        }
    }
    if (family == F::Unknown || family == F::OwnLine) {
        if (auto name = ParseSaysLine(trimmed)) {
            family = F::OwnLine;
            return Speaker{line, std::u16string(*name), std::nullopt};
        }
        // The classic forms, on the line exactly as it is.
        if (IsSpeakerLine(line)) {
            family = F::OwnLine;
            return Speaker{line, ExtractSpeakerName(line, true), std::nullopt};
        }
    }
    return std::nullopt;
}

void mduSendBuffer::LearnOwnSpeakerName(std::u16string_view h) {
    // Positions below are 1-based, as the history format is usually described; 0 means none.
    for (const std::u16string& s : sentTexts_) {
        std::size_t d = 1;
        if (!s.empty()) {
            std::size_t at = h.find(s);
            d = at == std::u16string_view::npos ? 0 : at + 1;
        }
        if (d >= 1 && !s.empty()) {
            // A one-line form: the text sits on its own speaker line, after the name.
            const std::size_t lineStart = [&] {
                const std::size_t at = h.substr(0, d - 1).rfind(kCrLf);
                return at == std::u16string_view::npos ? 0 : at + 2;
            }();
            const std::size_t lineEnd = h.find(kCrLf, lineStart);
            std::u16string_view line =
                h.substr(lineStart, lineEnd == std::u16string_view::npos ? std::u16string_view::npos
                                                                         : lineEnd - lineStart);
            const std::size_t indent = line.size() - LeftTrimSpaces(line).size();
            SpeakerFamily family = family_;
            const auto speaker = Classify(line.substr(indent), family);
            if (speaker && speaker->body &&
                speaker->body->data() - h.data() <= static_cast<std::ptrdiff_t>(d - 1)) {
                ownSpeakerName_ = speaker->name;
                return;
            }
        }
        if (d <= 2) continue;
        // A CR LF ending right before the text does not count, so an indented text finds the
        // end of its speaker line here and a text at the start of its line finds the line above.
        std::size_t e = LastCrLfWithin(h, d - 2);
        if (e <= 2) continue;
        std::size_t f = LastCrLfWithin(h, e - 2);
        std::u16string_view candidate = f <= 2 ? h.substr(0, e - 1) : h.substr(f + 1, e - f - 2);
        candidate = LeftTrimSpaces(candidate);
        SpeakerFamily family = family_;
        if (const auto speaker = Classify(candidate, family); speaker && !speaker->body) {
            ownSpeakerName_ = speaker->name;
            return;
        }
    }
}

std::vector<mduSendBuffer::Shown> mduSendBuffer::ReadNewHistory(std::u16string_view raw) {
    const std::u16string text = NormalizeLineEnds(raw);
    if (ownSpeakerName_.empty()) {
        LearnOwnSpeakerName(text);
        sentTexts_.clear();
    }

    std::vector<Shown> shown;
    std::u16string pending;
    const auto flush = [&] {
        if (!pending.empty()) shown.push_back({false, std::exchange(pending, {})});
    };
    const auto takeLine = [&](std::u16string_view line) {
        if (const auto speaker = Classify(line, family_)) {
            if (speaker->name != ownSpeakerName_) {
                inIncomingMessage_ = true;
                flush();
                shown.push_back({true, std::u16string(speaker->header)});
                if (speaker->body && !speaker->body->empty()) pending = *speaker->body;
            } else {
                inIncomingMessage_ = false;
            }
        } else if (inIncomingMessage_) {
            if (!pending.empty()) pending += kCrLf;
            pending += line;
        }
    };
    std::u16string_view rest = text;
    for (std::size_t end; (end = rest.find(kCrLf)) != std::u16string_view::npos;) {
        takeLine(LeftTrimSpaces(rest.substr(0, end)));
        rest = rest.substr(end + 2);
    }
    // In a one-line form the last line is whole even without its line end: a speaker line
    // there is read as one (the user's own is then skipped, not shown). A first read that is
    // one such line alone (a read through the tree ends without a line end) shows the form.
    if (!rest.empty() && family_ != SpeakerFamily::OwnLine) {
        SpeakerFamily family = family_;
        if (Classify(LeftTrimSpaces(rest), family) &&
            (family == SpeakerFamily::StampedOneLine || family == SpeakerFamily::AngleOneLine)) {
            takeLine(LeftTrimSpaces(rest));
            rest = {};
        }
    }
    flush();
    if (!rest.empty()) shown.push_back({false, std::u16string(rest)});
    return shown;
}

platform::Task<> mduSendBuffer::ProcessNewHistory(platform::IEventLoop& loop, std::u16string text,
                                                  std::string sourceCode, std::string targetCode,
                                                  IResultBox& box) {
    const std::vector<Shown> shown = ReadNewHistory(text);
    box.FocusAndNewLine();
    for (const Shown& s : shown) {
        if (s.header) {
            box.SetColor(kMagenta);
            box.SetBold(true);
            box.Insert(s.text + u"\r\n");
            continue;
        }
        box.SetColor(kBlue);
        box.SetBold(false);
        if (sourceCode == targetCode) {
            box.Insert(s.text + u"\r\n");
            continue;
        }
        box.Insert(s.text);
        const std::u16string translated = co_await platform::Aside(
            loop, [&] { return translator_.TranslateText(s.text, sourceCode, targetCode); });
        // The loop ran other handlers meanwhile: every attribute is set again.
        box.SetItalic(true);
        box.SetColor(kRed);
        box.SetBold(false);
        box.Insert(u"(译文：" + translated + u")\r\n");
    }
}

}  // namespace velmora::relay
