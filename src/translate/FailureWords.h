#pragma once

#include <string>
#include <string_view>

#include "translate/engines/IEngine.h"

// How the program names engines and their failures to a user: Chinese, no address, nothing a
// server said. The identifiers are those of velmora.conf.
namespace velmora::translate {

// The engine's name as the user sees it; an unknown identifier as it is.
std::string_view EngineDisplayName(std::string_view id);

// Why an engine gave no translation, in words.
std::string FailureWords(const engines::EngineFailure& failure);

}  // namespace velmora::translate
