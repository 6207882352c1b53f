// The backslash escapes INI and desktop entry values share.

#include <gtest/gtest.h>

#include <string>

#include "platform/Escape.h"

namespace velmora::platform {
namespace {

TEST(BackslashEscape, EscapesBackslashAndControlCharactersAndOnlyTheExtrasAsked) {
    struct Case {
        std::string text;
        std::string also;
        std::string escaped;
    };
    const Case cases[] = {
        {"plain text", "", "plain text"},
        {"a\\b", "", "a\\\\b"},
        {"line\nnext\ttab\rcr", "", "line\\nnext\\ttab\\rcr"},
        {"say \"hi\"", "", "say \"hi\""},
        {"say \"hi\"", "\"", "say \\\"hi\\\""},
        {"\\\"", "\"", "\\\\\\\""},
        {"", "\"", ""},
        {std::string("nul\0in", 6), "", std::string("nul\0in", 6)},
    };
    for (const auto& c : cases) EXPECT_EQ(BackslashEscape(c.text, c.also), c.escaped) << c.text;
}

}  // namespace
}  // namespace velmora::platform
