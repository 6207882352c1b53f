#include "platform/posix/Pcre2Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <string>

#include "platform/RegexAlternatives.h"

namespace velmora::platform::posix {

namespace {

struct CodeFree {
    void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct JitStackFree {
    void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};

using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;

// Generous for real input (a speaker line needs a few hundred steps), small enough that a
// pathological subject gives up in milliseconds rather than seconds.
constexpr uint32_t kMatchLimit = 5'000'000;
constexpr uint32_t kDepthLimit = 10'000;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 4 * 1024 * 1024;

constexpr uint32_t kCompileOptions = PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_NEVER_BACKSLASH_C;

const char16_t kEmpty[1] = {u'\0'};

PCRE2_SPTR16 Ptr(std::u16string_view s) {
    return reinterpret_cast<PCRE2_SPTR16>(s.data() != nullptr ? s.data() : kEmpty);
}

std::string ErrorText(int code) {
    PCRE2_UCHAR16 buf[256];
    int n = pcre2_get_error_message(code, buf, sizeof buf / sizeof buf[0]);
    std::string out;
    for (int i = 0; i < n; ++i) out.push_back(buf[i] < 0x80 ? static_cast<char>(buf[i]) : '?');
    return out;
}

}  // namespace

struct Pcre2RegexEngine::Shared {
    std::unique_ptr<pcre2_compile_context, CompileContextFree> compile;
    std::unique_ptr<pcre2_match_context, MatchContextFree> match;
    std::unique_ptr<pcre2_jit_stack, JitStackFree> jitStack;
};

namespace {

class Pcre2CompiledRegex : public ICompiledRegex {
  public:
    Pcre2CompiledRegex(std::shared_ptr<Pcre2RegexEngine::Shared> shared, CodePtr code,
                       bool lineStartsOnly)
        : shared_(std::move(shared)), code_(std::move(code)), lineStartsOnly_(lineStartsOnly) {
        data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
        if (!data_) throw RegexError("out of memory for match data");
    }

    std::optional<RegexMatch> Search(std::u16string_view text) const override {
        if (!lineStartsOnly_) return MatchAt(text, 0);
        // Every alternative starts with a dot repeat: the leftmost match, if any, starts at
        // the beginning of a line (code_ is compiled anchored for this case).
        std::size_t start = 0;
        for (;;) {
            if (auto m = MatchAt(text, start)) return m;
            std::size_t lf = text.find(u'\n', start);
            if (lf == std::u16string_view::npos) return std::nullopt;
            start = lf + 1;
        }
    }

  private:
    std::optional<RegexMatch> MatchAt(std::u16string_view text, std::size_t offset) const {
        int rc = pcre2_match(code_.get(), Ptr(text), text.size(), offset, 0, data_.get(),
                             shared_->match.get());
        // No match, or a match/depth/JIT-stack limit reached: both count as no match here.
        if (rc < 0) return std::nullopt;
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_.get());
        if (ov[1] < ov[0]) return std::nullopt;  // \K tricks; not ours, but stay sane
        return RegexMatch{ov[0], ov[1] - ov[0]};
    }

    std::shared_ptr<Pcre2RegexEngine::Shared> shared_;
    CodePtr code_;
    MatchDataPtr data_;  // reused by every search: one UI thread, no re-entrant callouts
    bool lineStartsOnly_;
};

}  // namespace

bool StartsEveryAlternativeWithDotRepeat(std::u16string_view p) {
    // Anything that changes '.' or the meaning of the start offset, or quoting we do not parse,
    // turns the shortcut off.
    for (std::size_t i = 0; i + 1 < p.size(); ++i) {
        if (p[i] == u'\\') {
            char16_t n = p[i + 1];
            if (n == u'Q' || n == u'G' || n == u'K') return false;
            ++i;
            continue;
        }
        if (p[i] == u'(' && (p[i + 1] == u'*')) return false;
        if (p[i] == u'(' && p[i + 1] == u'?') {
            char16_t n = i + 2 < p.size() ? p[i + 2] : u'\0';
            if (n != u'=' && n != u'!' && n != u':' && n != u'<') return false;
        }
    }
    auto dotRepeatAt = [&](std::size_t i) {
        if (i + 1 >= p.size() || p[i] != u'.') return false;
        if (p[i + 1] != u'+' && p[i + 1] != u'*') return false;
        return !(i + 2 < p.size() && p[i + 2] == u'+');  // possessive: no backtracking
    };
    return EveryAlternativeStarts(p, true, dotRepeatAt);
}

Pcre2RegexEngine::Pcre2RegexEngine() : shared_(std::make_shared<Shared>()) {
    shared_->compile.reset(pcre2_compile_context_create(nullptr));
    shared_->match.reset(pcre2_match_context_create(nullptr));
    shared_->jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    if (!shared_->compile || !shared_->match) throw RegexError("out of memory for PCRE2 contexts");
    pcre2_set_newline(shared_->compile.get(), PCRE2_NEWLINE_LF);
    pcre2_set_match_limit(shared_->match.get(), kMatchLimit);
    pcre2_set_depth_limit(shared_->match.get(), kDepthLimit);
    if (shared_->jitStack)
        pcre2_jit_stack_assign(shared_->match.get(), nullptr, shared_->jitStack.get());
}

Pcre2RegexEngine::~Pcre2RegexEngine() = default;

std::unique_ptr<ICompiledRegex> Pcre2RegexEngine::Compile(std::u16string_view pattern) {
    bool lineStarts = StartsEveryAlternativeWithDotRepeat(pattern);
    int err = 0;
    PCRE2_SIZE errOffset = 0;
    // Anchoring has to be a compile option: passed at match time it would disable the JIT.
    uint32_t options = kCompileOptions | (lineStarts ? PCRE2_ANCHORED : 0u);
    CodePtr code(pcre2_compile(Ptr(pattern), pattern.size(), options, &err, &errOffset,
                               shared_->compile.get()));
    if (!code) {
        throw RegexError("bad pattern at " + std::to_string(errOffset) + ": " + ErrorText(err));
    }
    // Without JIT support pcre2_match interprets the pattern; results are the same.
    pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
    return std::make_unique<Pcre2CompiledRegex>(shared_, std::move(code), lineStarts);
}

}  // namespace velmora::platform::posix
