#pragma once

#include <optional>
#include <string>

namespace velmora::translate::engines {

// The three-letter code Apertium names a language of the language table by ("en" -> "eng",
// "sr" and "hr" -> "hbs", "no" -> "nob", "ms" -> "zlm"). Empty when no released Apertium pair
// has the language at all; whether a given pair is installed is the engine's business.
std::optional<std::string> ApertiumCode(const std::string& tableCode);

}  // namespace velmora::translate::engines
