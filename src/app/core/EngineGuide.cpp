#include "app/core/EngineGuide.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <utility>

#include "platform/Utf8.h"
#include "translate/FailureWords.h"
#include "translate/clsGoogleLanguages.h"
#include "translate/engines/ApertiumCodes.h"
#include "translate/engines/ApertiumModes.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/MicrosoftEngine.h"

namespace velmora::app {

namespace {

namespace e = translate::engines;

// Names come from translate::EngineDisplayName.
constexpr std::array<EngineGuide, 7> kGuides{{
    {"apertium", "", "无需密钥和地址；需安装 Apertium 语言对（如 apertium-eng-spa）", true,
     "https://wiki.apertium.org/wiki/Installation", "安装说明"},
    {"form", "", "需要服务地址，无需密钥", false, "", ""},
    {"libretranslate", "", "需要服务器地址；公共服务器还需要密钥", false,
     "https://portal.libretranslate.com/", "获取密钥"},
    {"deepl", "", "需要密钥（免费版密钥以 :fx 结尾）", false, "https://www.deepl.com/pro-api",
     "获取密钥"},
    {"google", "", "需要 Google Cloud 的 API 密钥", false,
     "https://cloud.google.com/translate/docs/setup", "获取密钥"},
    {"microsoft", "", "需要 Azure 翻译服务的密钥；区域资源还需填写区域", false,
     "https://learn.microsoft.com/azure/ai-services/translator/create-translator-resource",
     "获取密钥"},
    {"apy", "", "需要 APy 服务器地址，无需密钥", false,
     "https://wiki.apertium.org/wiki/Apertium-apy", "架设说明"},
}};

// At most this many pairs are named; the rest are counted.
constexpr std::size_t kNamedPairs = 12;

struct Language {
    std::string key;
    std::string name;
};

// The program's languages, each once, in the lists' order.
std::vector<Language> ProgramLanguages() {
    std::vector<Language> out;
    for (const auto& entry : translate::clsGoogleLanguages::Shared().entries()) {
        const bool seen = std::any_of(out.begin(), out.end(),
                                      [&](const Language& l) { return l.key == entry.key; });
        if (!seen) out.push_back({entry.key, platform::Utf8Encode(entry.desc)});
    }
    return out;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
    return out;
}

std::string ApiCoverage(const e::HostedApi& api) {
    const std::vector<Language> all = ProgramLanguages();
    std::vector<std::string> missing;
    bool chinese = false;
    for (const Language& l : all) {
        const bool covered = api.sourceCode(l.key) && api.targetCode(l.key);
        if (!covered) missing.push_back(l.name);
        if (covered && l.key == "zh-CN") chinese = true;
    }
    const std::string total = std::to_string(all.size());
    const std::string withChinese = chinese ? "含中文" : "不含中文";
    if (missing.empty()) return "支持本程序全部 " + total + " 种语言，" + withChinese + "。";
    return "支持本程序 " + total + " 种语言中的 " + std::to_string(all.size() - missing.size()) +
           " 种，" + withChinese + "；不支持：" + Joined(missing, "、") + "。";
}

// Apertium's three-letter code to the program's names for it ("hbs": two of them).
std::map<std::string, std::string> ApertiumNames() {
    std::map<std::string, std::string> names;
    for (const Language& l : ProgramLanguages()) {
        if (auto code = e::ApertiumCode(l.key)) {
            std::string& name = names[*code];
            name += (name.empty() ? "" : "/") + l.name;
        }
    }
    return names;
}

std::string ApertiumCoverage(const std::vector<std::string>& pairs) {
    const std::map<std::string, std::string> names = ApertiumNames();
    std::vector<std::pair<std::string, std::string>> known;
    for (const std::string& key : pairs) {
        const auto dash = key.find('-');
        if (dash == std::string::npos) continue;
        const auto from = names.find(key.substr(0, dash));
        const auto to = names.find(key.substr(dash + 1));
        if (from != names.end() && to != names.end()) known.emplace_back(from->second, to->second);
    }
    if (known.empty()) return "本机尚未安装本程序语言之间的语言对；不含中文。";
    const std::set<std::pair<std::string, std::string>> installed(known.begin(), known.end());
    std::set<std::pair<std::string, std::string>> named;
    std::vector<std::string> shown;
    for (const auto& [from, to] : known) {
        if (named.contains({from, to})) continue;
        const bool both = installed.contains({to, from});
        named.insert({from, to});
        if (both) named.insert({to, from});
        shown.push_back(from + (both ? "⇄" : "→") + to);
    }
    std::string more;
    if (shown.size() > kNamedPairs) {
        more = " 等 " + std::to_string(shown.size()) + " 组";
        shown.resize(kNamedPairs);
    }
    return "已安装的语言对：" + Joined(shown, "、") + more + "；不含中文。";
}

}  // namespace

EngineGuide GuideOf(std::string_view id) {
    for (EngineGuide g : kGuides) {
        if (g.id != id) continue;
        g.name = translate::EngineDisplayName(id);  // one name table for every text
        return g;
    }
    return EngineGuide{id, id, "", false, "", ""};
}

std::string OfflineLine(const EngineGuide& guide) {
    return guide.offline ? "本机离线运行，文字不离开本机。"
                         : "在线服务：需联网，文字会发送到该服务。";
}

std::string CoverageLine(std::string_view id, const std::vector<std::string>& apertiumPairs) {
    const std::string all = std::to_string(ProgramLanguages().size());
    if (id == "apertium") return ApertiumCoverage(apertiumPairs);
    if (id == "deepl") return ApiCoverage(e::kDeeplApi);
    if (id == "google") return ApiCoverage(e::kGoogleApi);
    if (id == "microsoft") return ApiCoverage(e::kMicrosoftApi);
    if (id == "form") return "可选本程序全部 " + all + " 种语言，实际取决于该服务。";
    if (id == "libretranslate") return "取决于服务器安装的语言；可用“测试”确认中文是否可用。";
    if (id == "apy") return "取决于服务器安装的 Apertium 语言对，多为欧洲语言，不含中文。";
    return {};
}

std::vector<std::string> InstalledApertiumPairs(const std::filesystem::path& modes) {
    std::vector<std::string> keys;
    for (const auto& [key, mode] : e::DiscoverModes({modes}, e::ApertiumCode)) keys.push_back(key);
    return keys;
}

std::string FailureWords(std::string_view id, const e::EngineFailure& failure) {
    // A test names its own language pair, and an offline engine has no network to blame.
    if (failure.kind == e::FailureKind::Unsupported) return "此引擎不支持测试所用的语言对";
    if (failure.kind == e::FailureKind::Transport && GuideOf(id).offline)
        return "本机翻译程序未能运行";
    return translate::FailureWords(failure);
}

}  // namespace velmora::app
