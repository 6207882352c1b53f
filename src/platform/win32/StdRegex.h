#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/IRegex.h"

namespace velmora::platform::win32 {

// IRegexEngine over the C++ library's ECMAScript std::wregex (wchar_t is a UTF-16 code unit
// here). The pattern is rewritten so that it means what the port promises: '.' takes every code
// unit but LF, '$' also matches before a final LF, and \d \s \w (and \b, the POSIX classes)
// stay within ASCII, as in the other platform's engine.
class StdRegexEngine : public IRegexEngine {
  public:
    // The library's matcher recurses several frames deep per code unit it consumes, on the
    // caller's stack (a repeated alternation at 1024 units overflowed a 1 MiB thread stack under
    // Wine). Longer subjects count as no match: at this length every pattern tried ran in 256 KiB,
    // an eighth of the 2 MiB main-thread stack, and a quadratic search stays under 100 ms. Real
    // subjects (one history line, at most 256 units) are below it.
    static constexpr std::size_t kMaxSubject = 512;

    std::unique_ptr<ICompiledRegex> Compile(std::u16string_view pattern) override;
};

// True when every top-level alternative of the pattern begins with ".+" or ".*" (greedy or
// lazy). For such a pattern a failed attempt at position p also fails at p + 1 unless p holds an
// LF, so only position 0 and the positions after an LF are tried: that takes the search from
// cubic to quadratic in the line length for the speaker patterns. Exposed for tests.
bool StartsEveryAlternativeWithDotRepeat(std::u16string_view pattern);

// The pattern as given to std::wregex. Exposed for tests.
std::u16string RewriteForEcmaScript(std::u16string_view pattern);

}  // namespace velmora::platform::win32
