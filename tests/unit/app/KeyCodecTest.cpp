// API keys kept encrypted in the configuration file, with a stand-in codec: what start-up
// reads, and what a save of the engine settings writes.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/SettingsForms.h"
#include "support/TempDir.h"

namespace velmora::app {
namespace {

// "sealed:" and the key reversed; "sealed:" and anything with a '!' does not open, and the
// key "refuse" cannot be sealed.
KeyCodec Reversing() {
    constexpr std::string_view marker = "sealed:";
    return {
        .open = [=](const std::string& stored, bool& sealed,
                    std::string& why) -> std::optional<std::string> {
            sealed = stored.starts_with(marker);
            if (!sealed) return stored;
            std::string key = stored.substr(marker.size());
            if (key.find('!') != std::string::npos) {
                why = "cannot be opened";
                return std::nullopt;
            }
            std::reverse(key.begin(), key.end());
            return key;
        },
        .seal = [=](const std::string& key, std::string& why) -> std::optional<std::string> {
            if (key == "refuse") {
                why = "the system said no";
                return std::nullopt;
            }
            return std::string(marker) + std::string(key.rbegin(), key.rend());
        },
    };
}

struct Loaded {
    Configuration config;
    Diagnostics diagnostics;
};

Loaded Load(const std::filesystem::path& file, const KeyCodec& codec) {
    Loaded l;
    l.config = LoadConfiguration([](const char*) { return std::nullopt; }, file, l.diagnostics,
                                 nullptr, codec);
    return l;
}

TEST(KeyCodec, FileKeysAreOpenedAndThoseKeptAsTypedAreMarkedForSealing) {
    struct Case {
        std::string stored;
        bool codec;
        std::string key;
        bool toSeal;
        std::vector<std::string> engines;
        std::string diagnostic;  // empty: none
    };
    const Case cases[] = {
        {"sealed:yek-kd", true, "dk-key", false, {"deepl", "form"}, ""},
        {"dk-typed", true, "dk-typed", true, {"deepl", "form"}, ""},
        {"sealed:yek!tpurroc", true, "", false, {"form"}, ":4: [deepl] key cannot be opened"},
        // No codec (Linux): a value is the key as typed, whatever it looks like.
        {"sealed:yek!tpurroc", false, "sealed:yek!tpurroc", false, {"deepl", "form"}, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir.path() / "velmora.conf";
        WriteFile(file, "[translation]\nengines=deepl, form\n[deepl]\nkey=" + c.stored + "\n");
        std::filesystem::permissions(
            file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        const Loaded l = Load(file, c.codec ? Reversing() : KeyCodec{});
        EXPECT_EQ(l.config.Engine("deepl").key, c.key) << c.stored;
        EXPECT_EQ(l.config.keysToSeal.contains("deepl"), c.toSeal) << c.stored;
        EXPECT_EQ(l.config.engines, c.engines) << c.stored;
        std::string all;
        for (const auto& d : l.diagnostics) all += d + "\n";
        if (c.diagnostic.empty()) {
            EXPECT_TRUE(l.diagnostics.empty()) << all;
            continue;
        }
        EXPECT_NE(all.find(c.diagnostic), std::string::npos) << all;
        EXPECT_EQ(all.find("tpurroc"), std::string::npos) << "the value is never shown: " << all;
    }
}

TEST(KeyCodec, ASaveSealsNewAndTypedKeysAndLeavesTheOthersAsTheyWere) {
    TempDir dir;
    const auto file = dir.path() / "velmora.conf";
    const std::string before =
        "[translation]\nengines=deepl\n[deepl]\nkey=dk-typed\n[google]\nkey=sealed:yek-g\n"
        "[microsoft]\nkey=sealed:!nepo-tonnac\n";
    WriteFile(file, before);
    const Loaded first = Load(file, Reversing());
    const EngineEdits loaded = EngineEditsOf(first.config);
    EngineEdits edits = loaded;
    edits["libretranslate"].key = "lt-new";
    ASSERT_EQ(
        SaveEngineSettings(file, {"deepl"}, loaded, edits, first.config.keysToSeal, Reversing()),
        "");
    // The key typed into the file is sealed though unchanged; the one that cannot be opened
    // stays for its user to see to.
    EXPECT_EQ(ReadFile(file),
              "[translation]\nengines=deepl\n[deepl]\nkey=sealed:depyt-kd\n[google]\n"
              "key=sealed:yek-g\n[microsoft]\nkey=sealed:!nepo-tonnac\n"
              "\n[libretranslate]\nkey=sealed:wen-tl\n");

    const Loaded again = Load(file, Reversing());
    EXPECT_EQ(again.config.Engine("deepl").key, "dk-typed");
    EXPECT_EQ(again.config.Engine("libretranslate").key, "lt-new");
    EXPECT_EQ(again.config.Engine("google").key, "g-key");
    EXPECT_TRUE(again.config.keysToSeal.empty());
}

TEST(KeyCodec, AKeyThatCannotBeSealedStopsTheWholeSaveWithoutShowingIt) {
    TempDir dir;
    const auto file = dir.path() / "velmora.conf";
    const std::string before = "[translation]\nengines=form\n";
    WriteFile(file, before);
    const EngineEdits loaded = EngineEditsOf(Load(file, Reversing()).config);
    EngineEdits edits = loaded;
    edits["deepl"].key = "refuse";
    const std::string why =
        SaveEngineSettings(file, {"deepl", "form"}, loaded, edits, {}, Reversing());
    EXPECT_NE(why.find("the system said no"), std::string::npos) << why;
    EXPECT_EQ(why.find("refuse"), std::string::npos) << why;
    EXPECT_EQ(ReadFile(file), before) << "nothing written, the engine list neither";
}

}  // namespace
}  // namespace velmora::app
