#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "app/core/ConfigFileWriter.h"
#include "app/core/IniFile.h"
#include "support/TempDir.h"

namespace velmora::app {
namespace {

#ifndef _WIN32
unsigned ModeOf(const std::filesystem::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}
#endif

TEST(ConfigFileWriter, ChangesTouchOnlyTheirLines) {
    const std::string hand =
        "; written by hand\n"
        "[translation]\n"
        "engines=apertium\n"
        "\n"
        "# the form endpoint\n"
        "[form]\n"
        "url=http://old/form\n"
        "[deepl]\n"
        "key=one\n"
        "key=two\n";
    struct Case {
        const char* what;
        std::vector<IniChange> changes;
        std::string expected;
    };
    const Case cases[] = {
        {"a value is replaced where it stands",
         {{"form", "url", "http://new/form"}},
         "; written by hand\n[translation]\nengines=apertium\n\n# the form endpoint\n[form]\n"
         "url=http://new/form\n[deepl]\nkey=one\nkey=two\n"},
        {"a new key goes after the last key of its section, before the comment",
         {{"translation", "mode", "x"}},
         "; written by hand\n[translation]\nengines=apertium\nmode=x\n\n# the form endpoint\n"
         "[form]\nurl=http://old/form\n[deepl]\nkey=one\nkey=two\n"},
        {"a new section goes at the end",
         {{"microsoft", "region", "westeurope"}},
         hand + "\n[microsoft]\nregion=westeurope\n"},
        {"a removed key takes every repeat with it",
         {{"deepl", "key", std::nullopt}, {"apy", "url", std::nullopt}},
         "; written by hand\n[translation]\nengines=apertium\n\n# the form endpoint\n[form]\n"
         "url=http://old/form\n[deepl]\n"},
        {"a set key keeps its first place and drops its repeats",
         {{"deepl", "key", "three"}},
         "; written by hand\n[translation]\nengines=apertium\n\n# the form endpoint\n[form]\n"
         "url=http://old/form\n[deepl]\nkey=three\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(ApplyIniChanges(hand, c.changes), c.expected) << c.what;

    EXPECT_EQ(ApplyIniChanges("", {{"translation", "engines", "form"}}),
              "[translation]\nengines=form\n");
    EXPECT_EQ(ApplyIniChanges("[a]\nk=1", {{"a", "j", "2"}}), "[a]\nk=1\nj=2\n");
}

TEST(ConfigFileWriter, ValuesReadBackUnchanged) {
    const std::string values[] = {"http://127.0.0.1:5000/translate",
                                  "deepl, apertium, form",
                                  "with \"quotes\"",
                                  " padded ",
                                  "semi;colon",
                                  "#hash",
                                  "back\\slash",
                                  "",
                                  "键值"};
    for (const std::string& v : values) {
        const std::string text = ApplyIniChanges("[s]\nk=old\n", {{"s", "k", v}});
        const IniFile ini = ParseIni(text);
        ASSERT_EQ(ini.entries.size(), 1u) << text;
        EXPECT_EQ(ini.entries[0].value, v) << text;
    }
    // Plain text stays plain, as QSettings writes it.
    EXPECT_EQ(ApplyIniChanges("", {{"s", "url", "http://h:1/t"}}), "[s]\nurl=http://h:1/t\n");
    EXPECT_EQ(ApplyIniChanges("", {{"s", "engines", "a, b"}}), "[s]\nengines=\"a, b\"\n");
}

TEST(ConfigFileWriter, MissingFoldersAreMadeAndTheFileIsReplacedWhole) {
    TempDir dir;
    const auto folder = dir.path() / "config" / "velmora";
    const auto file = folder / "velmora.conf";
    ASSERT_EQ(WriteIniChanges(file, {{"translation", "engines", "form"}}), "");
    EXPECT_EQ(ReadFile(file), "[translation]\nengines=form\n");
    ASSERT_EQ(WriteIniChanges(file, {{"form", "url", "http://h/t"}}), "");
    EXPECT_EQ(ReadFile(file), "[translation]\nengines=form\n\n[form]\nurl=http://h/t\n");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

#ifndef _WIN32
TEST(ConfigFileWriter, FolderAndFileModes) {
    TempDir dir;
    const auto folder = dir.path() / "config" / "velmora";
    const auto file = folder / "velmora.conf";
    ASSERT_EQ(WriteIniChanges(file, {{"translation", "engines", "form"}}), "");
    EXPECT_EQ(ModeOf(dir.path() / "config"), 0700u);
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(file), 0600u);

    struct Case {
        unsigned before;
        std::vector<IniChange> changes;
        unsigned after;
    };
    const Case cases[] = {
        // A mode the user chose stays while the file holds no key...
        {0644, {{"form", "url", "http://h/t"}}, 0644},
        {0640, {{"deepl", "key", std::nullopt}}, 0640},
        // ...and loses its group and other bits once it does; it never gains any.
        {0644, {{"deepl", "key", "secret"}}, 0600},
        {0640, {{"google", "key", "secret"}}, 0600},
        {0400, {{"google", "key", "secret"}}, 0400},
    };
    for (const Case& c : cases) {
        WriteFile(file, "[translation]\nengines=form\n");
        ASSERT_EQ(::chmod(file.c_str(), c.before), 0);
        ASSERT_EQ(WriteIniChanges(file, c.changes), "");
        EXPECT_EQ(ModeOf(file), c.after) << std::oct << c.before;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}
#endif

TEST(ConfigFileWriter, AFileItCannotHandleIsLeftAsItWasWithAReason) {
    TempDir dir;
    const auto file = dir.path() / "velmora.conf";
    const std::string huge = "[translation]\n" + std::string(2u << 20, ';');
    WriteFile(file, huge);
    std::string why = WriteIniChanges(file, {{"deepl", "key", "s3cr3t"}});
    EXPECT_NE(why.find("larger than 1 MiB"), std::string::npos) << why;
    EXPECT_EQ(ReadFile(file), huge);

    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    why = WriteIniChanges(file, {{"deepl", "key", "s3cr3t"}});
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;

    // A folder where the file's folder should be.
    const auto blocked = dir.path() / "plain" / "velmora.conf";
    WriteFile(dir.path() / "plain", "x");
    why = WriteIniChanges(blocked, {{"deepl", "key", "s3cr3t"}});
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(why.find("s3cr3t"), std::string::npos) << why;
}

}  // namespace
}  // namespace velmora::app
