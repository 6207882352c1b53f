#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <map>
#include <set>

#include "app/core/Configuration.h"
#include "app/core/IniFile.h"
#include "support/TempDir.h"

namespace velmora::app {
namespace {

struct Env {
    std::map<std::string, std::string> vars;
    std::optional<std::string> operator()(const char* name) const {
        auto it = vars.find(name);
        if (it == vars.end() || it->second.empty()) return std::nullopt;
        return it->second;
    }
};

struct Loaded {
    Configuration config;
    Diagnostics diagnostics;
    std::string AllDiagnostics() const {
        std::string all;
        for (const auto& d : diagnostics) all += d + "\n";
        return all;
    }
};

Loaded Load(const Env& env, const std::string* fileText = nullptr, unsigned mode = 0600,
            const KeyLookup& keyLookup = nullptr) {
    static TempDir dir;
    const auto file = dir.path() / "velmora.conf";
    std::filesystem::remove(file);
    if (fileText) {
        WriteFile(file, *fileText);
#ifdef _WIN32
        (void)mode;  // the profile's access lists keep the file private
#else
        ::chmod(file.c_str(), mode);
#endif
    }
    Loaded l;
    l.config = LoadConfiguration(env, file, l.diagnostics, keyLookup);
    return l;
}

TEST(Configuration, DefaultsPointAtTheOfflineEngineAndLoopback) {
    const Loaded l = Load(Env{});
    EXPECT_EQ(l.config.engines, (std::vector<std::string>{"apertium", "form"}));
    EXPECT_EQ(l.config.Engine("form").url, "http://127.0.0.1:18080/translate_t");
    EXPECT_EQ(l.config.updateBaseUrl, "http://127.0.0.1:18081");
    EXPECT_EQ(l.config.pageBase, "127.0.0.1:18081");
    EXPECT_TRUE(l.diagnostics.empty()) << l.AllDiagnostics();
}

TEST(Configuration, EnvironmentValuesAndTheirNormalisation) {
    struct Case {
        std::map<std::string, std::string> vars;
        std::vector<std::string> engines;
        std::string formUrl, updateUrl, pageBase;
    };
    const Case cases[] = {
        // The form URL alone keeps the program as it was: the form engine only.
        {{{"VELMORA_TRANSLATE_URL", "http://127.0.0.1:9/t"}},
         {"form"},
         "http://127.0.0.1:9/t",
         "http://127.0.0.1:18081",
         "127.0.0.1:18081"},
        {{{"VELMORA_TRANSLATE_URL", "http://127.0.0.1:9/t"}, {"VELMORA_ENGINES", "apertium"}},
         {"apertium"},
         "http://127.0.0.1:9/t",
         "http://127.0.0.1:18081",
         "127.0.0.1:18081"},
        // One trailing-slash rule for both vendor values.
        {{{"VELMORA_UPDATE_URL", "http://h:1//"}, {"VELMORA_PAGE_BASE", "h:2/"}},
         {"apertium", "form"},
         "http://127.0.0.1:18080/translate_t",
         "http://h:1",
         "h:2"},
        // Empty counts as unset; blanks and repeats in the list are dropped.
        {{{"VELMORA_UPDATE_URL", ""}, {"VELMORA_ENGINES", " form ,apertium,, form"}},
         {"form", "apertium"},
         "http://127.0.0.1:18080/translate_t",
         "http://127.0.0.1:18081",
         "127.0.0.1:18081"},
    };
    for (const auto& c : cases) {
        const Loaded l = Load(Env{c.vars});
        EXPECT_EQ(l.config.engines, c.engines);
        EXPECT_EQ(l.config.Engine("form").url, c.formUrl);
        EXPECT_EQ(l.config.updateBaseUrl, c.updateUrl);
        EXPECT_EQ(l.config.pageBase, c.pageBase);
    }
}

TEST(Configuration, FileValuesWithTheEnvironmentOverThem) {
    const std::string text =
        "; written by hand\n"
        "[translation]\n"
        "engines=libretranslate, deepl, apertium\n"
        "[libretranslate]\n"
        "url=http://127.0.0.1:5000/translate\n"
        "[deepl]\n"
        "key=\"abc:fx\"\n"
        "[microsoft]\n"
        "region=westeurope\n"
        "[form]\n"
        "url=http://file/form\n";
    Loaded l = Load(Env{}, &text);
    EXPECT_EQ(l.config.engines, (std::vector<std::string>{"libretranslate", "deepl", "apertium"}));
    EXPECT_EQ(l.config.Engine("libretranslate").url, "http://127.0.0.1:5000/translate");
    EXPECT_EQ(l.config.Engine("deepl").key, "abc:fx");
    EXPECT_EQ(l.config.Engine("microsoft").region, "westeurope");
    EXPECT_EQ(l.config.Engine("form").url, "http://file/form");
    EXPECT_TRUE(l.diagnostics.empty()) << l.AllDiagnostics();

    l = Load(Env{{{"VELMORA_ENGINES", "form"}, {"VELMORA_TRANSLATE_URL", "http://env/form"}}},
             &text);
    EXPECT_EQ(l.config.engines, (std::vector<std::string>{"form"}));
    EXPECT_EQ(l.config.Engine("form").url, "http://env/form");
}

TEST(Configuration, EachFaultIsOneLineAndTheRestIsStillUsed) {
    struct Case {
        std::string text;
        std::string expectInDiagnostic;
        std::vector<std::string> engines;
    };
    const Case cases[] = {
        {"[translation]\nengines=apertium\nthis line is nonsense\n",
         "velmora.conf:3: expected",
         {"apertium"}},
        {"[translation\n[translation]\nengines=form\n",
         "velmora.conf:1: a section header",
         {"form"}},
        {"[deepl]\nkey=\"unterminated\n[translation]\nengines=form\n",
         "velmora.conf:2: a quoted value",
         {"form"}},
        {"[translation]\nengines=form, babelfish\n", "unknown engine \"babelfish\"", {"form"}},
        {"[translation]\nengines=libretranslate, form\n",
         "engine libretranslate has no [libretranslate] url",
         {"form"}},
        {"[translation]\nengines=google, apertium\n",
         "engine google has no [google] key",
         {"apertium"}},
        {"[translation]\nengines=form\n[form]\nurll=x\n",
         "velmora.conf:4: unknown key [form] urll",
         {"form"}},
        {"=x\n[translation]\nengines=form\n", "velmora.conf:1: a key is missing", {"form"}},
    };
    for (const auto& c : cases) {
        const Loaded l = Load(Env{}, &c.text);
        ASSERT_EQ(l.diagnostics.size(), 1u) << c.text << l.AllDiagnostics();
        EXPECT_NE(l.diagnostics[0].find(c.expectInDiagnostic), std::string::npos)
            << l.diagnostics[0];
        EXPECT_EQ(l.config.engines, c.engines) << c.text;
    }
}

TEST(Configuration, ShortcutTextsAndTheChordsTheyName) {
    using platform::HotkeyChord;
    constexpr std::uint8_t C = platform::kHotkeyControl, A = platform::kHotkeyAlt,
                           S = platform::kHotkeyShift, W = platform::kHotkeySuper;
    const struct {
        std::string text;
        std::optional<HotkeyChord> chord;
    } cases[] = {
        {"Ctrl+Alt+Y", HotkeyChord{C | A, 'Y'}},
        {"ctrl + alt + y", HotkeyChord{C | A, 'Y'}},
        {"Alt+Control+y", HotkeyChord{C | A, 'Y'}},
        {"Shift+Meta+1", HotkeyChord{S | W, '1'}},
        {"Win+Z", HotkeyChord{W, 'Z'}},
        {"Super+F12", HotkeyChord{W, 0x7B}},
        {"F5", HotkeyChord{0, 0x74}},
        {"Shift+F24", HotkeyChord{S, 0x87}},
        {"Ctrl+Shift+F1", HotkeyChord{C | S, 0x70}},
        {"Y", std::nullopt},            // would take the letter from every program
        {"Shift+Y", std::nullopt},      // likewise the capital
        {"Ctrl+Ctrl+Y", std::nullopt},  // a modifier twice is a typo
        {"Ctrl+Alt", std::nullopt},     // no key
        {"Ctrl+Alt+YY", std::nullopt},
        {"Ctrl+Alt+", std::nullopt},
        {"Ctrl+Y+Alt", std::nullopt},
        {"Hyper+Y", std::nullopt},
        {"Ctrl+F0", std::nullopt},
        {"Ctrl+F25", std::nullopt},
        {"Ctrl+F1x", std::nullopt},
        {"Ctrl+Enter", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseShortcut(c.text), c.chord) << c.text;
        // What the dialog writes reads back as the same chord.
        if (c.chord) {
            EXPECT_EQ(ParseShortcut(ShortcutText(*c.chord)), c.chord) << c.text;
        }
    }
    EXPECT_EQ(ShortcutText(HotkeyChord{C | A, 'Y'}), "Ctrl+Alt+Y");
    EXPECT_EQ(ShortcutText(HotkeyChord{S | W, 0x7B}), "Shift+Super+F12");
}

TEST(Configuration, InPlaceSettingsFromTheFile) {
    const struct {
        std::string text;
        std::optional<platform::HotkeyChord> chord;
        bool send;
        std::string diagnostic;  // empty: none expected
    } cases[] = {
        {"", platform::HotkeyChord{platform::kHotkeyControl | platform::kHotkeyAlt, 'Y'}, false,
         ""},
        {"[inplace]\nshortcut=Super+T\nsend=true\n",
         platform::HotkeyChord{platform::kHotkeySuper, 'T'}, true, ""},
        {"[inplace]\nshortcut=\nsend=no\n", std::nullopt, false, ""},
        {"[inplace]\nshortcut=Ctrl+Alt+\n", std::nullopt, false, "[inplace] shortcut"},
        {"[inplace]\nsend=maybe\n",
         platform::HotkeyChord{platform::kHotkeyControl | platform::kHotkeyAlt, 'Y'}, false,
         "[inplace] send"},
    };
    for (const auto& c : cases) {
        const Loaded l = Load(Env{}, &c.text);
        EXPECT_EQ(l.config.inPlaceShortcut, c.chord) << c.text;
        EXPECT_EQ(l.config.inPlaceSend, c.send) << c.text;
        if (c.diagnostic.empty()) {
            EXPECT_TRUE(l.diagnostics.empty()) << c.text << l.AllDiagnostics();
        } else {
            ASSERT_EQ(l.diagnostics.size(), 1u) << c.text << l.AllDiagnostics();
            EXPECT_NE(l.diagnostics[0].find(c.diagnostic), std::string::npos) << l.diagnostics[0];
        }
    }
}

TEST(Configuration, KeysNeverAppearInDiagnostics) {
    const std::string secret = "s3cr3t-KEY-value";
    // Every kind of fault on lines that carry the key.
    const std::string text = "[deepl]\nkey=" + secret + "\n" + "[google]\nkey \"" + secret +
                             "\"\n" + "[microsoft]\nkey=\"" + secret + "\n" +
                             "[nowhere]\nkey=" + secret + "\n" +
                             "[translation]\nengines=deepl, microsoft\n";
    const Loaded l = Load(Env{}, &text, 0644);
    EXPECT_GE(l.diagnostics.size(), 4u);
    EXPECT_EQ(l.AllDiagnostics().find(secret), std::string::npos) << l.AllDiagnostics();
    EXPECT_EQ(l.AllDiagnostics().find("s3cr3t"), std::string::npos);
}

#ifndef _WIN32
// POSIX file modes.
TEST(Configuration, AFileWithKeysThatOthersCanReadIsReported) {
    const std::string text = "[deepl]\nkey=abc\n[translation]\nengines=deepl\n";
    EXPECT_NE(Load(Env{}, &text, 0644).AllDiagnostics().find("other users can read it"),
              std::string::npos);
    EXPECT_TRUE(Load(Env{}, &text, 0600).diagnostics.empty());
    const std::string noKeys = "[translation]\nengines=form\n";
    EXPECT_TRUE(Load(Env{}, &noKeys, 0644).diagnostics.empty());
}
#endif

TEST(Configuration, AnOversizedFileIsIgnoredWithAReason) {
    const std::string huge = "[translation]\nengines=form\n" + std::string(2u << 20, ';');
    const Loaded l = Load(Env{}, &huge);
    ASSERT_EQ(l.diagnostics.size(), 1u);
    EXPECT_EQ(l.config.engines, (std::vector<std::string>{"apertium", "form"}));
}

TEST(Configuration, ConfigFileFollowsXdg) {
    EXPECT_EQ(DefaultConfigFile(Env{{{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/home/u"}}}),
              "/x/cfg/velmora/velmora.conf");
    // A relative XDG value is invalid by the base-directory rules.
    EXPECT_EQ(DefaultConfigFile(Env{{{"XDG_CONFIG_HOME", "rel"}, {"HOME", "/home/u"}}}),
              "/home/u/.config/velmora/velmora.conf");
    EXPECT_EQ(DefaultConfigFile(Env{{{"HOME", "/home/u"}}}),
              "/home/u/.config/velmora/velmora.conf");
}

// A keyring stand-in that remembers which engines it was asked for.
struct Keyring {
    std::map<std::string, std::string> keys;
    std::set<std::string> asked;
    KeyLookup Lookup() {
        return [this](const std::string& engine) -> std::optional<std::string> {
            asked.insert(engine);
            auto it = keys.find(engine);
            if (it == keys.end()) return std::nullopt;
            return it->second;
        };
    }
};

TEST(Configuration, AListedEngineAsksTheKeyLookupBeforeItIsLeftOut) {
    struct Case {
        std::string text;
        std::map<std::string, std::string> ring;
        std::vector<std::string> engines;
        std::set<std::string> asked;
        std::string diagnostic;  // empty: none
    };
    const Case cases[] = {
        // Only a listed engine that needs a key and has none in the file asks.
        {"[translation]\nengines=deepl, google, apertium\n[google]\nkey=file-google\n",
         {{"deepl", "ring-deepl"}, {"google", "ring-google"}, {"microsoft", "ring-ms"}},
         {"deepl", "google", "apertium"},
         {"deepl"},
         ""},
        {"[translation]\nengines=microsoft, form\n",
         {},
         {"form"},
         {"microsoft"},
         "engine microsoft has no [microsoft] key"},
        {"[translation]\nengines=deepl, form\n",
         {{"deepl", ""}},
         {"form"},
         {"deepl"},
         "engine deepl has no [deepl] key"},
        // An engine left out for its missing URL is not worth a keyring question.
        {"[translation]\nengines=libretranslate, form\n",
         {{"libretranslate", "ring-libre"}},
         {"form"},
         {},
         "has no [libretranslate] url"},
    };
    for (const auto& c : cases) {
        Keyring ring{c.ring, {}};
        const Loaded l = Load(Env{}, &c.text, 0600, ring.Lookup());
        EXPECT_EQ(l.config.engines, c.engines) << c.text;
        EXPECT_EQ(ring.asked, c.asked) << c.text;
        if (c.diagnostic.empty()) {
            EXPECT_TRUE(l.diagnostics.empty()) << l.AllDiagnostics();
        } else {
            ASSERT_EQ(l.diagnostics.size(), 1u) << l.AllDiagnostics();
            EXPECT_NE(l.diagnostics[0].find(c.diagnostic), std::string::npos) << l.diagnostics[0];
        }
        EXPECT_EQ(l.AllDiagnostics().find("ring-"), std::string::npos);
    }
    Keyring ring{{{"deepl", "ring-deepl"}}, {}};
    const std::string text = "[translation]\nengines=deepl, google\n[google]\nkey=file-google\n";
    const Loaded l = Load(Env{}, &text, 0600, ring.Lookup());
    EXPECT_EQ(l.config.Engine("deepl").key, "ring-deepl");
    EXPECT_EQ(l.config.Engine("google").key, "file-google") << "the file's key wins";
}

TEST(Configuration, FillMissingKeysLeavesFileKeysAndTheEngineListAlone) {
    const std::string text = "[translation]\nengines=apertium\n[deepl]\nkey=file-deepl\n";
    Loaded l = Load(Env{}, &text);
    Keyring ring{{{"deepl", "ring-deepl"}, {"libretranslate", "ring-libre"}, {"google", "ring-g"}},
                 {}};
    FillMissingKeys(ring.Lookup(), l.config);
    EXPECT_EQ(l.config.Engine("deepl").key, "file-deepl");
    EXPECT_EQ(l.config.Engine("libretranslate").key, "ring-libre");
    EXPECT_EQ(l.config.Engine("google").key, "ring-g");
    EXPECT_EQ(l.config.Engine("microsoft").key, "");
    EXPECT_EQ(l.config.engines, (std::vector<std::string>{"apertium"}));
    // Engines that take no key are never asked about.
    EXPECT_EQ(ring.asked, (std::set<std::string>{"libretranslate", "google", "microsoft"}));

    FillMissingKeys(nullptr, l.config);
    EXPECT_EQ(l.config.Engine("microsoft").key, "");
}

TEST(IniFile, QuotedValuesRoundTrip) {
    const std::string values[] = {
        "plain", "with \"quotes\"", "back\\slash", "two\nlines", " padded ", "", "a=b;c#d"};
    for (const auto& v : values) {
        const IniFile ini = ParseIni("[s]\nk=" + QuoteIniValue(v) + "\n");
        ASSERT_EQ(ini.entries.size(), 1u) << v;
        EXPECT_EQ(ini.entries[0].value, v);
        EXPECT_TRUE(ini.problems.empty());
    }
    // Keys before any section are QSettings' [General]; CR LF and a BOM are accepted.
    const IniFile ini = ParseIni("\xEF\xBB\xBFtop=1\r\n[s]\r\nk = v \r\n");
    ASSERT_EQ(ini.entries.size(), 2u);
    EXPECT_EQ(ini.entries[0].section, "General");
    EXPECT_EQ(ini.entries[1].value, "v");
    EXPECT_EQ(ini.entries[1].line, 3);
}

}  // namespace
}  // namespace velmora::app
