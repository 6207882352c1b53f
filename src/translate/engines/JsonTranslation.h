#pragma once

// How the JSON engines read their answers. For the engines' .cpp files only.

#include <string>
#include <string_view>

#include "platform/ICodePage.h"
#include "translate/engines/IEngine.h"
#include "translate/engines/JsonAnswer.h"

namespace velmora::translate::engines {

// A successful answer's translation at `text`, found from `root` (null: the body is not JSON),
// decoded; otherwise the failure saying why there is none, `missing` naming what was absent.
PieceResult TranslationAt(const json::Json* root, const json::Json* text,
                          const platform::ICodePage& codePage, const std::string& missing);

// The server's "message" in an "error" object, passed through ServerText; empty when none.
std::string ErrorMessage(const json::Json* error, std::string_view key);

}  // namespace velmora::translate::engines
