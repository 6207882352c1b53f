#include "app/core/EngineGuide.h"

#include <gtest/gtest.h>

#include "app/core/Configuration.h"
#include "support/TempDir.h"

namespace velmora::app {
namespace {

using translate::engines::EngineFailure;
using K = translate::engines::FailureKind;

TEST(EngineGuide, EveryEngineHasAUserNameWhatItNeedsAndAKeyLinkWhereAKeyIsNeeded) {
    for (const std::string& id : KnownEngines()) {
        const EngineGuide g = GuideOf(id);
        EXPECT_EQ(g.id, id);
        EXPECT_NE(g.name, id) << "a bare identifier means nothing to a user";
        EXPECT_FALSE(g.needs.empty()) << id;
        if (EngineNeedsKey(id)) {
            EXPECT_EQ(g.linkUrl.rfind("https://", 0), 0u) << id;
            EXPECT_EQ(g.linkText, "获取密钥") << id;
        }
        EXPECT_EQ(g.linkUrl.empty(), g.linkText.empty()) << id;
        EXPECT_EQ(g.offline, id == "apertium") << id;
        EXPECT_FALSE(CoverageLine(id, {}).empty()) << id;
    }
    EXPECT_EQ(GuideOf("apertium").name, "Apertium（本机离线）");
    EXPECT_EQ(OfflineLine(GuideOf("apertium")), "本机离线运行，文字不离开本机。");
    EXPECT_EQ(OfflineLine(GuideOf("deepl")), "在线服务：需联网，文字会发送到该服务。");

    const EngineGuide unknown = GuideOf("other");
    EXPECT_EQ(unknown.name, "other");
    EXPECT_TRUE(unknown.linkUrl.empty());
    EXPECT_EQ(CoverageLine("other", {}), "");
}

TEST(EngineGuide, ApertiumCoverageNamesTheInstalledPairsInTheProgramsLanguages) {
    struct Case {
        std::vector<std::string> pairs;
        const char* line;
    } cases[] = {
        {{}, "本机尚未安装本程序语言之间的语言对；不含中文。"},
        // Both directions are one entry; a pair outside the program's languages is left out.
        {{"eng-cat", "eng-spa", "epo-eng", "spa-eng"},
         "已安装的语言对：英语→加泰罗尼亚语、英语⇄西班牙语；不含中文。"},
        {{"eng-hbs"}, "已安装的语言对：英语→克罗地亚文/塞尔维亚文；不含中文。"},
        {{"epo-eng"}, "本机尚未安装本程序语言之间的语言对；不含中文。"},
    };
    for (const Case& c : cases) EXPECT_EQ(CoverageLine("apertium", c.pairs), c.line);

    // A long list names the first twelve and counts all.
    std::vector<std::string> many;
    for (const char* other : {"afr", "bel", "bul", "cat", "cym", "dan", "fra", "gle", "glg", "ind",
                              "isl", "ita", "mkd", "mlt"})
        many.push_back(std::string("eng-") + other);
    const std::string line = CoverageLine("apertium", many);
    EXPECT_NE(line.find("英语→意大利语 等 14 组；不含中文。"), std::string::npos) << line;
    EXPECT_EQ(line.find("马其顿文"), std::string::npos) << line;
}

TEST(EngineGuide, HostedServicesCoverageComesFromTheirLanguageCodes) {
    EXPECT_EQ(CoverageLine("google", {}), "支持本程序全部 40 种语言，含中文。");
    const std::string deepl = CoverageLine("deepl", {});
    EXPECT_EQ(deepl.rfind("支持本程序 40 种语言中的 25 种，含中文；不支持：爱尔兰文、", 0), 0u)
        << deepl;
    EXPECT_EQ(deepl.find("英语"), std::string::npos) << "English is covered: " << deepl;
    EXPECT_NE(CoverageLine("apy", {}).find("不含中文"), std::string::npos);
}

TEST(EngineGuide, InstalledPairsAreTheModesFoldersPlainPairs) {
    TempDir dir;
    for (const char* name : {"eng-spa.mode", "en-gl.mode", "eng-cat_valencia.mode"})
        WriteFile(dir.path() / name, "cat\n");
    EXPECT_EQ(InstalledApertiumPairs(dir.path()), (std::vector<std::string>{"eng-glg", "eng-spa"}));
    EXPECT_TRUE(InstalledApertiumPairs(dir.path() / "missing").empty());
}

TEST(EngineGuide, EachFailureKindInWords) {
    struct Case {
        const char* engine;
        EngineFailure failure;
        const char* words;
    } cases[] = {
        {"deepl", {K::BadKey, "key refused (HTTP 403)", {}}, "密钥无效"},
        {"deepl", {K::QuotaExceeded, "quota used up (HTTP 456)", {}}, "额度已用完"},
        {"deepl", {K::QuotaExceeded, "", 30}, "额度已用完（请 30 秒后再试）"},
        {"google", {K::RateLimited, "", {}}, "请求过于频繁"},
        {"libretranslate",
         {K::Transport, "connection refused", {}},
         "无法连接（请检查地址和网络）"},
        {"apertium", {K::Transport, "pipeline ended", {}}, "本机翻译程序未能运行"},
        {"microsoft", {K::ServerError, "", {}}, "服务器出错，请稍后再试"},
        {"apy", {K::BadRequest, "", {}}, "服务器拒绝了请求（请检查地址和设置）"},
        {"form", {K::NoTranslation, "", {}}, "服务器的回答中没有译文（请检查地址）"},
        {"apy", {K::Unsupported, "", {}}, "此引擎不支持测试所用的语言对"},
        {"google", {K::SkippedBackoff, "", {}}, "服务器要求稍后再试"},
    };
    for (const Case& c : cases) EXPECT_EQ(FailureWords(c.engine, c.failure), c.words) << c.words;
}

}  // namespace
}  // namespace velmora::app
