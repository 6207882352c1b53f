#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "translate/engines/ApertiumModeFile.h"

namespace velmora::translate::engines {

// An installed translation direction.
struct ApertiumMode {
    std::string name;  // the file's name without ".mode": "eng-spa", "en-gl"
    std::filesystem::path file;
    std::vector<ModeCommand> commands;
};

// Two-letter language code to Apertium's three-letter one; empty when unknown.
using ToThreeLetter = std::function<std::optional<std::string>(const std::string&)>;

// The pair a plain mode name translates, in three-letter codes: "eng-spa" stays, "en-gl"
// becomes "eng-glg" (older pairs are named with two-letter codes). Empty for variants
// ("eng-cat_valencia", "en-eo-bytecode") and for codes that cannot be mapped.
std::optional<std::string> ModePairKey(std::string_view modeName,
                                       const ToThreeLetter& toThreeLetter);

// The installed modes by pair key. Folders are searched in order and the first one that has a
// pair wins; within a folder a three-letter name wins over a two-letter one. Unreadable,
// oversized and malformed mode files are left out.
std::map<std::string, ApertiumMode> DiscoverModes(const std::vector<std::filesystem::path>& folders,
                                                  const ToThreeLetter& toThreeLetter);

}  // namespace velmora::translate::engines
