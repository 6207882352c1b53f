#pragma once

#include <memory>
#include <string_view>

#include "platform/IRegex.h"

namespace velmora::platform::posix {

// IRegexEngine over the 16-bit PCRE2 library: code-unit semantics (no UTF mode), newline LF
// only so '.' excludes LF alone, case-sensitive, JIT-compiled when the library supports it.
// A search that runs into PCRE2's match or depth limit counts as no match, so hostile input
// ends in bounded time.
class Pcre2RegexEngine : public IRegexEngine {
  public:
    Pcre2RegexEngine();
    ~Pcre2RegexEngine() override;
    Pcre2RegexEngine(const Pcre2RegexEngine&) = delete;
    Pcre2RegexEngine& operator=(const Pcre2RegexEngine&) = delete;

    std::unique_ptr<ICompiledRegex> Compile(std::u16string_view pattern) override;

    struct Shared;  // compile/match contexts and the JIT stack, shared by every compiled pattern

  private:
    std::shared_ptr<Shared> shared_;
};

// True when every top-level alternative of the pattern begins with ".+" or ".*" (greedy or
// lazy, not possessive) and nothing in it can change what '.' means. For such a pattern a
// failed attempt at position p also fails at p + 1 unless p holds an LF, so only position 0
// and the positions after an LF need to be tried. Exposed for tests.
bool StartsEveryAlternativeWithDotRepeat(std::u16string_view pattern);

}  // namespace velmora::platform::posix
