#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::app {

// One value to set in the configuration file, or to remove (no value).
struct IniChange {
    std::string section;
    std::string key;
    std::optional<std::string> value;
};

// The text with the changes made. A key keeps the place of its first line (repeats of it are
// dropped), a new key goes after the last line of its section, a new section goes at the end;
// comments, blank lines and everything else stay as they were. Values are quoted only where
// an INI reader would otherwise change them.
std::string ApplyIniChanges(std::string_view text, const std::vector<IniChange>& changes);

// Makes the changes in the file, replacing it whole (a temporary file beside it is renamed
// over it). Where files have POSIX modes, a missing folder is created 0700 and a missing file
// 0600, and an existing file keeps its mode, less the group and other bits once it holds an API
// key; on Windows the folder and file take the inherited access of the user's profile. Returns
// an empty string, or why nothing was changed (never a value).
std::string WriteIniChanges(const std::filesystem::path& file,
                            const std::vector<IniChange>& changes);

}  // namespace velmora::app
