#pragma once

#include <string>
#include <string_view>

namespace imsim {

// The control socket speaks lines. A request is one line: a command word, then for `post`
// and `set-input` a space and the text. A reply is "ok <n>\n" followed by n bytes of UTF-8
// payload, or "err <reason>\n". Texts inside lines escape backslash, LF, CR and tab.
std::string Escape(std::string_view text);
std::string Unescape(std::string_view text);
std::string OkReply(std::string_view payload);
std::string ErrReply(std::string_view reason);

}  // namespace imsim
