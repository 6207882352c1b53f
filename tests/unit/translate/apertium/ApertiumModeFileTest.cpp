#include "translate/engines/ApertiumModeFile.h"

#include <gtest/gtest.h>

namespace velmora::translate::engines {
namespace {

ModeWord W(std::string text) {
    return {std::move(text), 0};
}
ModeWord P(int n) {
    return {"", n};
}

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<ModeCommand> expected;
};

TEST(ApertiumModeFile, ParsesWhatTheShellWould) {
    const ParseCase cases[] = {
        {"one command", "lt-proc 'a.bin'\n", {{W("lt-proc"), W("a.bin")}}},
        {"pipe and placeholders",
         "lt-proc 'x/a.bin' | apertium-tagger -g $2 'x/b.prob' | lt-proc $1 'x/c.bin'",
         {{W("lt-proc"), W("x/a.bin")},
          {W("apertium-tagger"), W("-g"), P(2), W("x/b.prob")},
          {W("lt-proc"), P(1), W("x/c.bin")}}},
        {"no spaces around pipes", "a|b|c", {{W("a")}, {W("b")}, {W("c")}}},
        {"quoted pipe and spaces", "prog 'a|b c' \"d e\"", {{W("prog"), W("a|b c"), W("d e")}}},
        {"quoted $1 is literal", "prog '$1' x", {{W("prog"), W("$1"), W("x")}}},
        {"escapes",
         "prog a\\ b \"q\\\"uote\\\\\" c\\|d",
         {{W("prog"), W("a b"), W("q\"uote\\"), W("c|d")}}},
        {"adjacent quoting joins one word", "prog 'a'\"b\"c", {{W("prog"), W("abc")}}},
        {"empty quoted argument", "prog '' x", {{W("prog"), W(""), W("x")}}},
        {"line break after a pipe", "a x |\n  b y\n\n", {{W("a"), W("x")}, {W("b"), W("y")}}},
        {"backslash line continuation", "a x \\\n y | b", {{W("a"), W("x"), W("y")}, {W("b")}}},
        {"tabs and carriage return", "a\tx\t|\tb\r\n", {{W("a"), W("x")}, {W("b")}}},
        {"utf-8 path", "prog '/dades/català.bin'", {{W("prog"), W("/dades/català.bin")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto parsed = ParseModeFile(c.text);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, c.expected);
    }
}

TEST(ApertiumModeFile, RefusesWhatOnlyAShellCouldRun) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"blank", "  \n\n"},
        {"leading pipe", "| a"},
        {"trailing pipe", "a |"},
        {"empty command", "a | | b"},
        {"or", "a || b"},
        {"second line", "a x\nb y"},
        {"redirection", "a x 2>/dev/null"},
        {"input redirection", "a < in"},
        {"sequence", "a; b"},
        {"background", "a & b"},
        {"subshell", "(a) | b"},
        {"command substitution", "a `b`"},
        {"dollar substitution", "a $(b)"},
        {"other parameter", "a $3"},
        {"variable", "a $HOME/x"},
        {"placeholder inside a word", "a -x$1"},
        {"placeholder glued to text", "a $1x"},
        {"placeholder in double quotes", "a \"$1\""},
        {"placeholder as program", "$1 a"},
        {"glob", "a *.bin"},
        {"comment", "a # note"},
        {"tilde", "a ~/x.bin"},
        {"unterminated single quote", "a 'x"},
        {"unterminated double quote", "a \"x"},
        {"trailing backslash", "a x\\"},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(ParseModeFile(text).has_value());
    }
}

struct FlushCase {
    const char* name;
    std::vector<ModeCommand> commands;
    bool markUnknown;
    std::vector<platform::Argv> expected;
};

TEST(ApertiumModeFile, BuildsTheNullFlushPipeline) {
    const FlushCase cases[] = {
        {"-z after every program, $1 unmarked, $2 dropped",
         {{W("lt-proc"), W("a.bin")},
          {W("apertium-tagger"), W("-g"), P(2), W("b.prob")},
          {W("apertium-pretransfer")},
          {W("lt-proc"), P(1), W("c.bin")}},
         false,
         {{"lt-proc", "-z", "a.bin"},
          {"apertium-tagger", "-z", "-g", "b.prob"},
          {"apertium-pretransfer", "-z"},
          {"lt-proc", "-z", "-n", "c.bin"}}},
        {"marks kept",
         {{W("lt-proc"), P(1), W("c.bin")}},
         true,
         {{"lt-proc", "-z", "-g", "c.bin"}}},
        {"flush already asked for",
         {{W("lt-proc"), W("-z"), W("a.bin")}, {W("cg-proc"), W("--null-flush"), W("r.bin")}},
         false,
         {{"lt-proc", "-z", "a.bin"}, {"cg-proc", "--null-flush", "r.bin"}}},
        {"a literal -n is not a placeholder",
         {{W("lt-proc"), W("-n"), W("$1")}},
         true,
         {{"lt-proc", "-z", "-n", "$1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NullFlushCommands(c.commands, c.markUnknown), c.expected);
    }
}

}  // namespace
}  // namespace velmora::translate::engines
