#include <gtest/gtest.h>

#include "app/core/mduReg.h"
#include "platform/fake/FakePlatform.h"

using namespace velmora::app::mduReg;
using velmora::platform::RootKey;
using velmora::platform::fake::FakePlatform;

namespace {
const std::u16string kRun = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunAnsi = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}  // namespace

TEST(mduReg, RootNamesAreExactAndCaseSensitive) {
    struct Case {
        std::u16string name;
        RootKey root;
    };
    const Case cases[] = {
        {u"HKEY_CLASSES_ROOT", RootKey::ClassesRoot},
        {u"HKEY_CURRENT_USER", RootKey::CurrentUser},
        {u"HKEY_LOCAL_MACHINE", RootKey::LocalMachine},
        {u"HKEY_USERS", RootKey::Users},
        {u"HKEY_PERFORMANCE_DATA", RootKey::PerformanceData},
        {u"HKEY_CURRENT_CONFIG", RootKey::CurrentConfig},
        {u"HKEY_DYN_DATA", RootKey::DynData},
        {u"hkey_current_user", RootKey::None},
        {u"HKEY_CURRENT_USER ", RootKey::None},
        {u"HKCU", RootKey::None},
        {u"HKEY_", RootKey::None},
        {u"", RootKey::None},
    };
    for (const auto& c : cases) EXPECT_EQ(GetRootKey(c.name), c.root);
}

TEST(mduReg, SplitKeyPathTable) {
    struct Case {
        std::u16string path;
        RootKey root;
        std::u16string subkey;
        bool message;
    };
    const Case cases[] = {
        {kRun, RootKey::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", false},
        {u"HKEY_CURRENT_USER", RootKey::CurrentUser, u"", false},
        {u"HKEY_LOCAL_MACHINE\\a", RootKey::LocalMachine, u"a", false},
        {u"HKEY_NOSUCH\\a", RootKey::None, u"a", false},
        {u"hkey_current_user\\Software", RootKey::None, u"", true},
        {u"HKEY_CURRENT_USER\\Software\\", RootKey::None, u"", true},
        {u"HKEY", RootKey::None, u"", true},
        {u"", RootKey::None, u"", true},
    };
    for (const auto& c : cases) {
        FakePlatform f;
        KeyPath k = SplitKeyPath(f.messageBox, c.path);
        EXPECT_EQ(k.root, c.root);
        EXPECT_EQ(k.subkey, c.subkey);
        if (c.message) {
            ASSERT_EQ(f.messageBox.shown.size(), 1u);
            EXPECT_EQ(f.messageBox.shown[0], u"Incorrect Format:\n\n" + c.path);
        } else {
            EXPECT_TRUE(f.messageBox.shown.empty());
        }
    }
}

TEST(mduReg, ReadTable) {
    struct Case {
        std::optional<std::string> stored;  // nullopt: value missing
        std::u16string expected;
    };
    const Case cases[] = {
        {std::nullopt, u"Error"},
        {std::string("C:\\q\\velmora.exe -s\0", 20), u"C:\\q\\velmora.exe -s"},
        {std::string("Error\0", 6), u"Error"},           // indistinguishable from a failure
        {std::string("  padded  \0", 11), u"padded  "},  // the NUL shields the inner blanks
        {std::string("no nul"), u"no nu"},               // the last character goes whatever it is
        {std::string("   "), u""},
        {std::string(""), u""},
        {std::string(254, 'a') + '\0', std::u16string(254, u'a')},  // fits: 255 bytes
        {std::string(255, 'a') + '\0', u"Error"},                   // 256 bytes do not
        {std::string(300, 'a'), u"Error"},
    };
    for (const auto& c : cases) {
        FakePlatform f;
        auto& key = f.keyStore.keys[{RootKey::CurrentUser, kRunAnsi}];
        if (c.stored) key["velmora"] = *c.stored;
        auto pf = f.platform();
        EXPECT_EQ(ReadRegString(pf, kRun, u"velmora"), c.expected);
    }
}

TEST(mduReg, MissingKeyReadsErrorAndUnknownRootReadsEmptyTouchingNothing) {
    FakePlatform f;
    auto pf = f.platform();
    EXPECT_EQ(ReadRegString(pf, kRun, u"velmora"), u"Error");
    EXPECT_EQ(ReadRegString(pf, u"HKEY_NOSUCH\\Software", u"velmora"), u"");
    CreateRegKey(pf, u"HKEY_NOSUCH\\Software");
    WriteRegString(pf, u"HKEY_NOSUCH\\Software", u"v", u"x");
    EXPECT_TRUE(f.keyStore.keys.empty());
    EXPECT_TRUE(f.messageBox.shown.empty());
}

TEST(mduReg, WriteNeedsAnExistingKeyAndStoresNoNul) {
    FakePlatform f;
    auto pf = f.platform();
    WriteRegString(pf, kRun, u"velmora", u"/opt/v -s");
    EXPECT_TRUE(f.keyStore.keys.empty());  // the key is not created by a write
    CreateRegKey(pf, kRun);
    WriteRegString(pf, kRun, u"velmora", u"/opt/v -s");
    EXPECT_EQ((f.keyStore.keys[{RootKey::CurrentUser, kRunAnsi}]["velmora"]), "/opt/v -s");
    WriteRegString(pf, kRun, u"cut", std::u16string(u"ab\0cd", 5));
    EXPECT_EQ((f.keyStore.keys[{RootKey::CurrentUser, kRunAnsi}]["cut"]), "ab");
    // Without a NUL the read drops the last character: what this store does with own writes.
    EXPECT_EQ(ReadRegString(pf, kRun, u"velmora"), u"/opt/v -");
}

TEST(mduReg, MalformedPathsShowTheMessageOncePerCallAndDoNothing) {
    FakePlatform f;
    auto pf = f.platform();
    EXPECT_EQ(ReadRegString(pf, u"HKEY_CURRENT_USER\\Software\\", u"v"), u"");
    CreateRegKey(pf, u"hkey_current_user\\x");
    WriteRegString(pf, u"HKEY_CURRENT_USER\\x\\", u"v", u"d");
    EXPECT_EQ(f.messageBox.shown.size(), 3u);
    EXPECT_TRUE(f.keyStore.keys.empty());
}
