// The engine settings dialog and the key vault, on the test desktop. EngineSettingsFile runs
// with no session bus (keys go to the file); the keyring suites run under with-keyring.sh, a
// throwaway session bus with an unlocked keyring, answering or frozen.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <csignal>
#include <cstring>

#include "app/EngineSettingsDialog.h"
#include "app/KeyVault.h"
#include "app/core/EngineSet.h"
#include "platform/SystemClock.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "platform/posix/PosixPipeline.h"
#include "platform/qt/QtEventLoop.h"
#include "support/Screenshot.h"
#include "support/StandinProcess.h"
#include "support/TempDir.h"

using namespace velmora;
using app::KeyVault;

namespace {

unsigned ModeOf(const std::filesystem::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

// What the keyring holds for an engine, read with the desktop's own tool.
QString KeyringEntry(const std::string& engine) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("velmora"),
                QStringLiteral("user"), QString::fromStdString(engine)});
    if (!tool.waitForFinished(10'000)) return QStringLiteral("<secret-tool hung>");
    return QString::fromUtf8(tool.readAllStandardOutput());
}

std::vector<std::string> ListOrder(const app::EngineSettingsDialog& d) {
    std::vector<std::string> names;
    for (int row = 0; row < d.lstEngines->count(); ++row)
        names.push_back(d.lstEngines->item(row)->data(Qt::UserRole).toString().toStdString());
    return names;
}

QListWidgetItem* Select(app::EngineSettingsDialog& d, const char* engine) {
    for (int row = 0; row < d.lstEngines->count(); ++row) {
        if (d.lstEngines->item(row)->data(Qt::UserRole).toString() == QLatin1String(engine)) {
            d.lstEngines->setCurrentRow(row);
            return d.lstEngines->item(row);
        }
    }
    ADD_FAILURE() << engine << " is not listed";
    return nullptr;
}

void Type(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

bool KeyringIs(const char* state) {
    const char* v = std::getenv("VELMORA_TEST_KEYRING");
    return v != nullptr && std::strcmp(v, state) == 0;
}

struct Fixture {
    TempDir home;
    std::filesystem::path file = home.path() / "velmora" / "velmora.conf";
    KeyVault vault{file, std::chrono::seconds(5)};

    struct Call {
        std::string engine;
        app::EngineSettings settings;
    };
    std::vector<Call> calls;
    std::pair<bool, QString> answer{true, QStringLiteral("Hello, friend")};
    app::EngineTest test = [this](const std::string& engine, const app::EngineSettings& s) {
        calls.push_back({engine, s});
        return answer;
    };

    std::unique_ptr<app::EngineSettingsDialog> Open() {
        auto d = std::make_unique<app::EngineSettingsDialog>(vault, test);
        d->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.get()));
        return d;
    }
};

// Where QDesktopServices would send a link: kept here instead of starting a browser.
class LinkCatcher : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> opened;
  public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

// The test button's work as the program does it: one engine alone, over the real network code.
struct RealEngines {
    platform::qt::QtEventLoop loop;
    platform::posix::CurlHttp http{loop, [] {
                                       platform::posix::CurlHttp::Limits l;
                                       l.connectTimeoutMs = 2000;
                                       l.totalTimeoutMs = 5000;
                                       return l;
                                   }()};
    platform::posix::IconvCodePage codePage;
    platform::SystemClock clock;
    platform::posix::PosixProgramRunner programs;
    app::EngineServices services{http, codePage, loop, programs, clock, {}};
    app::EngineTest test = [this](const std::string& engine, const app::EngineSettings& s) {
        const app::TestSample sample = app::DefaultTestSample(engine);
        const auto [ok, text] = app::EngineSet::TryEngine(engine, s, app::Configuration{}, services,
                                                          sample.text, sample.src, sample.dst);
        return std::pair{ok, QString::fromStdString(text)};
    };
};

const char* const kHandWritten =
    "; my settings\n"
    "[translation]\n"
    "engines=apertium, form\n"
    "[apertium]\n"
    "modes=/opt/modes\n";

}  // namespace

TEST(EngineSettingsFile, WithoutASecretServiceKeysLiveInTheOwnerOnlyFile) {
    Fixture f;
    ASSERT_EQ(f.vault.Where(), KeyVault::Store::File);
    EXPECT_EQ(KeyVault::Describe(f.vault.Where()), QStringLiteral("配置文件 (仅本人可读)"));
    EXPECT_EQ(f.vault.Read("deepl"), std::nullopt);

    ASSERT_EQ(f.vault.Write("deepl", "dk-1:fx"), QString());
    EXPECT_EQ(ModeOf(f.file.parent_path()), 0700u);
    EXPECT_EQ(ModeOf(f.file), 0600u);
    EXPECT_EQ(ReadFile(f.file), "[deepl]\nkey=dk-1:fx\n");
    EXPECT_EQ(f.vault.Read("deepl"), "dk-1:fx");

    // Start-up reads it like any file key; the lookup is only asked for what the file lacks.
    app::Configuration config;
    config.engineSettings["deepl"].key = "from-the-file";
    app::FillKeysFromVault(f.vault, config);
    EXPECT_EQ(config.Engine("deepl").key, "from-the-file");

    ASSERT_EQ(f.vault.Write("deepl", ""), QString());
    EXPECT_EQ(ReadFile(f.file), "[deepl]\n");
    EXPECT_EQ(f.vault.Read("deepl"), std::nullopt);
}

TEST(EngineSettingsFile, WithNoSessionBusNoneIsStartedToAskAKeyring) {
    // On the test desktop the bus library would start a bus, and a keyring on it, by itself.
    const std::string address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> runtimeBefore =
        oldRuntime ? std::optional<std::string>(oldRuntime) : std::nullopt;
    TempDir runtime;
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    {
        KeyVault vault(runtime.path() / "velmora.conf");
        EXPECT_EQ(vault.Where(), KeyVault::Store::File);
        EXPECT_EQ(vault.Read("google"), std::nullopt);
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    if (runtimeBefore) {
        ::setenv("XDG_RUNTIME_DIR", runtimeBefore->c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

TEST(EngineSettingsFile, OkSavesOrderChecksAddressesAndKeys) {
    Fixture f;
    std::filesystem::create_directories(f.file.parent_path());
    WriteFile(f.file, kHandWritten);
    ::chmod(f.file.c_str(), 0644);
    auto d = f.Open();

    EXPECT_EQ(d->windowTitle(), QStringLiteral("翻译引擎设置"));
    EXPECT_EQ(d->lblKeyStore->text(), QStringLiteral("密钥保存在：配置文件 (仅本人可读)"));
    EXPECT_EQ(d->lblNote->text(), QStringLiteral("确定后立即生效"));
    EXPECT_EQ(d->cmdOK->text(), QStringLiteral("确定"));
    EXPECT_EQ(d->cmdCancel->text(), QStringLiteral("取消"));
    EXPECT_EQ(d->txtKey->echoMode(), QLineEdit::Password);
    EXPECT_EQ(ListOrder(*d), (std::vector<std::string>{"apertium", "form", "libretranslate",
                                                       "deepl", "google", "microsoft", "apy"}));
    EXPECT_EQ(d->lstEngines->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(d->lstEngines->item(2)->checkState(), Qt::Unchecked);

    // Only the Azure-style engine has a region; the offline one has nothing to set.
    Select(*d, "microsoft");
    EXPECT_TRUE(d->txtRegion->isVisible());
    Select(*d, "apertium");
    EXPECT_FALSE(d->txtRegion->isVisible());
    EXPECT_FALSE(d->txtUrl->isEnabled());
    EXPECT_FALSE(d->txtKey->isEnabled());

    // deepl on, with a key, moved to the top; libretranslate on, with an address, last.
    Select(*d, "deepl")->setCheckState(Qt::Checked);
    Type(d->txtKey, QStringLiteral("dk-2:fx"));
    for (int i = 0; i < 3; ++i) QTest::mouseClick(d->cmdUp, Qt::LeftButton);
    EXPECT_FALSE(d->cmdUp->isEnabled());
    Select(*d, "libretranslate")->setCheckState(Qt::Checked);
    Type(d->txtUrl, QStringLiteral(" http://127.0.0.1:5000/translate "));  // pasted with blanks
    for (int i = 0; i < 4; ++i) QTest::mouseClick(d->cmdDown, Qt::LeftButton);
    EXPECT_FALSE(d->cmdDown->isEnabled());
    // A region typed while microsoft stays off is still kept.
    Select(*d, "microsoft");
    Type(d->txtRegion, QStringLiteral("westeurope"));
    // Back on deepl, the typed key is still there.
    Select(*d, "deepl");
    EXPECT_EQ(d->txtKey->text(), QStringLiteral("dk-2:fx"));
    EXPECT_EQ(ListOrder(*d), (std::vector<std::string>{"deepl", "apertium", "form", "google",
                                                       "microsoft", "apy", "libretranslate"}));

    QTest::mouseClick(d->cmdOK, Qt::LeftButton);
    EXPECT_EQ(d->result(), QDialog::Accepted) << d->lblError->text().toStdString();
    EXPECT_EQ(ReadFile(f.file),
              "; my settings\n"
              "[translation]\n"
              "engines=\"deepl, apertium, form, libretranslate\"\n"
              "[apertium]\n"
              "modes=/opt/modes\n"
              "\n[deepl]\nkey=dk-2:fx\n"
              "\n[libretranslate]\nurl=http://127.0.0.1:5000/translate\n"
              "\n[microsoft]\nregion=westeurope\n");
    EXPECT_EQ(ModeOf(f.file), 0600u) << "the file now holds a key";

    // What was saved is what start-up reads, and what the dialog shows next time.
    app::Diagnostics diagnostics;
    const auto config = app::LoadConfiguration([](const char*) { return std::nullopt; }, f.file,
                                               diagnostics, app::VaultKeyLookup(f.vault));
    EXPECT_TRUE(diagnostics.empty()) << diagnostics.front();
    EXPECT_EQ(config.engines,
              (std::vector<std::string>{"deepl", "apertium", "form", "libretranslate"}));
    auto again = f.Open();
    EXPECT_EQ(ListOrder(*again)[0], "deepl");
    Select(*again, "deepl");
    EXPECT_EQ(again->txtKey->text(), QStringLiteral("dk-2:fx"));
}

TEST(EngineSettingsFile, CancelAndRefusedSettingsWriteNothing) {
    Fixture f;
    {
        auto d = f.Open();
        Select(*d, "form");
        Type(d->txtUrl, QStringLiteral("http://elsewhere/t"));
        Select(*d, "google")->setCheckState(Qt::Checked);
        Type(d->txtKey, QStringLiteral("gk"));
        QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
        EXPECT_EQ(d->result(), QDialog::Rejected);
    }
    EXPECT_FALSE(std::filesystem::exists(f.file));

    std::filesystem::create_directories(f.file.parent_path());
    WriteFile(f.file, kHandWritten);
    const auto before = std::filesystem::last_write_time(f.file);
    struct Case {
        const char* engine;
        const char* message;
    };
    // An engine that cannot run without a key or an address is not saved on; nor is no engine.
    const Case cases[] = {
        {"deepl", "引擎 DeepL 需要填写密钥"},
        {"libretranslate", "引擎 LibreTranslate（自建或公共服务器） 需要填写地址"},
        {nullptr, "请至少选择一个翻译引擎"}};
    for (const Case& c : cases) {
        auto d = f.Open();
        if (c.engine) {
            Select(*d, c.engine)->setCheckState(Qt::Checked);
        } else {
            for (int row = 0; row < d->lstEngines->count(); ++row)
                d->lstEngines->item(row)->setCheckState(Qt::Unchecked);
        }
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        EXPECT_TRUE(d->isVisible()) << "the dialog stays open to be corrected";
        EXPECT_TRUE(d->lblError->text().contains(QString::fromUtf8(c.message)))
            << d->lblError->text().toStdString();
    }
    EXPECT_EQ(ReadFile(f.file), kHandWritten);
    EXPECT_EQ(std::filesystem::last_write_time(f.file), before);
}

TEST(EngineSettingsFile, TestShowsTheTranslationOrTheErrorOfTheEngineAsEdited) {
    Fixture f;
    auto d = f.Open();
    EXPECT_EQ(d->cmdTest->text(), QStringLiteral("测试"));
    Select(*d, "microsoft");
    Type(d->txtKey, QStringLiteral("mk"));
    Type(d->txtRegion, QStringLiteral("eastasia"));
    QTest::mouseClick(d->cmdTest, Qt::LeftButton);
    ASSERT_EQ(f.calls.size(), 1u);
    EXPECT_EQ(f.calls[0].engine, "microsoft");
    EXPECT_EQ(f.calls[0].settings.key, "mk") << "the test uses the unsaved key";
    EXPECT_EQ(f.calls[0].settings.region, "eastasia");
    EXPECT_EQ(f.calls[0].settings.url, "https://api.cognitive.microsofttranslator.com/translate");
    EXPECT_EQ(d->lblTestResult->text(), QStringLiteral("译文：Hello, friend"));

    f.answer = {false, QStringLiteral("密钥无效")};
    Select(*d, "deepl");
    EXPECT_TRUE(d->lblTestResult->text().isEmpty()) << "a result belongs to its engine";
    QTest::mouseClick(d->cmdTest, Qt::LeftButton);
    ASSERT_EQ(f.calls.size(), 2u);
    EXPECT_EQ(f.calls[1].engine, "deepl");
    EXPECT_EQ(d->lblTestResult->text(), QStringLiteral("失败：密钥无效"));
    EXPECT_FALSE(std::filesystem::exists(f.file)) << "a test saves nothing";

    // Without a way to test, the button is off.
    app::EngineSettingsDialog none(f.vault, nullptr);
    EXPECT_FALSE(none.cmdTest->isEnabled());
}

TEST(EngineDialog, EachEngineIsShownByItsNameWithWhatItNeedsItsLanguagesAndItsKeyPage) {
    Fixture f;
    TempDir modes;
    for (const char* name : {"eng-spa.mode", "spa-eng.mode", "eng-cat.mode"})
        WriteFile(modes.path() / name, "cat\n");
    std::filesystem::create_directories(f.file.parent_path());
    WriteFile(f.file, "[apertium]\nmodes=" + modes.path().string() + "\n");
    LinkCatcher browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "Open");
    auto d = f.Open();

    std::vector<QString> shown;
    for (int row = 0; row < d->lstEngines->count(); ++row)
        shown.push_back(d->lstEngines->item(row)->text());
    EXPECT_EQ(shown, (std::vector<QString>{
                         QStringLiteral("Apertium（本机离线）"),
                         QStringLiteral("网页表单翻译（旧版服务）"),
                         QStringLiteral("LibreTranslate（自建或公共服务器）"),
                         QStringLiteral("DeepL"),
                         QStringLiteral("Google 翻译"),
                         QStringLiteral("微软翻译"),
                         QStringLiteral("Apertium APy 服务器"),
                     }));

    // Every name shows whole in the list, with its check box.
    EXPECT_LE(d->lstEngines->sizeHintForColumn(0), d->lstEngines->viewport()->width());

    struct Row {
        const char* engine;
        const char* needs;  // a part of the line
        const char* offline;
        const char* coverage;  // the line, or a part of it
        const char* keyPage;   // empty: no link
    } rows[] = {
        {"apertium", "无需密钥和地址", "本机离线运行，文字不离开本机。",
         "已安装的语言对：英语→加泰罗尼亚语、英语⇄西班牙语；不含中文。",
         "https://wiki.apertium.org/wiki/Installation"},
        {"form", "需要服务地址", "在线服务：需联网，文字会发送到该服务。",
         "可选本程序全部 40 种语言", ""},
        {"deepl", "需要密钥", "在线服务：需联网，文字会发送到该服务。", "种，含中文；不支持：",
         "https://www.deepl.com/pro-api"},
        {"google", "API 密钥", "在线服务：需联网，文字会发送到该服务。",
         "支持本程序全部 40 种语言，含中文。", "https://cloud.google.com/translate/docs/setup"},
        {"apy", "需要 APy 服务器地址", "在线服务：需联网，文字会发送到该服务。", "不含中文",
         "https://wiki.apertium.org/wiki/Apertium-apy"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.engine);
        Select(*d, r.engine);
        EXPECT_EQ(d->lblName->text(), d->lstEngines->currentItem()->text());
        EXPECT_TRUE(d->lblNeeds->text().contains(QString::fromUtf8(r.needs)))
            << d->lblNeeds->text().toStdString();
        EXPECT_EQ(d->lblOffline->text(), QString::fromUtf8(r.offline));
        EXPECT_TRUE(d->lblCoverage->text().contains(QString::fromUtf8(r.coverage)))
            << d->lblCoverage->text().toStdString();
        browser.opened.clear();
        // A click on the link's first letters (the label holds the link alone).
        QTest::mouseClick(d->lblLink, Qt::LeftButton, {}, QPoint(4, d->lblLink->height() / 2));
        if (*r.keyPage) {
            ASSERT_EQ(browser.opened.size(), 1u);
            EXPECT_EQ(browser.opened[0], QUrl(QString::fromUtf8(r.keyPage)));
        } else {
            EXPECT_TRUE(d->lblLink->text().isEmpty());
            EXPECT_TRUE(browser.opened.empty());
        }
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

TEST(EngineDialog, TheTestButtonReportsInChineseWhatTheStandInAnswered) {
    velmora::testing::StandinProcess standin;
    RealEngines engines;
    Fixture f;
    f.test = engines.test;
    auto d = f.Open();
    Select(*d, "deepl");

    struct Case {
        const char* name;
        std::string url;
        const char* key;
        const char* fault;  // a fault rule for the next request; empty: none
        const char* line;   // the result line, or its start
    } cases[] = {
        {"success", standin.Url("/v2/translate"), "standin-key", "", "译文：[EN-US] hello"},
        {"bad key", standin.Url("/v2/translate"), "wrong-key", "", "失败：密钥无效"},
        {"quota", standin.Url("/v2/translate"), "standin-key", "456", "失败：额度已用完"},
        {"too many", standin.Url("/v2/translate"), "standin-key", "429", "失败：请求过于频繁"},
        {"server", standin.Url("/v2/translate"), "standin-key", "500", "失败：服务器出错"},
        {"unreachable", "http://127.0.0.1:1/v2/translate", "standin-key", "",
         "失败：无法连接（请检查地址和网络）"},
    };
    const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Type(d->txtUrl, QString::fromStdString(c.url));
        Type(d->txtKey, QString::fromUtf8(c.key));
        if (*c.fault) standin.Rule({{"api", "deepl"}, {"fault", c.fault}, {"count", 1}});
        QTest::mouseClick(d->cmdTest, Qt::LeftButton);
        const QString line = d->lblTestResult->text();
        EXPECT_TRUE(line.startsWith(QString::fromUtf8(c.line))) << line.toStdString();
        if (std::string(c.name) == "bad key") SaveScreenshot(*d, "engine-dialog-bad-key");
        if (line.startsWith(QStringLiteral("失败："))) {
            EXPECT_FALSE(line.contains(latin)) << "no address, no English: " << line.toStdString();
        }
    }
    EXPECT_FALSE(std::filesystem::exists(f.file)) << "a test saves nothing";
}

TEST(EngineSettingsKeyring, KeysGoToTheKeyringAndLeaveTheFile) {
    ASSERT_TRUE(KeyringIs("running")) << "run under with-keyring.sh";
    Fixture f;
    ASSERT_EQ(f.vault.Where(), KeyVault::Store::Keyring);
    EXPECT_EQ(KeyVault::Describe(KeyVault::Store::Keyring), QStringLiteral("桌面密钥环"));

    // A key the file held before moves out of it once the keyring takes the engine's key.
    std::filesystem::create_directories(f.file.parent_path());
    WriteFile(f.file, "[translation]\nengines=google, form\n[google]\nkey=old-file-key\n");
    ::chmod(f.file.c_str(), 0600);
    ASSERT_EQ(f.vault.Write("google", "gk-ring"), QString());
    EXPECT_EQ(KeyringEntry("google"), QStringLiteral("gk-ring"));
    EXPECT_EQ(ReadFile(f.file), "[translation]\nengines=google, form\n[google]\n");
    EXPECT_EQ(f.vault.Read("google"), "gk-ring");

    // Start-up: the listed engine whose key only the keyring has is kept.
    app::Diagnostics diagnostics;
    const auto config = app::LoadConfiguration([](const char*) { return std::nullopt; }, f.file,
                                               diagnostics, app::VaultKeyLookup(f.vault));
    EXPECT_EQ(config.engines, (std::vector<std::string>{"google", "form"}));
    EXPECT_EQ(config.Engine("google").key, "gk-ring");
    EXPECT_TRUE(diagnostics.empty());

    ASSERT_EQ(f.vault.Write("google", ""), QString());
    EXPECT_EQ(KeyringEntry("google"), QString());
    EXPECT_EQ(f.vault.Read("google"), std::nullopt);
    EXPECT_EQ(f.vault.Write("google", ""), QString()) << "removing what is not there is fine";
}

TEST(EngineSettingsKeyring, TheDialogSavesKeysInTheKeyringOnly) {
    ASSERT_TRUE(KeyringIs("running")) << "run under with-keyring.sh";
    Fixture f;
    {
        auto d = f.Open();
        EXPECT_EQ(d->lblKeyStore->text(), QStringLiteral("密钥保存在：桌面密钥环"));
        Select(*d, "deepl")->setCheckState(Qt::Checked);
        Type(d->txtKey, QStringLiteral("dk-ring:fx"));
        QTest::mouseClick(d->cmdUp, Qt::LeftButton);
        QTest::mouseClick(d->cmdUp, Qt::LeftButton);
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        ASSERT_EQ(d->result(), QDialog::Accepted) << d->lblError->text().toStdString();
    }
    EXPECT_EQ(KeyringEntry("deepl"), QStringLiteral("dk-ring:fx"));
    const std::string text = ReadFile(f.file);
    EXPECT_EQ(text, "[translation]\nengines=\"apertium, deepl, form\"\n");
    EXPECT_EQ(text.find("dk-ring"), std::string::npos);
    EXPECT_EQ(ModeOf(f.file), 0600u);

    auto again = f.Open();
    Select(*again, "deepl");
    EXPECT_EQ(again->txtKey->text(), QStringLiteral("dk-ring:fx"));
    EXPECT_EQ(again->lstEngines->item(1)->checkState(), Qt::Checked);
}

// The keyring daemon's process, as the session bus knows it; 0 when it cannot be learned.
long KeyringProcess() {
    QProcess bus;
    bus.start(
        QStringLiteral("dbus-send"),
        {QStringLiteral("--session"), QStringLiteral("--print-reply"),
         QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
         QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"),
         QStringLiteral("string:org.freedesktop.secrets")});
    if (!bus.waitForFinished(10'000)) return 0;
    const auto m = QRegularExpression(QStringLiteral("uint32 (\\d+)"))
                       .match(QString::fromUtf8(bus.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toLong() : 0;
}

TEST(EngineSettingsKeyring, AnswersAreKeptSoLaterReadsDoNotWaitForTheKeyring) {
    ASSERT_TRUE(KeyringIs("running")) << "run under with-keyring.sh";
    Fixture f;
    ASSERT_EQ(f.vault.Write("deepl", "dk-kept:fx"), QString());
    EXPECT_EQ(f.vault.Read("google"), std::nullopt);  // asked once: it has none
    const long keyring = KeyringProcess();
    ASSERT_GT(keyring, 0);
    // Frozen from here on: a read that asked it would wait for the vault's whole bound.
    ASSERT_EQ(::kill(static_cast<pid_t>(keyring), SIGSTOP), 0);
    QElapsedTimer clock;
    clock.start();
    const auto deepl = f.vault.Read("deepl");
    const auto google = f.vault.Read("google");
    const qint64 took = clock.elapsed();
    ::kill(static_cast<pid_t>(keyring), SIGCONT);
    EXPECT_EQ(deepl, "dk-kept:fx");
    EXPECT_EQ(google, std::nullopt);
    EXPECT_LT(took, 1'000) << "the keyring was asked again";
    EXPECT_EQ(f.vault.Where(), KeyVault::Store::Keyring);
}

TEST(EngineSettingsStoppedKeyring, AKeyringThatNeverAnswersIsGivenUpOnInTime) {
    ASSERT_TRUE(KeyringIs("stopped")) << "run under with-keyring.sh --stopped";
    TempDir home;
    const auto file = home.path() / "velmora" / "velmora.conf";
    // Well inside the bus's own 25 s call timeout, so only the vault's bound can end the wait.
    KeyVault vault(file, std::chrono::milliseconds(500));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(vault.Where(), KeyVault::Store::File);
    EXPECT_EQ(vault.Read("deepl"), std::nullopt);
    ASSERT_EQ(vault.Write("deepl", "dk-3"), QString());
    EXPECT_LT(clock.elapsed(), 10'000) << "one bounded wait, not one per call";
    EXPECT_EQ(ReadFile(file), "[deepl]\nkey=dk-3\n");
    EXPECT_EQ(ModeOf(file), 0600u);
}

int main(int argc, char** argv) {
    // Test keys never reach the keyring of the desktop the test runs on: outside the throwaway
    // keyring there is no session bus at all.
    if (std::getenv("VELMORA_TEST_KEYRING") == nullptr)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmora-no-bus", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "EngineSettingsTest.moc"
