#include "platform/win32/StdRegex.h"

#include <algorithm>
#include <regex>

#include "platform/RegexAlternatives.h"

namespace velmora::platform::win32 {

namespace {

// Character classes only for ASCII: a code unit from 0x80 up is no digit, space or word
// character, whatever the C library's tables say about it.
struct AsciiTraits : std::regex_traits<wchar_t> {
    bool isctype(wchar_t c, char_class_type f) const {
        return static_cast<unsigned>(c) < 0x80 && std::regex_traits<wchar_t>::isctype(c, f);
    }
};

using Regex = std::basic_regex<wchar_t, AsciiTraits>;

const wchar_t kEmpty[1] = {L'\0'};

const wchar_t* Begin(std::u16string_view s) {
    return s.data() != nullptr ? reinterpret_cast<const wchar_t*>(s.data()) : kEmpty;
}

class StdCompiledRegex : public ICompiledRegex {
  public:
    StdCompiledRegex(Regex re, bool lineStartsOnly)
        : re_(std::move(re)), lineStartsOnly_(lineStartsOnly) {}

    std::optional<RegexMatch> Search(std::u16string_view text) const override {
        if (text.size() > StdRegexEngine::kMaxSubject) return std::nullopt;
        const wchar_t* begin = Begin(text);
        const wchar_t* end = begin + text.size();
        std::match_results<const wchar_t*> m;
        try {
            if (!lineStartsOnly_) {
                if (!std::regex_search(begin, end, m, re_)) return std::nullopt;
                return RegexMatch{static_cast<std::size_t>(m.position(0)),
                                  static_cast<std::size_t>(m.length(0))};
            }
            // Only the text's start and the starts of lines can begin the leftmost match.
            for (const wchar_t* at = begin;;) {
                auto flags = std::regex_constants::match_continuous;
                if (at != begin) flags |= std::regex_constants::match_prev_avail;
                if (std::regex_search(at, end, m, re_, flags))
                    return RegexMatch{static_cast<std::size_t>(at - begin + m.position(0)),
                                      static_cast<std::size_t>(m.length(0))};
                at = std::find(at, end, L'\n');
                if (at == end) return std::nullopt;
                ++at;
            }
        } catch (const std::exception&) {
            return std::nullopt;  // the library gave up (complexity, memory): no match
        }
    }

  private:
    Regex re_;
    bool lineStartsOnly_;
};

}  // namespace

bool StartsEveryAlternativeWithDotRepeat(std::u16string_view p) {
    auto dotRepeatAt = [&](std::size_t i) {
        return i + 1 < p.size() && p[i] == u'.' && (p[i + 1] == u'+' || p[i + 1] == u'*');
    };
    return EveryAlternativeStarts(p, false, dotRepeatAt);
}

std::u16string RewriteForEcmaScript(std::u16string_view p) {
    std::u16string out;
    out.reserve(p.size() + 16);
    bool inClass = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char16_t c = p[i];
        if (c == u'\\') {
            out.push_back(c);
            if (i + 1 < p.size()) out.push_back(p[++i]);
            continue;
        }
        if (inClass) {
            if (c == u']') inClass = false;
            out.push_back(c);
            continue;
        }
        if (c == u'[') {
            // ECMAScript: a ']' right after '[' or "[^" closes the (empty) class.
            inClass = true;
            out.push_back(c);
            if (i + 1 < p.size() && p[i + 1] == u'^') out.push_back(p[++i]);
        } else if (c == u'.') {
            out += u"[^\\n]";
        } else if (c == u'$') {
            out += u"(?=\\n?$)";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::unique_ptr<ICompiledRegex> StdRegexEngine::Compile(std::u16string_view pattern) {
    const std::u16string rewritten = RewriteForEcmaScript(pattern);
    const wchar_t* begin = Begin(rewritten);
    try {
        return std::make_unique<StdCompiledRegex>(
            Regex(begin, begin + rewritten.size(), std::regex_constants::ECMAScript),
            StartsEveryAlternativeWithDotRepeat(pattern));
    } catch (const std::regex_error& e) {
        throw RegexError(std::string("bad pattern: ") + e.what());
    }
}

}  // namespace velmora::platform::win32
