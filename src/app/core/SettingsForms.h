#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/core/ConfigFileWriter.h"
#include "app/core/Configuration.h"

// What the engine settings and in-place settings dialogs decide, whatever toolkit shows them.
// Texts are UTF-8.
namespace velmora::app {

// The configuration file alone: values the environment sets for this run only are not the
// user's. keyLookup, when set, gives keys the file lacks; keyCodec reads the file's keys.
Configuration LoadSettingsFile(const std::filesystem::path& file,
                               const KeyLookup& keyLookup = nullptr, const KeyCodec& keyCodec = {});

// Every known engine's settings as loaded (one entry per engine), edited in place by a dialog.
using EngineEdits = std::map<std::string, EngineSettings>;
EngineEdits EngineEditsOf(const Configuration& config);

// One row of the engine list.
struct EngineListRow {
    std::string name;
    bool used = false;
};
// The engines in use first, in their order, then the other offered ones in theirs. Engines in
// use that are not offered are left out.
std::vector<EngineListRow> EngineListOrder(const Configuration& config,
                                           const std::vector<std::string>& offered);

// Which fields an engine takes, and what an empty one stands for.
struct EngineFields {
    bool url = false;
    bool key = false;
    bool region = false;
    std::string urlHint;
    std::string keyHint;
};
EngineFields FieldsOf(const std::string& engine);

// Why the settings cannot be saved with these engines enabled, or empty.
std::string CheckEngineSettings(const std::vector<std::string>& enabled, const EngineEdits& edits);

// What a save writes to the file, keys aside: the engine list, and every engine's address and
// region (removed where empty or the default, so a changed default reaches those who never
// chose their own).
std::vector<IniChange> EngineSettingsChanges(const std::vector<std::string>& enabled,
                                             const EngineEdits& edits);

// The keys that differ from those loaded, as file changes (an empty key removes the line),
// and the kept keys of the engines in rewrite.
std::vector<IniChange> KeyChanges(const EngineEdits& loaded, const EngineEdits& edits,
                                  const std::set<std::string>& rewrite = {});

// A save of the engine settings, in one write to the file: the keys KeyChanges finds (those the
// file held as typed rewritten, keysToSeal), encrypted by keyCodec.seal when set, and
// EngineSettingsChanges. Empty, or why nothing was written (never a key).
std::string SaveEngineSettings(const std::filesystem::path& file,
                               const std::vector<std::string>& enabled, const EngineEdits& loaded,
                               const EngineEdits& edits, const std::set<std::string>& keysToSeal,
                               const KeyCodec& keyCodec);

// The sentence a test translates: the Apertium engines get English to Spanish, the others
// Simplified Chinese to English.
struct TestSample {
    std::u16string text;
    std::string src;
    std::string dst;
};
TestSample DefaultTestSample(const std::string& engine);

// The line a test shows: the translation, or why there is none.
std::string TestResultLine(bool ok, const std::string& text);
// The error line of a refused save.
std::string SaveErrorLine(const std::string& why);

// The in-place translation's settings as the file holds them: the shortcut as ShortcutText
// writes it (empty: off) and whether it sends after the paste.
struct InPlaceForm {
    std::string shortcut;
    bool send = false;
};
InPlaceForm LoadInPlaceForm(const std::filesystem::path& file);

// The changes a save makes for a typed shortcut (empty: off; the default is not written), or
// why it cannot be saved.
std::string InPlaceChanges(const std::string& typed, bool send, std::vector<IniChange>& changes);

}  // namespace velmora::app
