#include "app/core/Configuration.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "app/core/IniFile.h"

namespace velmora::app {

namespace {

constexpr std::uintmax_t kMaxFileBytes = 1u << 20;

std::string& EngineField(Configuration& c, const char* engine, std::string EngineSettings::*f) {
    return c.engineSettings[engine].*f;
}

template <const char* Engine, std::string EngineSettings::*F>
std::string& Field(Configuration& c) {
    return EngineField(c, Engine, F);
}

constexpr char kForm[] = "form";
constexpr char kLibre[] = "libretranslate";
constexpr char kDeepl[] = "deepl";
constexpr char kGoogle[] = "google";
constexpr char kMicrosoft[] = "microsoft";
constexpr char kApy[] = "apy";

std::string& EnginesText(Configuration& c) {
    return c.engineList;
}

std::string Normalised(std::string value, Normalise n) {
    if (n == Normalise::NoTrailingSlash) {
        while (!value.empty() && value.back() == '/') value.pop_back();
    }
    return value;
}

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view item = text.substr(start, comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (!item.empty()) out.emplace_back(item);
        start = comma + 1;
    }
    return out;
}

bool ReadSmallFile(const std::filesystem::path& file, std::string& text, std::string& why) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) {
        why = "cannot be read";
        return false;
    }
    if (size > kMaxFileBytes) {
        why = "is larger than 1 MiB and was ignored";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    if (!in && !in.eof()) {
        why = "cannot be read";
        return false;
    }
    text = s.str();
    return true;
}

bool ReadableByOthers(const std::filesystem::path& file) {
#ifdef _WIN32
    // The file lives in the user's own profile, which access lists keep private.
    (void)file;
    return false;
#else
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
#endif
}

}  // namespace

const EngineSettings& Configuration::Engine(const std::string& name) const {
    static const EngineSettings none;
    auto it = engineSettings.find(name);
    return it == engineSettings.end() ? none : it->second;
}

const std::vector<ConfigRow>& ConfigTable() {
    using N = Normalise;
    static const std::vector<ConfigRow> rows = {
        {"VELMORA_UPDATE_URL", "", "", "http://127.0.0.1:18081", N::NoTrailingSlash, false,
         [](Configuration& c) -> std::string& { return c.updateBaseUrl; }},
        {"VELMORA_PAGE_BASE", "", "", "127.0.0.1:18081", N::NoTrailingSlash, false,
         [](Configuration& c) -> std::string& { return c.pageBase; }},
        {"", "apertium", "modes", "/usr/share/apertium/modes", N::None, false,
         [](Configuration& c) -> std::string& { return c.apertiumModes; }},
        {"VELMORA_ENGINES", "translation", "engines", "", N::EngineList, false, EnginesText},
        {"VELMORA_TRANSLATE_URL", kForm, "url", "http://127.0.0.1:18080/translate_t", N::None,
         false, Field<kForm, &EngineSettings::url>},
        {"", kLibre, "url", "", N::None, false, Field<kLibre, &EngineSettings::url>},
        {"", kLibre, "key", "", N::None, true, Field<kLibre, &EngineSettings::key>},
        {"", kDeepl, "url", "", N::None, false, Field<kDeepl, &EngineSettings::url>},
        {"", kDeepl, "key", "", N::None, true, Field<kDeepl, &EngineSettings::key>},
        {"", kGoogle, "url", "https://translation.googleapis.com/language/translate/v2", N::None,
         false, Field<kGoogle, &EngineSettings::url>},
        {"", kGoogle, "key", "", N::None, true, Field<kGoogle, &EngineSettings::key>},
        {"", kMicrosoft, "url", "https://api.cognitive.microsofttranslator.com/translate", N::None,
         false, Field<kMicrosoft, &EngineSettings::url>},
        {"", kMicrosoft, "key", "", N::None, true, Field<kMicrosoft, &EngineSettings::key>},
        {"", kMicrosoft, "region", "", N::None, false, Field<kMicrosoft, &EngineSettings::region>},
        {"", kApy, "url", "http://127.0.0.1:2737/translate", N::None, false,
         Field<kApy, &EngineSettings::url>},
        {"", "inplace", "shortcut", kDefaultInPlaceShortcut, N::None, false,
         [](Configuration& c) -> std::string& { return c.inPlaceShortcutText; }},
        {"", "inplace", "send", "false", N::None, false,
         [](Configuration& c) -> std::string& { return c.inPlaceSendText; }},
    };
    return rows;
}

const ConfigRow* FindConfigRow(std::string_view section, std::string_view key) {
    const auto& table = ConfigTable();
    auto row = std::find_if(table.begin(), table.end(), [&](const ConfigRow& r) {
        return !r.section.empty() && r.section == section && r.key == key;
    });
    return row == table.end() ? nullptr : &*row;
}

const std::vector<std::string>& KnownEngines() {
    static const std::vector<std::string> names = {"apertium", kForm,      kLibre, kDeepl,
                                                   kGoogle,    kMicrosoft, kApy};
    return names;
}

bool EngineNeedsKey(std::string_view name) {
    return name == kDeepl || name == kGoogle || name == kMicrosoft;
}

bool EngineNeedsUrl(std::string_view name) {
    return name == kLibre;
}

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return out;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

constexpr std::uint8_t kVkF1 = 0x70;
constexpr int kFunctionKeys = 24;

// The virtual-key code of a shortcut's key name (lower case), 0 when it names none.
std::uint8_t KeyCodeOf(const std::string& name) {
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z')
        return static_cast<std::uint8_t>(name[0] - 'a' + 'A');
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9')
        return static_cast<std::uint8_t>(name[0]);
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f' && name[1] != '0') {
        int n = 0;
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9') return 0;
            n = n * 10 + (name[i] - '0');
        }
        if (n >= 1 && n <= kFunctionKeys) return static_cast<std::uint8_t>(kVkF1 + n - 1);
    }
    return 0;
}

}  // namespace

std::optional<platform::HotkeyChord> ParseShortcut(std::string_view text) {
    static const std::map<std::string, std::uint8_t> modifiers = {
        {"ctrl", platform::kHotkeyControl}, {"control", platform::kHotkeyControl},
        {"alt", platform::kHotkeyAlt},      {"shift", platform::kHotkeyShift},
        {"super", platform::kHotkeySuper},  {"meta", platform::kHotkeySuper},
        {"win", platform::kHotkeySuper},
    };
    platform::HotkeyChord chord;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = text.find('+', start);
        const std::string part = Lower(
            Trimmed(text.substr(start, plus == std::string_view::npos ? plus : plus - start)));
        if (plus == std::string_view::npos) {
            chord.key = KeyCodeOf(part);
            break;
        }
        auto m = modifiers.find(part);
        if (m == modifiers.end() || (chord.modifiers & m->second)) return std::nullopt;
        chord.modifiers |= m->second;
        start = plus + 1;
    }
    if (chord.key == 0) return std::nullopt;
    const bool functionKey = chord.key >= kVkF1;
    if (!functionKey && (chord.modifiers & ~platform::kHotkeyShift) == 0) return std::nullopt;
    return chord;
}

std::string ShortcutText(const platform::HotkeyChord& chord) {
    std::string out;
    if (chord.modifiers & platform::kHotkeyControl) out += "Ctrl+";
    if (chord.modifiers & platform::kHotkeyAlt) out += "Alt+";
    if (chord.modifiers & platform::kHotkeyShift) out += "Shift+";
    if (chord.modifiers & platform::kHotkeySuper) out += "Super+";
    if (chord.key >= kVkF1)
        out += "F" + std::to_string(chord.key - kVkF1 + 1);
    else
        out += static_cast<char>(chord.key);
    return out;
}

std::optional<bool> ParseFlag(std::string_view text) {
    const std::string v = Lower(Trimmed(text));
    if (v == "true" || v == "yes" || v == "on" || v == "1") return true;
    if (v == "false" || v == "no" || v == "off" || v == "0") return false;
    return std::nullopt;
}

std::filesystem::path DefaultConfigFile(
    const std::function<std::optional<std::string>(const char*)>& env) {
    std::filesystem::path base;
    if (auto xdg = env("XDG_CONFIG_HOME"); xdg && !xdg->empty() && xdg->front() == '/') {
        base = *xdg;
    } else if (auto home = env("HOME"); home && !home->empty()) {
        base = std::filesystem::path(*home) / ".config";
    } else {
        base = "/tmp";
    }
    return base / "velmora" / "velmora.conf";
}

std::optional<std::string> ProcessEnvironment(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return std::nullopt;
    return std::string(v);
}

Configuration LoadConfiguration(const std::function<std::optional<std::string>(const char*)>& env,
                                const std::filesystem::path& file, Diagnostics& diagnostics,
                                const KeyLookup& keyLookup, const KeyCodec& keyCodec) {
    Configuration c;
    c.file = file;
    const auto& table = ConfigTable();
    for (const auto& row : table) row.field(c) = std::string(row.fallback);
    const std::string where = file.string();

    // The file first, then the environment over it.
    std::set<const ConfigRow*> fromFile;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        std::string text;
        std::string why;
        if (!ReadSmallFile(file, text, why)) {
            diagnostics.push_back(where + ": " + why);
        } else {
            const IniFile ini = ParseIni(text);
            for (const auto& p : ini.problems)
                diagnostics.push_back(where + ":" + std::to_string(p.line) + ": " + p.what);
            bool secretSeen = false;
            for (const auto& e : ini.entries) {
                const ConfigRow* row = FindConfigRow(e.section, e.key);
                if (row == nullptr) {
                    diagnostics.push_back(where + ":" + std::to_string(e.line) + ": unknown key [" +
                                          e.section + "] " + e.key);
                    continue;
                }
                std::string value = Normalised(e.value, row->normalise);
                if (row->secret && keyCodec.open && !value.empty()) {
                    bool sealed = false;
                    std::string why;
                    std::optional<std::string> key = keyCodec.open(value, sealed, why);
                    if (!key)
                        diagnostics.push_back(where + ":" + std::to_string(e.line) + ": [" +
                                              e.section + "] " + e.key + " " + why +
                                              "; it is ignored");
                    value = key.value_or(std::string());
                    if (key && !sealed)
                        c.keysToSeal.insert(e.section);
                    else
                        c.keysToSeal.erase(e.section);
                }
                row->field(c) = std::move(value);
                fromFile.insert(row);
                secretSeen = secretSeen || (row->secret && !e.value.empty());
            }
            if (secretSeen && ReadableByOthers(file))
                diagnostics.push_back(where +
                                      ": holds API keys but other users can read it (chmod 600)");
        }
    }
    bool formUrlFromEnv = false;
    for (const auto& row : table) {
        if (row.env.empty()) continue;
        if (auto v = env(std::string(row.env).c_str())) {
            row.field(c) = Normalised(*v, row.normalise);
            fromFile.insert(&row);
            if (row.env == "VELMORA_TRANSLATE_URL") formUrlFromEnv = true;
        }
    }

    // The engine list: given, else the form endpoint alone when only its URL was set (the
    // behaviour before engines existed), else the offline engine with the form one behind it.
    std::string listText = c.engineList;
    std::string listWhere = env("VELMORA_ENGINES") ? std::string("VELMORA_ENGINES") : where;
    if (listText.empty()) {
        listText = formUrlFromEnv ? "form" : "apertium, form";
        listWhere.clear();
    }
    const auto& known = KnownEngines();
    for (const std::string& name : SplitList(listText)) {
        if (std::find(known.begin(), known.end(), name) == known.end()) {
            diagnostics.push_back(listWhere + ": unknown engine \"" + name + "\" ignored");
            continue;
        }
        if (std::find(c.engines.begin(), c.engines.end(), name) != c.engines.end()) continue;
        EngineSettings& s = c.engineSettings[name];
        if (EngineNeedsUrl(name) && s.url.empty()) {
            diagnostics.push_back(where + ": engine " + name + " has no [" + name +
                                  "] url and was left out");
            continue;
        }
        if (EngineNeedsKey(name) && s.key.empty() && keyLookup) {
            if (auto key = keyLookup(name)) s.key = std::move(*key);
        }
        if (EngineNeedsKey(name) && s.key.empty()) {
            diagnostics.push_back(where + ": engine " + name + " has no [" + name +
                                  "] key and was left out");
            continue;
        }
        c.engines.push_back(name);
    }

    // An empty shortcut turns the in-place translation off; a malformed one does too, loudly.
    if (!Trimmed(c.inPlaceShortcutText).empty()) {
        c.inPlaceShortcut = ParseShortcut(c.inPlaceShortcutText);
        if (!c.inPlaceShortcut)
            diagnostics.push_back(where +
                                  ": [inplace] shortcut is not a shortcut like Ctrl+Alt+Y; "
                                  "in-place translation is off");
    }
    const auto send = ParseFlag(c.inPlaceSendText);
    if (!send)
        diagnostics.push_back(where + ": [inplace] send is neither true nor false; false is used");
    c.inPlaceSend = send.value_or(false);
    return c;
}

void FillMissingKeys(const KeyLookup& keyLookup, Configuration& config) {
    if (!keyLookup) return;
    for (const std::string& name : KnownEngines()) {
        if (FindConfigRow(name, "key") == nullptr) continue;
        std::string& key = config.engineSettings[name].key;
        if (!key.empty()) continue;
        if (auto found = keyLookup(name)) key = std::move(*found);
    }
}

}  // namespace velmora::app
