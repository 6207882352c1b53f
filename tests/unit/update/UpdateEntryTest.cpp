#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"
#include "update/UpdateEntry.h"

using namespace velmora::update;
using velmora::platform::fake::FakeCodePage;

TEST(UpdateEntry, HostileNamesAreRefused) {
    const std::u16string hostile[] = {
        u"../x",
        u"..\\x",
        u"/etc/x",
        u"C:\\x",
        u"C:x",
        u"\\\\h\\s\\x",
        u"x:ads",
        u"CON",
        u"con",
        u"nul.txt",
        u"COM1",
        u"lpt9.dll",
        u"aux .txt",
        u"x.",
        u"x ",
        u" x",
        u"a\"b",
        u"a&b",
        u"a;b",
        u"a%b",
        u"$(x)",
        u"a`b",
        u"a'b",
        u"a|b",
        u"a<b",
        u"a>b",
        u"a*b",
        u"a?b",
        u"a!b",
        u"~",
        u"a\tb",
        std::u16string(u"a\0b", 3),
        u"a\rb",
        u"a\nb",
        u"",
        u".",
        u"..",
        u"...",
        u"a\u2215b",  // division slash
        u"a\uFF0Fb",  // fullwidth solidus
        u"a\u202Eb",  // right-to-left override
        u"a\uFFFDb",  // what a malformed (overlong) UTF-8 '/' decodes to
        u"update.sh",
        u"update.bat",
        u"dl_files",
        u"DL_FILES",
        std::u16string(201, u'a'),
    };
    for (const auto& n : hostile)
        EXPECT_FALSE(IsPlainFileName(n)) << std::string(n.begin(), n.end());
}

TEST(UpdateEntry, PlainNamesAreAccepted) {
    const std::u16string plain[] = {
        u"velmora", u"libqt.so.6", u"a b.txt", u"帮助.html", u"x-y_z+1",
        u".hidden", u"console",    u"CON1",    u"nul_x",     std::u16string(200, u'a')};
    for (const auto& n : plain) EXPECT_TRUE(IsPlainFileName(n));
}

TEST(UpdateEntry, UrlsMustBeHttpOrHttps) {
    EXPECT_TRUE(IsDownloadUrl(u"http://127.0.0.1:1/files/a"));
    EXPECT_TRUE(IsDownloadUrl(u"HTTPS://h/a"));
    const std::u16string bad[] = {
        u"ftp://h/a",    u"file:///etc/passwd", u"http://",      u"http:///a", u"h/a",
        u"http://h/a b", u"http://h/\r\n",      u"javascript:x", u""};
    for (const auto& u : bad) EXPECT_FALSE(IsDownloadUrl(u));
}

TEST(UpdateEntry, FieldsAndOptionalDigest) {
    FakeCodePage cp;
    const std::string hex(64, 'a');
    auto e = ParseUpdateEntry(cp, u"http://h/v,velmora");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->url, "http://h/v");
    EXPECT_EQ(e->name, "velmora");
    EXPECT_FALSE(e->sha256);

    e = ParseUpdateEntry(cp, u"http://h/v,velmora," + std::u16string(hex.begin(), hex.end()));
    ASSERT_TRUE(e && e->sha256);
    EXPECT_EQ(ToHex(*e->sha256), hex);

    // Five fields: the third is no digest, so it and the rest are ignored.
    e = ParseUpdateEntry(cp, u"http://h/v,velmora,x,y,z");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "velmora");
    EXPECT_FALSE(e->sha256);

    EXPECT_FALSE(ParseUpdateEntry(cp, u"http://h/v"));
    EXPECT_FALSE(ParseUpdateEntry(cp, u"http://h/v,"));
    EXPECT_FALSE(ParseUpdateEntry(cp, u"velmora,http://h/v"));
    EXPECT_FALSE(ParseUpdateEntry(cp, u"http://h/v,../velmora"));
}

TEST(UpdateEntry, SplitKeepsEmptyFields) {
    EXPECT_EQ(SplitFields(u"a,,b,"), (std::vector<std::u16string>{u"a", u"", u"b", u""}));
    EXPECT_EQ(SplitFields(u""), (std::vector<std::u16string>{u""}));
}
