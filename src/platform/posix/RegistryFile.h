#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/IKeyStore.h"
#include "platform/posix/IconvCodePage.h"

namespace velmora::platform::posix {

// A registry-like store in one text file, configDir/velmora/registry.ini, rewritten atomically
// (temporary file, then rename) on every change and read afresh on every call. Key and value
// names match without regard to ASCII case, as in the registry. The values of the current
// user's Run key are not kept in that file: each one is the XDG autostart entry
// autostartDir/<name>.desktop, whose Exec= line is the value's command line, so autostart really
// happens at logon. A value written as UTF-8 keeps its exact text there (paths the ANSI code page
// cannot spell); elsewhere it is stored in ANSI. A hidden (Hidden=true) entry, switched off by
// the user, still counts as present; an unreadable one counts as missing.
class RegistryFile : public IKeyStore {
  public:
    RegistryFile();  // the default folders below
    RegistryFile(std::filesystem::path configDir, std::filesystem::path autostartDir);

    // $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
    static std::filesystem::path DefaultConfigDir();
    static std::filesystem::path DefaultAutostartDir();  // DefaultConfigDir()/autostart

    const std::filesystem::path& storeFile() const { return storeFile_; }
    const std::filesystem::path& autostartDir() const { return autostartDir_; }

    bool KeyExists(RootKey root, const std::string& subkey) override;
    bool CreateKey(RootKey root, const std::string& subkey) override;
    std::optional<std::string> ReadValue(RootKey root, const std::string& subkey,
                                         const std::string& name) override;
    bool WriteValue(RootKey root, const std::string& subkey, const std::string& name,
                    const std::string& data) override;
    std::optional<std::string> ReadValueUtf8(RootKey root, const std::string& subkey,
                                             const std::string& name) override;
    bool WriteValueUtf8(RootKey root, const std::string& subkey, const std::string& name,
                        const std::string& utf8) override;

  private:
    struct Key {
        std::string path;  // "HKEY_CURRENT_USER\Software\..."
        std::vector<std::pair<std::string, std::string>> values;
    };

    std::vector<Key> Load() const;
    bool Save(const std::vector<Key>& keys) const;
    std::optional<std::filesystem::path> AutostartFile(const std::string& name) const;
    std::optional<std::string> RunEntryText(const std::string& name) const;
    std::optional<std::string> ReadRunValue(const std::string& name) const;
    std::optional<std::string> ReadRunText(const std::string& name) const;
    bool WriteRunValue(const std::string& name, const std::string& data) const;
    // command: UTF-8 for Exec=; utf8Value, when given, is kept exactly beside the ANSI bytes.
    bool WriteRunEntry(const std::string& name, const std::string& command,
                       const std::string& ansiValue,
                       const std::optional<std::string>& utf8Value) const;

    std::filesystem::path storeFile_;
    std::filesystem::path autostartDir_;
    IconvCodePage codePage_;
};

// Writes the bytes to path through a temporary file in the same folder and a rename, so a
// reader sees the old or the new content, never a part. Creates the folder when needed.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes);

}  // namespace velmora::platform::posix
