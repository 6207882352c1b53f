#pragma once

#include <httplib.h>

#include "Standin.h"

namespace velmora::tools::standin {

// Serves the five APIs on their documented paths:
//   LibreTranslate  POST /translate (no api-version), GET /languages
//   DeepL           POST /v2/translate
//   Google          POST /language/translate/v2
//   Microsoft       POST /translate?api-version=3.0&from=..&to=..
//   APy             POST /apy/translate, GET /apy/listPairs
void AddApis(httplib::Server& server, State& state);

}  // namespace velmora::tools::standin
