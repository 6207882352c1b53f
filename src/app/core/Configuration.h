#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IHotkey.h"

namespace velmora::app {

// Where an engine is reached and how it authenticates.
struct EngineSettings {
    std::string url;
    std::string key;  // secret: never printed
    std::string region;
};

// Every configuration value of the program, read once at start.
struct Configuration {
    std::string updateBaseUrl;  // scheme and host, no trailing slash
    std::string pageBase;       // host and port, no scheme, no trailing slash
    std::string apertiumModes;  // folder of the installed Apertium modes
    // The engine list as configured (comma-separated), and the engines it yields, in the order
    // they are tried.
    std::string engineList;
    std::vector<std::string> engines;
    // Per engine name ("form", "deepl", ...); every known engine has an entry.
    std::map<std::string, EngineSettings> engineSettings;
    // The file the values were read from (it need not exist).
    std::filesystem::path file;
    // [inplace]: the global shortcut of the in-place translation as written, and whether it
    // sends after the paste; then what they mean (no chord: off, or malformed).
    std::string inPlaceShortcutText;
    std::string inPlaceSendText;
    std::optional<platform::HotkeyChord> inPlaceShortcut;
    bool inPlaceSend = false;
    // Engines whose file key a key codec would encrypt but the file holds as typed: the next
    // save from the settings dialog encrypts them.
    std::set<std::string> keysToSeal;

    const EngineSettings& Engine(const std::string& name) const;
};

// How a value is cleaned after it is read.
enum class Normalise {
    None,
    NoTrailingSlash,  // a trailing slash would double the one every appended path starts with
    EngineList,       // comma-separated names, blanks around them dropped
};

// One row of the configuration table: where a value comes from and what it defaults to.
struct ConfigRow {
    std::string_view env;      // environment variable, empty when there is none
    std::string_view section;  // file section and key, empty when the file cannot set it
    std::string_view key;
    std::string_view fallback;
    Normalise normalise;
    bool secret;  // API keys: never echoed, and the file must not be readable by others
    std::string& (*field)(Configuration&);
};

// The table itself, in one place.
const std::vector<ConfigRow>& ConfigTable();

// The table's row for a file section and key, or null when the file cannot set it.
const ConfigRow* FindConfigRow(std::string_view section, std::string_view key);

// The engine names the program knows, in the order the settings dialog lists them.
const std::vector<std::string>& KnownEngines();
// Engines that refuse to work without a key, and those that have no default URL.
bool EngineNeedsKey(std::string_view name);
bool EngineNeedsUrl(std::string_view name);

// The default global shortcut of the in-place translation.
inline constexpr std::string_view kDefaultInPlaceShortcut = "Ctrl+Alt+Y";

// A shortcut as people write it ("Ctrl+Alt+Y", "ctrl + shift + f5", "Meta+1"): modifiers Ctrl
// (Control), Alt, Shift, Super (Meta, Win), any case, joined by '+', then one key: a letter, a
// digit or F1..F24. A letter or digit needs a modifier other than Shift, or the shortcut would
// take a character from every program. Nullopt when the text is none of that.
std::optional<platform::HotkeyChord> ParseShortcut(std::string_view text);
// The chord written the way ParseShortcut reads it: "Ctrl+Alt+Y".
std::string ShortcutText(const platform::HotkeyChord& chord);
// true/false, yes/no, on/off, 1/0 in any case; nullopt for anything else.
std::optional<bool> ParseFlag(std::string_view text);

// The configuration file: $XDG_CONFIG_HOME/velmora/velmora.conf, else ~/.config/velmora/...
std::filesystem::path DefaultConfigFile(
    const std::function<std::optional<std::string>(const char*)>& env);

// What reading found wrong; each line names the file, the line and the problem, never a value.
using Diagnostics = std::vector<std::string>;

// An engine's API key kept outside the file (the desktop keyring), or nothing.
using KeyLookup = std::function<std::optional<std::string>(const std::string& engine)>;

// How the file keeps API keys where the system encrypts them for the user (Windows). Without
// one (empty members) keys are stored as typed.
struct KeyCodec {
    // The key a stored value holds; sealed tells whether it was encrypted (false: as typed).
    // Nullopt when an encrypted value cannot be read; why then says so, never with the value.
    std::function<std::optional<std::string>(const std::string& stored, bool& sealed,
                                             std::string& why)>
        open;
    // The value to store for a key, or nullopt and why (never with the key).
    std::function<std::optional<std::string>(const std::string& key, std::string& why)> seal;
};

// Reads the file (when it exists) and the environment through the table. Environment values
// win over the file. A listed engine that needs a key the file does not give asks keyLookup
// (when set) before it is left out. File keys go through keyCodec.open (when set): one that
// cannot be read counts as no key, and diagnostics say so without it. Never throws; a file
// that cannot be read or parsed leaves its values at their defaults and says so in diagnostics.
Configuration LoadConfiguration(const std::function<std::optional<std::string>(const char*)>& env,
                                const std::filesystem::path& file, Diagnostics& diagnostics,
                                const KeyLookup& keyLookup = nullptr,
                                const KeyCodec& keyCodec = {});

// Gives every known engine that takes a key and has none the key keyLookup finds. Keys already
// set (from the file) stay; the engine list is not changed.
void FillMissingKeys(const KeyLookup& keyLookup, Configuration& config);

// The process environment as LoadConfiguration reads it (unset and empty both count as unset).
std::optional<std::string> ProcessEnvironment(const char* name);

}  // namespace velmora::app
