// The engines' API keys in the Windows configuration file: written the way the engine settings
// dialog saves, read the way the program and the dialog load.
#include <gtest/gtest.h>

#include "app/core/Program.h"
#include "app/core/SettingsForms.h"
#include "app/win32/DpapiKeyCodec.h"
#include "app/win32/Win32FrontEnd.h"
#include "support/TempDir.h"

namespace velmora::app::win32 {
namespace {

struct Profile {
    TempDir dir;
    std::filesystem::path file = dir.path() / "velmora" / "velmora.conf";
};

struct Dialog {
    Configuration config;
    EngineEdits loaded;
    EngineEdits edits;
};

// The dialog's Load.
Dialog Open(const std::filesystem::path& file) {
    Dialog d;
    d.config = LoadSettingsFile(file, nullptr, DpapiKeyCodec());
    d.loaded = EngineEditsOf(d.config);
    d.edits = d.loaded;
    return d;
}

// The dialog's 确定.
std::string Save(const std::filesystem::path& file, const Dialog& d,
                 const std::vector<std::string>& enabled) {
    return SaveEngineSettings(file, enabled, d.loaded, d.edits, d.config.keysToSeal,
                              DpapiKeyCodec());
}

std::string Joined(const Diagnostics& diagnostics) {
    std::string all;
    for (const auto& d : diagnostics) all += d + "\n";
    return all;
}

TEST(DpapiKeys, ASavedKeyIsNotInTheFileAndTheProgramReadsItBack) {
    Profile p;
    Dialog d = Open(p.file);
    d.edits["deepl"].key = "dk-4f1e-secret:fx";
    d.edits["microsoft"].key = "ms-9c0b-secret";
    d.edits["microsoft"].region = "westeurope";
    ASSERT_EQ(Save(p.file, d, {"deepl", "microsoft"}), "");

    const std::string bytes = ReadFile(p.file);
    for (const char* secret : {"dk-4f1e-secret:fx", "ms-9c0b-secret", "secret"})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("[deepl]\nkey=dpapi:"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("[microsoft]\nkey=dpapi:"), std::string::npos) << bytes;

    Diagnostics diagnostics;
    const Configuration c = LoadWin32Configuration(p.file, diagnostics);
    EXPECT_EQ(c.Engine("deepl").key, "dk-4f1e-secret:fx");
    EXPECT_EQ(c.Engine("microsoft").key, "ms-9c0b-secret");
    EXPECT_EQ(c.engines, (std::vector<std::string>{"deepl", "microsoft"}));
    EXPECT_TRUE(diagnostics.empty()) << Joined(diagnostics);
    EXPECT_TRUE(Open(p.file).config.keysToSeal.empty());
}

TEST(DpapiKeys, AKeyTypedIntoTheFileIsReadAndEncryptedByTheNextSave) {
    Profile p;
    std::filesystem::create_directories(p.file.parent_path());
    WriteFile(p.file, "; by hand\n[translation]\nengines=google\n[google]\nkey=AIza-typed-key\n");

    Diagnostics diagnostics;
    EXPECT_EQ(LoadWin32Configuration(p.file, diagnostics).Engine("google").key, "AIza-typed-key");
    EXPECT_TRUE(diagnostics.empty()) << Joined(diagnostics);

    // Saved without touching the key.
    const Dialog d = Open(p.file);
    EXPECT_EQ(d.edits.at("google").key, "AIza-typed-key");
    ASSERT_EQ(Save(p.file, d, {"google"}), "");
    const std::string sealed = ReadFile(p.file);
    EXPECT_EQ(sealed.find("AIza-typed-key"), std::string::npos) << sealed;
    EXPECT_TRUE(
        sealed.starts_with("; by hand\n[translation]\nengines=google\n[google]\n"
                           "key=dpapi:"))
        << sealed;
    EXPECT_EQ(LoadWin32Configuration(p.file, diagnostics).Engine("google").key, "AIza-typed-key");

    // Once encrypted, a save that changes nothing leaves the key's line as it is.
    ASSERT_EQ(Save(p.file, Open(p.file), {"google"}), "");
    EXPECT_EQ(ReadFile(p.file), sealed);
}

TEST(DpapiKeys, AnEncryptedKeyThatDoesNotDecryptIsNoKeyAndIsNeverShown) {
    const char* values[] = {
        "dpapi:%%not-base64%%",
        "dpapi:AQAAANCMnd8BFdERjHoAwE/Cl+sBAAAA",  // a blob's start, cut short
        "dpapi:c2VjcmV0LXZhbHVlLW5vdC1hLWJsb2I=",
    };
    for (const char* value : values) {
        Profile p;
        std::filesystem::create_directories(p.file.parent_path());
        WriteFile(p.file,
                  std::string("[translation]\nengines=deepl, form\n[deepl]\nkey=") + value + "\n");
        Diagnostics diagnostics;
        const Configuration c = LoadWin32Configuration(p.file, diagnostics);
        EXPECT_EQ(c.Engine("deepl").key, "") << value;
        EXPECT_EQ(c.engines, std::vector<std::string>{"form"}) << value;
        const std::string all = Joined(diagnostics);
        EXPECT_NE(all.find(":4: [deepl] key "), std::string::npos) << all;
        EXPECT_EQ(all.find(value + 6), std::string::npos) << all;

        // The dialog shows no key, and a save leaves the unreadable value alone.
        const Dialog d = Open(p.file);
        EXPECT_EQ(d.edits.at("deepl").key, "");
        ASSERT_EQ(Save(p.file, d, {"form"}), "");
        EXPECT_NE(ReadFile(p.file).find(value), std::string::npos);
    }
}

}  // namespace
}  // namespace velmora::app::win32
