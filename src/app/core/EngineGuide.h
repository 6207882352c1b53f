#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "translate/engines/IEngine.h"

// What the engine dialogs tell a user about each engine, whatever toolkit shows them. Texts are
// UTF-8 and in Chinese; the identifiers are those of velmora.conf.
namespace velmora::app {

struct EngineGuide {
    std::string_view id;
    std::string_view name;      // shown in the engine list
    std::string_view needs;     // what has to be filled in
    bool offline = false;       // runs on this machine, without a network
    std::string_view linkUrl;   // where a key, or the engine itself, comes from; empty: none
    std::string_view linkText;  // the link's caption
};

// The guide of a known engine; an unknown one has its identifier as name and nothing else.
EngineGuide GuideOf(std::string_view id);

// Whether the engine's text leaves the machine, in words.
std::string OfflineLine(const EngineGuide& guide);

// Which of the program's languages the engine covers. apertiumPairs are the installed pairs as
// InstalledApertiumPairs gives them, read for the offline engine only.
std::string CoverageLine(std::string_view id, const std::vector<std::string>& apertiumPairs);

// The installed Apertium pairs of the modes folder, as three-letter keys ("eng-spa").
std::vector<std::string> InstalledApertiumPairs(const std::filesystem::path& modes);

// Why a test translation failed, in words (no address, no detail from the server).
std::string FailureWords(std::string_view id, const translate::engines::EngineFailure& failure);

}  // namespace velmora::app
