#pragma once

#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/core/Configuration.h"

namespace QKeychain {
class Job;
}

namespace velmora::app {

// Where the engines' API keys are kept: the desktop keyring (Secret Service) under the service
// "velmora", one entry per engine name, when one answers on the session bus; else (also with
// no session bus at all) the configuration file's [<engine>] key=, which is then kept readable
// by its owner only. Keyring calls are waited for
// in a local event loop for at most the timeout; a keyring that fails or does not answer in
// time is not asked again by this vault. What the keyring answered is kept in memory, so the
// keyring is asked at start-up and from the settings dialog, not again when saved settings are
// applied later from a timer. Needs a QCoreApplication. Keys never reach any text.
class KeyVault {
  public:
    enum class Store { Keyring, File };

    explicit KeyVault(std::filesystem::path configFile,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The store in use; the first call asks the keyring.
    Store Where();
    // "桌面密钥环" or "配置文件 (仅本人可读)".
    static QString Describe(Store store);

    // The engine's key, or nothing when there is none (or it cannot be read).
    std::optional<std::string> Read(const std::string& engine);
    // Stores the engine's key; an empty key removes it. When the keyring takes it, a key the
    // file still holds for the engine goes. Returns an empty string, or why it failed.
    QString Write(const std::string& engine, const std::string& key);

    const std::filesystem::path& File() const { return file_; }

  private:
    enum class Outcome { Done, NotFound, Failed };
    // Runs one keyring job to its end or the timeout; onDone sees the finished job.
    Outcome Run(QKeychain::Job* job, const std::function<void(QKeychain::Job&)>& onDone = {});
    void NoteOutcome(Outcome outcome);
    std::optional<std::string> ReadFromFile(const std::string& engine) const;

    std::filesystem::path file_;
    std::chrono::milliseconds timeout_;
    std::optional<Store> store_;
    // The keyring's answers so far, by engine (nothing: it has no key for the engine).
    std::map<std::string, std::optional<std::string>> answered_;
};

// The vault as LoadConfiguration's key lookup.
KeyLookup VaultKeyLookup(KeyVault& vault);

// Fills the key of every engine that takes one and has none in the configuration (the file's
// keys win) from the vault.
void FillKeysFromVault(KeyVault& vault, Configuration& config);

}  // namespace velmora::app
