#include "platform/win32/DpapiSecret.h"

#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on
#undef Yield

#include <string>

namespace velmora::platform::win32 {
namespace {

bool PrintableBase64(std::string_view text) {
    return !text.empty() && text.find_first_not_of(
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                "0123456789+/=") == std::string_view::npos;
}

std::string Protect(const std::string& secret) {
    std::string why;
    const auto stored = ProtectSecret(secret, why);
    EXPECT_TRUE(stored) << why;
    return stored.value_or(std::string());
}

TEST(DpapiSecret, SecretsComeBackFromOneMarkedPrintableLineThatDoesNotHoldThem) {
    const std::string secrets[] = {
        "dk-2:fx",
        "5f0c1e2d-aaaa-bbbb-cccc-0123456789ab",
        "密钥 with spaces = and ; signs",
        std::string(300, 'k'),
        std::string("a\0b", 3),
    };
    for (const std::string& secret : secrets) {
        const std::string stored = Protect(secret);
        ASSERT_TRUE(stored.starts_with("dpapi:")) << stored;
        EXPECT_TRUE(PrintableBase64(stored.substr(6))) << stored;
        EXPECT_EQ(stored.find(secret), std::string::npos);
        bool wasProtected = false;
        std::string why;
        EXPECT_EQ(UnprotectSecret(stored, wasProtected, why), secret) << why;
        EXPECT_TRUE(wasProtected);
    }
}

TEST(DpapiSecret, ValuesWithoutTheMarkerAreTheSecretAsTyped) {
    for (const std::string typed : {"plain-key", "DPAPI:abcd", "dpapi", "x dpapi:abcd", ""}) {
        bool wasProtected = true;
        std::string why;
        EXPECT_EQ(UnprotectSecret(typed, wasProtected, why), typed);
        EXPECT_FALSE(wasProtected) << typed;
        EXPECT_EQ(why, "");
    }
}

// A blob the same user protected without our entropy, as another program would, in the
// system's own base64.
std::string OtherProgramsBlob(const std::string& secret) {
    DATA_BLOB in{static_cast<DWORD>(secret.size()),
                 reinterpret_cast<BYTE*>(const_cast<char*>(secret.data()))};
    DATA_BLOB out{};
    EXPECT_TRUE(CryptProtectData(&in, L"other", nullptr, nullptr, nullptr,
                                 CRYPTPROTECT_UI_FORBIDDEN, &out));
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD chars = 0;
    EXPECT_TRUE(CryptBinaryToStringA(out.pbData, out.cbData, flags, nullptr, &chars));
    std::string text(chars, '\0');
    EXPECT_TRUE(CryptBinaryToStringA(out.pbData, out.cbData, flags, text.data(), &chars));
    LocalFree(out.pbData);
    text.resize(chars);
    return "dpapi:" + text;
}

TEST(DpapiSecret, MarkedValuesThatDoNotDecryptGiveNoSecretAndAReasonWithoutTheValue) {
    const std::string secret = "dk-secret-0042";
    const std::string good = Protect(secret);
    const std::string body = good.substr(6);
    // A character in the blob's tail: the encrypted data and its signature, which every
    // implementation checks.
    std::string tampered = good;
    char& changed = tampered[tampered.size() - 20];
    changed = changed == 'A' ? 'B' : 'A';
    const struct {
        const char* what;
        std::string stored;
    } cases[] = {
        {"nothing after the marker", "dpapi:"},
        {"not base64", "dpapi:@@@@not*base64"},
        {"cut inside a group", good.substr(0, good.size() - 1)},
        {"padding in the middle", "dpapi:QQ==QUJD"},
        {"cut short", "dpapi:" + body.substr(0, body.size() / 2 / 4 * 4)},
        {"tampered", tampered},
        {"another program's", OtherProgramsBlob(secret)},
        {"far too long", "dpapi:" + std::string(20000, 'A')},
    };
    for (const auto& c : cases) {
        bool wasProtected = false;
        std::string why;
        EXPECT_EQ(UnprotectSecret(c.stored, wasProtected, why), std::nullopt) << c.what;
        EXPECT_TRUE(wasProtected) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_EQ(why.find(secret), std::string::npos) << c.what << ": " << why;
        const std::string stored(c.stored.substr(6));
        if (stored.size() >= 4) {
            EXPECT_EQ(why.find(stored), std::string::npos) << c.what << ": " << why;
        }
    }
}

}  // namespace
}  // namespace velmora::platform::win32
