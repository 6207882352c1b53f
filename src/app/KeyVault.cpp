#include "app/KeyVault.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "app/core/ConfigFileWriter.h"
#include "app/core/IniFile.h"

namespace velmora::app {

namespace {

const QString kService = QStringLiteral("velmora");
// Read to learn whether a keyring answers; no engine has this name.
const std::string kProbe = "velmora-probe";
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;

// Whether a session bus is there to ask. Without one the bus library would start a bus of its
// own for the X display (and a keyring on it) that outlives the program: not ours to start.
bool SessionBusGiven() {
    if (ProcessEnvironment("DBUS_SESSION_BUS_ADDRESS")) return true;
    const auto runtime = ProcessEnvironment("XDG_RUNTIME_DIR");
    std::error_code ec;
    return runtime && std::filesystem::is_socket(std::filesystem::path(*runtime) / "bus", ec);
}

}  // namespace

KeyVault::KeyVault(std::filesystem::path configFile, std::chrono::milliseconds timeout)
    : file_(std::move(configFile)), timeout_(timeout) {
    if (!SessionBusGiven()) store_ = Store::File;
}

QString KeyVault::Describe(Store store) {
    return store == Store::Keyring ? QStringLiteral("桌面密钥环")
                                   : QStringLiteral("配置文件 (仅本人可读)");
}

KeyVault::Store KeyVault::Where() {
    if (!store_) Read(kProbe);
    return store_.value_or(Store::File);
}

KeyVault::Outcome KeyVault::Run(QKeychain::Job* job,
                                const std::function<void(QKeychain::Job&)>& onDone) {
    // The job deletes itself once finished, also when it finishes after the wait gave up.
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QEventLoop loop;
    std::optional<Outcome> outcome;
    // Tied to the loop: an answer after the timeout reaches nothing.
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        switch (done->error()) {
            case QKeychain::NoError:
                outcome = Outcome::Done;
                if (onDone) onDone(*done);
                break;
            case QKeychain::EntryNotFound:
                outcome = Outcome::NotFound;
                break;
            default:
                outcome = Outcome::Failed;
                break;
        }
        loop.quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeout_);
    job->start();
    if (!outcome) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return outcome.value_or(Outcome::Failed);
}

void KeyVault::NoteOutcome(Outcome outcome) {
    // A keyring that failed once, or hangs (its jobs run one at a time), is not asked again.
    store_ = outcome == Outcome::Failed ? Store::File : Store::Keyring;
}

std::optional<std::string> KeyVault::Read(const std::string& engine) {
    if (store_ == Store::Keyring) {
        if (const auto it = answered_.find(engine); it != answered_.end()) return it->second;
    }
    if (store_ != Store::File) {
        auto* job = new QKeychain::ReadPasswordJob(kService);
        job->setKey(QString::fromStdString(engine));
        std::string key;
        const Outcome outcome = Run(job, [&key](QKeychain::Job& done) {
            key = static_cast<QKeychain::ReadPasswordJob&>(done).textData().toStdString();
        });
        NoteOutcome(outcome);
        if (outcome != Outcome::Failed) {
            std::optional<std::string> answer;
            if (!key.empty()) answer = key;
            if (engine != kProbe) answered_[engine] = answer;
            return answer;
        }
    }
    return ReadFromFile(engine);
}

QString KeyVault::Write(const std::string& engine, const std::string& key) {
    if (Where() == Store::Keyring) {
        QKeychain::Job* job = nullptr;
        if (key.empty()) {
            job = new QKeychain::DeletePasswordJob(kService);
        } else {
            auto* write = new QKeychain::WritePasswordJob(kService);
            write->setTextData(QString::fromStdString(key));
            job = write;
        }
        job->setKey(QString::fromStdString(engine));
        const Outcome outcome = Run(job);
        NoteOutcome(outcome);
        if (outcome == Outcome::Done || (key.empty() && outcome == Outcome::NotFound)) {
            answered_[engine] = key.empty() ? std::nullopt : std::optional<std::string>(key);
            // A key left in the file would win over the keyring's at the next start.
            if (!ReadFromFile(engine)) return {};
            return QString::fromStdString(WriteIniChanges(file_, {{engine, "key", std::nullopt}}));
        }
    }
    std::optional<std::string> value;
    if (!key.empty()) value = key;
    return QString::fromStdString(WriteIniChanges(file_, {{engine, "key", value}}));
}

std::optional<std::string> KeyVault::ReadFromFile(const std::string& engine) const {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file_, ec);
    if (ec || size > kMaxFileBytes) return std::nullopt;
    std::ifstream in(file_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::optional<std::string> key;
    for (const IniEntry& e : ParseIni(text.str()).entries) {
        if (e.section == engine && e.key == "key") key = e.value;  // the last one wins
    }
    if (key && key->empty()) return std::nullopt;
    return key;
}

KeyLookup VaultKeyLookup(KeyVault& vault) {
    return [&vault](const std::string& engine) { return vault.Read(engine); };
}

void FillKeysFromVault(KeyVault& vault, Configuration& config) {
    FillMissingKeys(VaultKeyLookup(vault), config);
}

}  // namespace velmora::app
