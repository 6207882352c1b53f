#include "translate/engines/ApertiumModes.h"

#include <gtest/gtest.h>

#include "TestProcesses.h"

namespace velmora::translate::engines {
namespace {

using testing::TempDir;

std::optional<std::string> TwoToThree(const std::string& code) {
    if (code == "en") return "eng";
    if (code == "gl") return "glg";
    if (code == "es") return "spa";
    if (code == "xx") return "X1";  // not a code: must be refused
    return std::nullopt;
}

TEST(ApertiumModes, PairKeyFromModeName) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"eng-spa", "eng-spa"},       {"en-gl", "eng-glg"},
        {"en-spa", "eng-spa"},        {"eng-cat_valencia", std::nullopt},
        {"spa-eng_US", std::nullopt}, {"en-eo-bytecode", std::nullopt},
        {"eo-en", std::nullopt},  // eo is not mapped
        {"xx-en", std::nullopt},  // mapped to something that is no code
        {"engspa", std::nullopt},     {"Eng-spa", std::nullopt},
        {"e-spa", std::nullopt},      {"engl-spa", std::nullopt},
        {"-spa", std::nullopt},       {"", std::nullopt},
    };
    for (const auto& [name, key] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ModePairKey(name, TwoToThree), key);
    }
}

TEST(ApertiumModes, DiscoversWellFormedModesOnly) {
    TempDir dir;
    dir.Write("eng-spa.mode", "lt-proc 'a.bin' | lt-proc $1 'b.bin'\n");
    dir.Write("en-gl.mode", "lt-proc 'gl.bin'\n");
    dir.Write("spa-eng.mode", "lt-proc 'a.bin' 2>/dev/null\n");      // malformed
    dir.Write("glg-eng.mode", "");                                   // empty
    dir.Write("eng-cat_valencia.mode", "lt-proc 'v.bin'\n");         // variant
    dir.Write("eng-epo.txt", "lt-proc 'e.bin'\n");                   // not a mode file
    dir.Write("cat-eng.mode", std::string(100 * 1024, 'a'));         // oversized
    std::filesystem::create_directory(dir.Path() / "eng-ita.mode");  // a folder
    auto modes = DiscoverModes({dir.Path()}, TwoToThree);

    ASSERT_EQ(modes.size(), 2u);
    ASSERT_TRUE(modes.count("eng-spa"));
    EXPECT_EQ(modes["eng-spa"].name, "eng-spa");
    EXPECT_EQ(modes["eng-spa"].file, dir.Path() / "eng-spa.mode");
    EXPECT_EQ(modes["eng-spa"].commands.size(), 2u);
    ASSERT_TRUE(modes.count("eng-glg"));
    EXPECT_EQ(modes["eng-glg"].name, "en-gl");
}

TEST(ApertiumModes, EarlierFolderAndThreeLetterNameWin) {
    TempDir first, second;
    first.Write("en-es.mode", "two-letter\n");
    first.Write("eng-spa.mode", "three-letter\n");
    first.Write("en-gl.mode", "first-gl\n");
    first.Write("eng-glg.mode", "broken |\n");  // malformed: the two-letter one stays
    second.Write("eng-spa.mode", "second\n");
    second.Write("spa-eng.mode", "second-only\n");
    auto modes = DiscoverModes({first.Path(), second.Path()}, TwoToThree);

    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes["eng-spa"].commands[0][0].text, "three-letter");
    EXPECT_EQ(modes["eng-glg"].commands[0][0].text, "first-gl");
    EXPECT_EQ(modes["spa-eng"].commands[0][0].text, "second-only");
}

TEST(ApertiumModes, MissingFolderFindsNothing) {
    TempDir dir;
    EXPECT_TRUE(DiscoverModes({dir.Path() / "none"}, TwoToThree).empty());
}

}  // namespace
}  // namespace velmora::translate::engines
