#include "translate/clsGoogleLanguages.h"

namespace velmora::translate {

clsGoogleLanguages::clsGoogleLanguages() {
    addLanguage("zh-CN", u"中文(简体)");
    addLanguage("en", u"英语");
    addLanguage("zh-TW", u"中文(繁体)");
    addLanguage("ga", u"爱尔兰文");
    addLanguage("et", u"爱沙尼亚语");
    addLanguage("be", u"白俄罗斯语");
    addLanguage("bg", u"保加利亚文");
    addLanguage("is", u"冰岛语");
    addLanguage("af", u"布尔文(南非洲的荷兰文)");
    addLanguage("da", u"丹麦语");
    addLanguage("de", u"德语");
    addLanguage("ru", u"俄语");
    addLanguage("fr", u"法语");
    addLanguage("sw", u"非洲的斯瓦希里文");
    addLanguage("tl", u"菲律宾文");
    addLanguage("fi", u"芬兰语");
    addLanguage("nl", u"荷兰语");
    addLanguage("gl", u"加利西亚语");
    addLanguage("ca", u"加泰罗尼亚语");
    addLanguage("cs", u"捷克语");
    addLanguage("hr", u"克罗地亚文");
    addLanguage("lt", u"立陶宛语");
    addLanguage("ro", u"罗马尼亚语");
    addLanguage("mt", u"马耳他文");
    addLanguage("ms", u"马来文");
    addLanguage("mk", u"马其顿文");
    addLanguage("no", u"挪威语");
    addLanguage("pt", u"葡萄牙语");
    addLanguage("ja", u"日语");
    addLanguage("sr", u"塞尔维亚文");
    addLanguage("sk", u"斯洛伐克文");
    addLanguage("sl", u"斯洛文尼亚文");
    addLanguage("cy", u"威尔士语");
    addLanguage("uk", u"乌克兰文");
    addLanguage("es", u"西班牙语");
    addLanguage("el", u"希腊语");
    addLanguage("hu", u"匈牙利语");
    addLanguage("it", u"意大利语");
    addLanguage("id", u"印尼文");
    addLanguage("en", u"英语");
    addLanguage("vi", u"越南文");
}

const clsGoogleLanguages& clsGoogleLanguages::Shared() {
    static const clsGoogleLanguages instance;
    return instance;
}

void clsGoogleLanguages::addLanguage(std::string key, std::u16string desc) {
    entries_.push_back({std::move(key), std::move(desc)});
}

std::vector<std::u16string> clsGoogleLanguages::getAllDescs() const {
    std::vector<std::u16string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.desc);
    return out;
}

std::string clsGoogleLanguages::getKeyByDesc(const std::u16string& desc) const {
    std::string key;
    for (const auto& e : entries_) {
        if (e.desc == desc) key = e.key;  // no early exit: the last match wins
    }
    return key;
}

}  // namespace velmora::translate
