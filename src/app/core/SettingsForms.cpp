#include "app/core/SettingsForms.h"

#include "app/core/EngineGuide.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace velmora::app {

namespace {

bool Takes(const std::string& engine, std::string_view key) {
    return FindConfigRow(engine, key) != nullptr;
}

std::optional<std::string> FileValue(const std::string& engine, std::string_view key,
                                     const std::string& value) {
    const ConfigRow* row = FindConfigRow(engine, key);
    if (value.empty() || (row != nullptr && value == row->fallback)) return std::nullopt;
    return value;
}

const EngineSettings& At(const EngineEdits& edits, const std::string& name) {
    static const EngineSettings none;
    const auto it = edits.find(name);
    return it == edits.end() ? none : it->second;
}

}  // namespace

Configuration LoadSettingsFile(const std::filesystem::path& file, const KeyLookup& keyLookup,
                               const KeyCodec& keyCodec) {
    const auto noEnvironment = [](const char*) -> std::optional<std::string> {
        return std::nullopt;
    };
    Diagnostics ignored;
    return LoadConfiguration(noEnvironment, file, ignored, keyLookup, keyCodec);
}

EngineEdits EngineEditsOf(const Configuration& config) {
    EngineEdits edits = config.engineSettings;
    for (const std::string& name : KnownEngines()) edits[name];
    return edits;
}

std::vector<EngineListRow> EngineListOrder(const Configuration& config,
                                           const std::vector<std::string>& offered) {
    const auto has = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    std::vector<EngineListRow> rows;
    for (const std::string& name : config.engines) {
        if (has(offered, name)) rows.push_back({name, true});
    }
    for (const std::string& name : offered) {
        if (!has(config.engines, name)) rows.push_back({name, false});
    }
    return rows;
}

EngineFields FieldsOf(const std::string& engine) {
    EngineFields f;
    const ConfigRow* url = FindConfigRow(engine, "url");
    f.url = url != nullptr;
    f.key = Takes(engine, "key");
    f.region = Takes(engine, "region");
    f.urlHint = url == nullptr           ? "本机引擎，无需地址"
                : !url->fallback.empty() ? std::string(url->fallback)
                : EngineNeedsUrl(engine) ? "必填"
                                         : "引擎默认地址";
    f.keyHint = !f.key ? "无需密钥" : EngineNeedsKey(engine) ? "必填" : "可选";
    return f;
}

std::string CheckEngineSettings(const std::vector<std::string>& enabled, const EngineEdits& edits) {
    if (enabled.empty()) return "请至少选择一个翻译引擎";
    for (const std::string& name : enabled) {
        const EngineSettings& s = At(edits, name);
        const std::string shown(GuideOf(name).name);
        if (EngineNeedsUrl(name) && s.url.empty()) return "引擎 " + shown + " 需要填写地址";
        if (EngineNeedsKey(name) && s.key.empty()) return "引擎 " + shown + " 需要填写密钥";
    }
    return {};
}

std::vector<IniChange> EngineSettingsChanges(const std::vector<std::string>& enabled,
                                             const EngineEdits& edits) {
    std::string list;
    for (const std::string& name : enabled) list += (list.empty() ? "" : ", ") + name;
    std::vector<IniChange> changes = {{"translation", "engines", list}};
    for (const std::string& name : KnownEngines()) {
        const EngineSettings& s = At(edits, name);
        for (auto [key, field] : {std::pair{"url", &EngineSettings::url},
                                  std::pair{"region", &EngineSettings::region}}) {
            if (Takes(name, key)) changes.push_back({name, key, FileValue(name, key, s.*field)});
        }
    }
    return changes;
}

std::vector<IniChange> KeyChanges(const EngineEdits& loaded, const EngineEdits& edits,
                                  const std::set<std::string>& rewrite) {
    std::vector<IniChange> changes;
    for (const std::string& name : KnownEngines()) {
        const std::string& key = At(edits, name).key;
        if (!Takes(name, "key")) continue;
        if (key == At(loaded, name).key && (key.empty() || !rewrite.contains(name))) continue;
        changes.push_back({name, "key", key.empty() ? std::nullopt : std::optional(key)});
    }
    return changes;
}

std::string SaveEngineSettings(const std::filesystem::path& file,
                               const std::vector<std::string>& enabled, const EngineEdits& loaded,
                               const EngineEdits& edits, const std::set<std::string>& keysToSeal,
                               const KeyCodec& keyCodec) {
    std::vector<IniChange> changes =
        KeyChanges(loaded, edits, keyCodec.seal ? keysToSeal : std::set<std::string>());
    for (IniChange& change : changes) {
        if (!change.value || !keyCodec.seal) continue;
        std::string why;
        std::optional<std::string> sealed = keyCodec.seal(*change.value, why);
        if (!sealed)
            return "引擎 " + std::string(GuideOf(change.section).name) + " 的密钥无法加密（" + why +
                   "）";
        change.value = std::move(sealed);
    }
    for (IniChange& change : EngineSettingsChanges(enabled, edits))
        changes.push_back(std::move(change));
    return WriteIniChanges(file, changes);
}

TestSample DefaultTestSample(const std::string& engine) {
    if (engine == "apertium" || engine == "apy") return {u"Good morning, my friend.", "en", "es"};
    return {u"你好，朋友", "zh-CN", "en"};
}

std::string TestResultLine(bool ok, const std::string& text) {
    return (ok ? "译文：" : "失败：") + text;
}

std::string SaveErrorLine(const std::string& why) {
    return "未能保存：" + why;
}

InPlaceForm LoadInPlaceForm(const std::filesystem::path& file) {
    const Configuration c = LoadSettingsFile(file);
    return {c.inPlaceShortcut ? ShortcutText(*c.inPlaceShortcut) : std::string(), c.inPlaceSend};
}

std::string InPlaceChanges(const std::string& typed, bool send, std::vector<IniChange>& changes) {
    std::optional<std::string> shortcut = std::string();  // empty: in-place translation off
    if (!typed.empty()) {
        const auto chord = ParseShortcut(typed);
        if (!chord) return "快捷键须为 Ctrl、Alt 或 Super 加字母、数字，或 F1 到 F24";
        shortcut = ShortcutText(*chord);
        if (*shortcut == kDefaultInPlaceShortcut) shortcut.reset();
    }
    changes = {
        {"inplace", "shortcut", shortcut},
        {"inplace", "send", send ? std::optional<std::string>("true") : std::nullopt},
    };
    return {};
}

}  // namespace velmora::app
