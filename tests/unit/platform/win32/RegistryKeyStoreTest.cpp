#include "platform/win32/RegistryKeyStore.h"

#include <gtest/gtest.h>
#include <windows.h>
#undef Yield  // an obsolete no-op macro of <winbase.h>; a call of the event-loop port

#include <string>

#include "app/core/mduReg.h"
#include "platform/fake/FakePlatform.h"
#include "platform/win32/Win32CodePage.h"

namespace velmora::platform::win32 {
namespace {

// A throwaway key under HKCU\Software\VelmoraTest, removed with everything below it.
class RegistryKeyStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DeleteTree();
        ASSERT_TRUE(store.CreateKey(RootKey::CurrentUser, kKey));
    }
    void TearDown() override {
        DeleteTree();
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VelmoraTest");  // only when left empty
    }
    static void DeleteTree() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kWideKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, kWideKey.c_str());
    }

    static inline const std::string kKey =
        "Software\\VelmoraTest\\unit-" + std::to_string(GetCurrentProcessId());
    static inline const std::wstring kWideKey = std::wstring(kKey.begin(), kKey.end());
    RegistryKeyStore store;
};

TEST_F(RegistryKeyStoreTest, KeysExistOnceCreatedWithTheKeysAbove) {
    EXPECT_TRUE(store.KeyExists(RootKey::CurrentUser, kKey));
    EXPECT_TRUE(store.KeyExists(RootKey::CurrentUser, ""));  // the root itself
    EXPECT_FALSE(store.KeyExists(RootKey::CurrentUser, kKey + "\\a"));
    EXPECT_TRUE(store.CreateKey(RootKey::CurrentUser, kKey + "\\a\\b"));
    EXPECT_TRUE(store.KeyExists(RootKey::CurrentUser, kKey + "\\a"));
    EXPECT_TRUE(store.KeyExists(RootKey::CurrentUser, kKey + "\\A\\B"));  // any case
    EXPECT_TRUE(store.CreateKey(RootKey::CurrentUser, kKey + "\\a\\b"));  // opens an existing one
    for (RootKey none :
         {RootKey::None, static_cast<RootKey>(0x80000007u), static_cast<RootKey>(1)}) {
        EXPECT_FALSE(store.KeyExists(none, kKey));
        EXPECT_FALSE(store.CreateKey(none, kKey));
        EXPECT_FALSE(store.ReadValue(none, kKey, "v"));
        EXPECT_FALSE(store.WriteValue(none, kKey, "v", "x"));
    }
}

// The system counts a NUL that follows the given bytes (NT has always done so), so a text
// written without its NUL, as the program writes, reads back with it.
TEST_F(RegistryKeyStoreTest, AnsiValuesReadBackAsTheSystemStoredThem) {
    const struct {
        std::string written, read;
    } cases[] = {
        {"abc", std::string("abc\0", 4)},
        {std::string("abc\0", 4), std::string("abc\0", 4)},
        {std::string(255, 'x'), std::string(255, 'x') + '\0'},
        {"C:\\Program Files\\x -s", std::string("C:\\Program Files\\x -s\0", 22)},
        {"", ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(store.WriteValue(RootKey::CurrentUser, kKey, "Value", c.written));
        EXPECT_EQ(store.ReadValue(RootKey::CurrentUser, kKey, "value"), c.read);  // any case
    }
    EXPECT_FALSE(store.ReadValue(RootKey::CurrentUser, kKey, "missing"));
    EXPECT_FALSE(store.ReadValue(RootKey::CurrentUser, kKey + "\\missing", "Value"));
    EXPECT_FALSE(store.WriteValue(RootKey::CurrentUser, kKey + "\\missing", "Value", "x"));
    EXPECT_FALSE(store.KeyExists(RootKey::CurrentUser, kKey + "\\missing"));
}

TEST_F(RegistryKeyStoreTest, Utf8ValuesKeepWhatTheAnsiPageCannotSpell) {
    const std::string cases[] = {
        "C:\\Users\\Zo\xC3\xAB\\\xE9\x80\x9F\xE8\xAE\xB0 app\\velmora.exe -s",
        "\xF0\x9F\x98\x80 \xD0\xB9 \xE0\xB8\x81",
        "",
    };
    for (const auto& text : cases) {
        ASSERT_TRUE(store.WriteValueUtf8(RootKey::CurrentUser, kKey, "Path", text));
        EXPECT_EQ(store.ReadValueUtf8(RootKey::CurrentUser, kKey, "Path"), text);
        // Stored as a string with its NUL: the wide read sees exactly the text.
        wchar_t buf[256];
        DWORD size = sizeof buf, type = 0;
        ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kWideKey.c_str(), L"Path", RRF_RT_ANY, &type, buf,
                               &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(buf[size / 2 - 1], L'\0');
    }
    // A text stops at its NUL, as a string value does.
    ASSERT_TRUE(store.WriteValueUtf8(RootKey::CurrentUser, kKey, "Path", std::string("ab\0c", 4)));
    EXPECT_EQ(store.ReadValueUtf8(RootKey::CurrentUser, kKey, "Path"), "ab");
    // An ANSI value read as UTF-8.
    ASSERT_TRUE(store.WriteValue(RootKey::CurrentUser, kKey, "Plain", "plain"));
    EXPECT_EQ(store.ReadValueUtf8(RootKey::CurrentUser, kKey, "Plain"), "plain");
    EXPECT_FALSE(store.ReadValueUtf8(RootKey::CurrentUser, kKey, "missing"));
    EXPECT_FALSE(store.WriteValueUtf8(RootKey::CurrentUser, kKey + "\\missing", "Path", "x"));
}

TEST_F(RegistryKeyStoreTest, OversizedValuesAreRefused) {
    const std::wstring big(RegistryKeyStore::kMaxValueBytes, L'x');  // twice the bound in bytes
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kWideKey.c_str(), L"Big", REG_SZ, big.c_str(),
                              static_cast<DWORD>((big.size() + 1) * 2)),
              ERROR_SUCCESS);
    EXPECT_FALSE(store.ReadValue(RootKey::CurrentUser, kKey, "Big"));
    EXPECT_FALSE(store.ReadValueUtf8(RootKey::CurrentUser, kKey, "Big"));
    EXPECT_FALSE(store.WriteValue(RootKey::CurrentUser, kKey, "Big2",
                                  std::string(RegistryKeyStore::kMaxValueBytes + 1, 'x')));
    EXPECT_FALSE(store.ReadValue(RootKey::CurrentUser, kKey, "Big2"));
}

// The registry functions of the program on the real registry and code page.
TEST_F(RegistryKeyStoreTest, ProgramReadsBackWhatItWrote) {
    fake::FakePlatform f;
    Win32CodePage codePage;
    Platform pf = f.platform(codePage, store);
    const std::u16string path = u"HKEY_CURRENT_USER\\" + codePage.FromAnsi(kKey);
    EXPECT_EQ(app::mduReg::ReadRegString(pf, path, u"v"), u"Error");
    app::mduReg::CreateRegKey(pf, path + u"\\sub");
    EXPECT_TRUE(store.KeyExists(RootKey::CurrentUser, kKey + "\\sub"));
    // Written with its NUL, read back whole.
    app::mduReg::WriteRegText(pf, path, u"v", u"C:\\velmora\\velmora.exe -s");
    EXPECT_EQ(app::mduReg::ReadRegString(pf, path, u"v"), u"C:\\velmora\\velmora.exe -s");
    // Written without one, as the program writes: the system stores the NUL all the same.
    app::mduReg::WriteRegString(pf, path, u"w", u"abc");
    EXPECT_EQ(app::mduReg::ReadRegString(pf, path, u"w"), u"abc");
    EXPECT_TRUE(f.messageBox.shown.empty());
}

}  // namespace
}  // namespace velmora::platform::win32
