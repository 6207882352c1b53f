#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace velmora::platform {

struct RegexMatch {
    std::size_t position = 0;  // 0-based, in UTF-16 code units
    std::size_t length = 0;
};

class RegexError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A compiled, case-sensitive, unanchored ECMAScript-style pattern over UTF-16 code units,
// where '.' excludes only LF.
class ICompiledRegex {
  public:
    virtual ~ICompiledRegex() = default;
    virtual std::optional<RegexMatch> Search(std::u16string_view text) const = 0;
};

class IRegexEngine {
  public:
    virtual ~IRegexEngine() = default;
    virtual std::unique_ptr<ICompiledRegex> Compile(
        std::u16string_view pattern) = 0;  // throws RegexError
};

}  // namespace velmora::platform
