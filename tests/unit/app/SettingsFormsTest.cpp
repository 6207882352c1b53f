#include "app/core/SettingsForms.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmora::app {
namespace {

Configuration Read(const std::string& text) {
    TempDir dir;
    const auto file = dir.path() / "velmora.conf";
    WriteFile(file, text);
    return LoadSettingsFile(file);
}

std::vector<std::string> Names(const std::vector<EngineListRow>& rows, bool used) {
    std::vector<std::string> names;
    for (const EngineListRow& r : rows) names.push_back(r.name + (r.used == used ? "" : "?"));
    return names;
}

TEST(SettingsForms, TheEnginesInUseComeFirstAndOnlyOfferedOnesAreListed) {
    const Configuration c = Read("[translation]\nengines=google, apertium\n[google]\nkey=g\n");
    const auto all = EngineListOrder(c, KnownEngines());
    EXPECT_EQ(Names({all.begin(), all.begin() + 2}, true),
              (std::vector<std::string>{"google", "apertium"}));
    EXPECT_EQ(Names({all.begin() + 2, all.end()}, false),
              (std::vector<std::string>{"form", "libretranslate", "deepl", "microsoft", "apy"}));
    const auto some = EngineListOrder(c, {"form", "google", "apy"});
    EXPECT_EQ(Names(some, false), (std::vector<std::string>{"google?", "form", "apy"}));
}

TEST(SettingsForms, EachEngineTakesItsOwnFields) {
    struct Row {
        const char* engine;
        bool url, key, region;
        const char* urlHint;
        const char* keyHint;
    } rows[] = {
        {"apertium", false, false, false, "本机引擎，无需地址", "无需密钥"},
        {"form", true, false, false, "http://127.0.0.1:18080/translate_t", "无需密钥"},
        {"libretranslate", true, true, false, "必填", "可选"},
        {"deepl", true, true, false, "引擎默认地址", "必填"},
        {"microsoft", true, true, true, "https://api.cognitive.microsofttranslator.com/translate",
         "必填"},
    };
    for (const Row& r : rows) {
        const EngineFields f = FieldsOf(r.engine);
        EXPECT_EQ(f.url, r.url) << r.engine;
        EXPECT_EQ(f.key, r.key) << r.engine;
        EXPECT_EQ(f.region, r.region) << r.engine;
        EXPECT_EQ(f.urlHint, r.urlHint) << r.engine;
        EXPECT_EQ(f.keyHint, r.keyHint) << r.engine;
    }
}

TEST(SettingsForms, AnEngineMissingWhatItNeedsIsNotSaved) {
    EngineEdits edits = EngineEditsOf(Configuration{});
    edits["google"].key = "g";
    edits["libretranslate"].url = "http://h/t";
    struct Row {
        std::vector<std::string> enabled;
        const char* why;
    } rows[] = {
        {{}, "请至少选择一个翻译引擎"},
        {{"form", "deepl"}, "引擎 DeepL 需要填写密钥"},
        {{"microsoft"}, "引擎 微软翻译 需要填写密钥"},
        {{"google", "libretranslate", "form", "apy"}, ""},
    };
    for (const Row& r : rows) EXPECT_EQ(CheckEngineSettings(r.enabled, edits), r.why);
    edits["libretranslate"].url.clear();
    EXPECT_EQ(CheckEngineSettings({"libretranslate"}, edits),
              "引擎 LibreTranslate（自建或公共服务器） 需要填写地址");
}

TEST(SettingsForms, ASaveWritesWhatStartUpReadsBackAndLeavesDefaultsOut) {
    const std::string before =
        "; mine\n[translation]\nengines=form\n[form]\nurl=http://old/t\n[deepl]\nkey=old\n"
        "[google]\nkey=stays\n";
    const Configuration c = Read(before);
    const EngineEdits loaded = EngineEditsOf(c);
    EngineEdits edits = loaded;
    edits["form"].url = "http://127.0.0.1:18080/translate_t";  // the default again
    edits["deepl"].key.clear();
    edits["microsoft"].key = "mk";
    edits["microsoft"].region = "westeurope";
    const std::vector<std::string> enabled = {"microsoft", "google", "form"};

    std::vector<IniChange> changes = KeyChanges(loaded, edits);
    ASSERT_EQ(changes.size(), 2u) << "only the keys that changed";
    for (IniChange& ch : EngineSettingsChanges(enabled, edits)) changes.push_back(ch);
    const std::string after = ApplyIniChanges(before, changes);
    EXPECT_EQ(after,
              "; mine\n[translation]\nengines=\"microsoft, google, form\"\n[form]\n[deepl]\n"
              "[google]\nkey=stays\n\n[microsoft]\nkey=mk\nregion=westeurope\n");
    const Configuration again = Read(after);
    EXPECT_EQ(again.engines, enabled);
    EXPECT_EQ(again.Engine("microsoft").key, "mk");
    EXPECT_EQ(again.Engine("form").url, "http://127.0.0.1:18080/translate_t");
}

TEST(SettingsForms, TheInPlaceShortcutIsCheckedAndTheDefaultNotWritten) {
    struct Row {
        const char* typed;
        bool send;
        const char* why;
        std::optional<std::string> shortcut;
        std::optional<std::string> sendValue;
    } rows[] = {
        {"Ctrl+Shift+F5", true, "", "Ctrl+Shift+F5", "true"},
        {"ctrl + alt + y", false, "", std::nullopt, std::nullopt},
        {"Meta+1", false, "", "Super+1", std::nullopt},
        {"", false, "", "", std::nullopt},
        {"Shift+A", false, "快捷键须为 Ctrl、Alt 或 Super 加字母、数字，或 F1 到 F24", {}, {}},
        {"Ctrl+#13", false, "快捷键须为 Ctrl、Alt 或 Super 加字母、数字，或 F1 到 F24", {}, {}},
    };
    for (const Row& r : rows) {
        std::vector<IniChange> changes;
        EXPECT_EQ(InPlaceChanges(r.typed, r.send, changes), r.why) << r.typed;
        if (*r.why != '\0') {
            EXPECT_TRUE(changes.empty()) << r.typed;
            continue;
        }
        ASSERT_EQ(changes.size(), 2u);
        EXPECT_EQ(changes[0].value, r.shortcut) << r.typed;
        EXPECT_EQ(changes[1].value, r.sendValue) << r.typed;
    }

    TempDir dir;
    const auto file = dir.path() / "velmora.conf";
    InPlaceForm form = LoadInPlaceForm(file);
    EXPECT_EQ(form.shortcut, "Ctrl+Alt+Y");
    EXPECT_FALSE(form.send);
    std::vector<IniChange> changes;
    ASSERT_EQ(InPlaceChanges("", true, changes), "");
    ASSERT_EQ(WriteIniChanges(file, changes), "");
    form = LoadInPlaceForm(file);
    EXPECT_EQ(form.shortcut, "") << "off stays off";
    EXPECT_TRUE(form.send);
}

TEST(SettingsForms, TheTestSampleSuitsTheEngine) {
    EXPECT_EQ(DefaultTestSample("apy").src, "en");
    EXPECT_EQ(DefaultTestSample("apy").dst, "es");
    EXPECT_EQ(DefaultTestSample("deepl").text, u"你好，朋友");
    EXPECT_EQ(DefaultTestSample("deepl").src, "zh-CN");
    EXPECT_EQ(TestResultLine(false, "HTTP 401"), "失败：HTTP 401");
    EXPECT_EQ(TestResultLine(true, "Hi"), "译文：Hi");
}

}  // namespace
}  // namespace velmora::app
