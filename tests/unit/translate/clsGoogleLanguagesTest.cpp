#include "translate/clsGoogleLanguages.h"

#include <gtest/gtest.h>

#include <set>

using velmora::translate::clsGoogleLanguages;

TEST(LanguageTable, HoldsFortyOneRowsInOrderWithEnglishTwice) {
    const auto& t = clsGoogleLanguages::Shared();
    auto descs = t.getAllDescs();
    ASSERT_EQ(descs.size(), 41u);
    EXPECT_EQ(descs.front(), u"中文(简体)");
    EXPECT_EQ(descs[1], u"英语");
    EXPECT_EQ(descs[39], u"英语");
    EXPECT_EQ(descs.back(), u"越南文");
    std::set<std::u16string> distinct(descs.begin(), descs.end());
    EXPECT_EQ(distinct.size(), 40u);
    std::set<std::string> keys;
    for (const auto& e : t.entries()) keys.insert(e.key);
    EXPECT_EQ(keys.size(), 40u);
}

TEST(LanguageTable, GetAllDescsReturnsAFreshCopy) {
    const auto& t = clsGoogleLanguages::Shared();
    auto a = t.getAllDescs();
    a[0] = u"changed";
    EXPECT_EQ(t.getAllDescs()[0], u"中文(简体)");
}

TEST(LanguageTable, KeyByDescMatchesExactly) {
    const auto& t = clsGoogleLanguages::Shared();
    struct Case {
        std::u16string desc;
        std::string key;
    };
    const Case cases[] = {
        {u"英语", "en"},
        {u"中文(繁体)", "zh-TW"},
        {u"中文(简体)", "zh-CN"},
        {u"布尔文(南非洲的荷兰文)", "af"},
        {u"越南文", "vi"},
        {u"", ""},
        {u"en", ""},
        {u"英语 ", ""},
        {u" 英语", ""},
        {u"中文（简体）", ""},  // full-width parentheses
    };
    for (const auto& c : cases) {
        EXPECT_EQ(t.getKeyByDesc(c.desc), c.key);
    }
}

TEST(LanguageTable, EveryDescriptionLeadsBackToItsKey) {
    const auto& t = clsGoogleLanguages::Shared();
    for (const auto& e : t.entries()) EXPECT_EQ(t.getKeyByDesc(e.desc), e.key);
}
